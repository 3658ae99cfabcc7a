// The desktop's default open action (process::openLink). It needs Qt Gui, so
// it is built into the platform's UI library, not into the core with the
// rest of process.h.
#include <QDesktopServices>
#include <QUrl>

#include "platform/core/process.h"

namespace process {
namespace {
Opener& opener() {
  static Opener o;
  return o;
}
}  // namespace

void openLink(const QString& text) {
  if (opener()) {
    opener()(text);
    return;
  }
  QDesktopServices::openUrl(QUrl::fromUserInput(text));
}

void setOpener(Opener o) { opener() = std::move(o); }

}  // namespace process
