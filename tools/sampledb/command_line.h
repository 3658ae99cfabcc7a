// Walks a "--flag value" command line, for the sample maker and the benchmark.
#pragma once

#include <utility>

#include <QString>
#include <QStringList>

namespace sampledb {

class CommandLine {
 public:
  explicit CommandLine(QStringList args) : m_args(std::move(args)) {}

  // Moves to the next argument; false when none is left.
  bool next() { return ++m_at < m_args.size(); }

  // The current argument (after a true next()).
  const QString& arg() const { return m_args[m_at]; }

  // True when the current argument is `flag` and a value follows it.
  bool takes(const char* flag) const { return arg() == QLatin1String(flag) && m_at + 1 < m_args.size(); }

  // The value after the current flag (after a true takes()); moves past it.
  const QString& value() { return m_args[++m_at]; }

 private:
  QStringList m_args;
  qsizetype m_at = -1;
};

}  // namespace sampledb
