// Temporary folders for tests.
#include "support/sandbox.h"

#include <QDir>
#include <QFile>

namespace test {

TempDir::TempDir() : m_dir(QDir::tempPath() + QStringLiteral("/kestrova-case-XXXXXX")) {}

bool writeFile(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
  return f.write(bytes) == bytes.size();
}

QByteArray readFile(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return {};
  return f.readAll();
}

}  // namespace test
