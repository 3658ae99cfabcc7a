// Maps the system's Windows-style paths onto the Linux file system.
#include "platform/core/paths.h"

#include <QDir>

namespace paths {

QString driveRoot(QChar letter) {
  const QChar upper = letter.toUpper();
  const QByteArray var = "KESTROVA_DRIVE_" + QString(upper).toLatin1();
  const QString fromEnv = qEnvironmentVariable(var.constData());
  if (!fromEnv.isEmpty()) return fromEnv;
  QString dataHome = qEnvironmentVariable("XDG_DATA_HOME");
  if (dataHome.isEmpty()) dataHome = QDir::homePath() + QStringLiteral("/.local/share");
  return dataHome + QStringLiteral("/kestrova/drive_") + upper.toLower();
}

bool isDrivePath(const QString& path) {
  return path.size() >= 2 && path.at(1) == QLatin1Char(':') && path.at(0).isLetter() && path.at(0).unicode() < 128;
}

QString resolve(const QString& path) {
  if (!isDrivePath(path)) return path;
  QString root = driveRoot(path.at(0));
  while (root.size() > 1 && root.endsWith(QLatin1Char('/'))) root.chop(1);
  QString rest = path.mid(2);
  rest.replace(QLatin1Char('\\'), QLatin1Char('/'));
  if (!rest.isEmpty() && !rest.startsWith(QLatin1Char('/'))) rest.prepend(QLatin1Char('/'));
  return root + rest;
}

}  // namespace paths
