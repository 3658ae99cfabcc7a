// The command line's face of a purge run.
#include "cli/cli_face.h"

#include <cstdio>

#include "platform/runtime_error.h"

namespace cli {
namespace {

void writeTo(std::FILE* stream, const QString& text) {
  const QByteArray bytes = (text + QLatin1Char('\n')).toLocal8Bit();
  std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
  std::fflush(stream);
}

}  // namespace

void writeOut(const QString& text) {
  writeTo(stdout, text);
}
void writeErr(const QString& text) {
  writeTo(stderr, text);
}

int StderrPresenter::present(const QString& prompt, int style, const QString& title) {
  QString text = prompt;
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\r"));
  text.replace(QLatin1Char('\r'), QStringLiteral(" / "));
  text.replace(QLatin1Char('\n'), QStringLiteral(" / "));
  writeErr(title + QStringLiteral(": ") + text);
  return (style & 0x7) == vbYesNo ? vbNo : vbOK;
}

CommandLineFace::CommandLineFace(const QString& dbPath, const QDate& cutOff, bool quiet)
    : m_dbPath(dbPath), m_cutOff(cutOff), m_quiet(quiet) {}

void CommandLineFace::stepStarting(PurgeStep step, std::optional<ShopTable> table,
                                   const QString& progress) {
  if (!m_quiet) writeErr(QStringLiteral("Please wait, ") + progress);
  if (step == PurgeStep::Table && table) {
    TableFigures figures;
    figures.table = *table;
    // The counts read the same plan the purge is about to run.
    trapErrors([&] { m_plan = planTablePurge(*table, m_dbPath, m_cutOff); });
    m_plan.table = shopTableName(*table);
    figures.rows = countTableRows(m_dbPath, m_plan);
    tables.push_back(figures);
  }
  m_timer.start();
}

void CommandLineFace::stepEnded(const PurgeStepResult& result) {
  const double seconds = double(m_timer.nsecsElapsed()) / 1e9;
  QString name = result.step == PurgeStep::Backup  ? QStringLiteral("backup")
                 : result.step == PurgeStep::Check ? QStringLiteral("check")
                                                   : QStringLiteral("compaction");
  if (result.step == PurgeStep::Table && result.table && !tables.empty()) {
    TableFigures& figures = tables.back();
    name = shopTableName(*result.table);
    figures.ok = result.ok;
    const qint64 after = countTableRows(m_dbPath, m_plan);
    if (figures.rows >= 0 && after >= 0) figures.removed = figures.rows - after;
    if (!m_plan.dateColumn.isEmpty()) figures.kept = countUnreadableDates(m_dbPath, m_plan);
  }
  steps.push_back(StepFigures{name, result.ok, seconds});
}

}  // namespace cli
