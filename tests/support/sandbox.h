// Temporary folders for tests, inside the process's sandbox.
#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

namespace test {

// A fresh temporary folder, removed with the object.
class TempDir {
 public:
  TempDir();
  QString path() const { return m_dir.path(); }
  // `name` inside the folder.
  QString file(const QString& name) const { return m_dir.path() + QLatin1Char('/') + name; }

 private:
  QTemporaryDir m_dir;
};

// Writes `bytes` to `path`, replacing it; returns false on failure.
bool writeFile(const QString& path, const QByteArray& bytes);

// The stand-in for a day's backup made earlier: the bytes of an empty shop
// database (the run takes nothing less for a backup) whose Setup names the
// shop `note`, so that two stand-ins with other notes differ.
QByteArray backupStandIn(const QByteArray& note);

// The whole content of `path`, empty when it cannot be read.
QByteArray readFile(const QString& path);

}  // namespace test
