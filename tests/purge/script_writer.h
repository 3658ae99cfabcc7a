// A shop application played by a Python script in a process of its own: it
// is started with a stop file among its arguments, says "ready" once it has
// started its work, and ends when the stop file appears.
#pragma once

#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>

#include "support/sandbox.h"

namespace test {

class ScriptWriter {
 public:
  // Removes `stopFile` and the `outputs` of an earlier run, writes `script`
  // as `dir/name` and runs `python3 <script> <args...>`.
  ScriptWriter(const TempDir& dir, const QString& name, const char* script, const QStringList& args,
               const QString& stopFile, const QStringList& outputs)
      : m_stop(stopFile) {
    for (const QString& f : outputs + QStringList{m_stop}) QFile::remove(f);
    const QString path = dir.file(name);
    writeFile(path, script);
    m_proc.start(QStringLiteral("python3"), QStringList{path} + args);
    m_ready = m_proc.waitForStarted(10000) && m_proc.waitForReadyRead(20000);
  }
  ~ScriptWriter() { stop(); }

  bool ready() const { return m_ready; }

  // Stops the script and waits for it; true when it ended on its own.
  bool stop() {
    if (m_proc.state() == QProcess::NotRunning)
      return m_proc.exitStatus() == QProcess::NormalExit && m_proc.exitCode() == 0;
    writeFile(m_stop, "stop");
    if (!m_proc.waitForFinished(30000)) {
      m_proc.kill();
      m_proc.waitForFinished(5000);
      return false;
    }
    return m_proc.exitStatus() == QProcess::NormalExit && m_proc.exitCode() == 0;
  }

  QString stderrText() { return QString::fromUtf8(m_proc.readAllStandardError()); }

  // The non-empty lines of a file the script writes.
  static QStringList lines(const QString& file) {
    return QString::fromUtf8(readFile(file)).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
  }

 private:
  QString m_stop;
  QProcess m_proc;
  bool m_ready = false;
};

}  // namespace test
