// The program's own identity at run time.
#include "platform/core/app.h"

#include <QCoreApplication>

namespace app {

QString title() { return QString::fromUtf8(kTitle); }

QString versionText() { return QStringLiteral("%1.%2.%3").arg(kMajor).arg(kMinor).arg(kRevision); }

QString folder() {
  QString dir = QCoreApplication::applicationDirPath();
  while (dir.size() > 1 && dir.endsWith(QLatin1Char('/'))) dir.chop(1);
  return dir;
}

}  // namespace app
