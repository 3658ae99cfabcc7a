// Starting programs without waiting, and the desktop's default open action.
#include "platform/process.h"

#include <QDesktopServices>
#include <QProcess>
#include <QUrl>

namespace process {
namespace {
Starter& starter() {
  static Starter s;
  return s;
}
Opener& opener() {
  static Opener o;
  return o;
}
}  // namespace

bool startDetached(const QString& program, const QStringList& arguments) {
  if (starter()) return starter()(program, arguments);
  if (program.isEmpty()) return false;
  return QProcess::startDetached(program, arguments);
}

void openLink(const QString& text) {
  if (opener()) {
    opener()(text);
    return;
  }
  QDesktopServices::openUrl(QUrl::fromUserInput(text));
}

void setStarter(Starter s) { starter() = std::move(s); }
void setOpener(Opener o) { opener() = std::move(o); }

}  // namespace process
