// Starting programs without waiting.
#include "platform/core/process.h"

#include <QProcess>

namespace process {
namespace {
Starter& starter() {
  static Starter s;
  return s;
}
}  // namespace

bool startDetached(const QString& program, const QStringList& arguments) {
  if (starter()) return starter()(program, arguments);
  if (program.isEmpty()) return false;
  return QProcess::startDetached(program, arguments);
}

void setStarter(Starter s) { starter() = std::move(s); }

}  // namespace process
