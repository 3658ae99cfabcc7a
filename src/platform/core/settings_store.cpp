// The per-user settings store over a QSettings INI file.
#include "platform/core/settings_store.h"

#include <cerrno>

#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace settings {
namespace {

QString groupOf(const QString& appName, const QString& section) { return appName + QLatin1Char('/') + section; }

Status statusOf(const QSettings& s, const QString& action) {
  switch (s.status()) {
    case QSettings::NoError:
      return Status::Ok();
    case QSettings::AccessError:
      return Status::Error(
          EACCES,
          QStringLiteral("The settings file %1 could not be %2.").arg(QDir::toNativeSeparators(s.fileName()), action));
    case QSettings::FormatError:
      return Status::Error(
          EIO, QStringLiteral("The settings file %1 is damaged.").arg(QDir::toNativeSeparators(s.fileName())));
  }
  return Status::Error(EIO, QStringLiteral("The settings file could not be %1.").arg(action));
}

}  // namespace

QString storePath() {
  QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
  if (base.isEmpty()) base = QDir::homePath() + QStringLiteral("/.config");
  return base + QStringLiteral("/kestrova/settings.ini");
}

Status GetSetting(const QString& appName, const QString& section, const QString& key, const QString& defaultValue,
                  QString* value) {
  const QString path = storePath();
  const QFileInfo info(path);
  if (info.exists() && !info.isFile())
    return Status::Error(EISDIR, QStringLiteral("The settings file %1 is not a file.").arg(path));
  QSettings s(path, QSettings::IniFormat);
  const Status st = statusOf(s, QStringLiteral("read"));
  if (!st.ok()) return st;
  s.beginGroup(groupOf(appName, section));
  const QVariant v = s.value(key);
  *value = v.isValid() ? v.toString() : defaultValue;
  return Status::Ok();
}

Status SaveSetting(const QString& appName, const QString& section, const QString& key, const QString& value) {
  const QString path = storePath();
  const QFileInfo info(path);
  if (info.exists() && !info.isFile())
    return Status::Error(EISDIR, QStringLiteral("The settings file %1 is not a file.").arg(path));
  QSettings s(path, QSettings::IniFormat);
  Status st = statusOf(s, QStringLiteral("read"));
  if (!st.ok()) return st;
  s.beginGroup(groupOf(appName, section));
  s.setValue(key, value);
  s.endGroup();
  s.sync();
  st = statusOf(s, QStringLiteral("written"));
  if (!st.ok()) return st;
  // QSettings reports no error when the folder cannot even be made; check
  // that what we stored is what the file now holds.
  if (!QFileInfo(path).isFile())
    return Status::Error(
        EACCES, QStringLiteral("The settings file %1 could not be written.").arg(QDir::toNativeSeparators(path)));
  return Status::Ok();
}

}  // namespace settings
