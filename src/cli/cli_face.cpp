// The command line's face of a purge run.
#include "cli/cli_face.h"

#include <cerrno>
#include <cstdio>

#include <QFileInfo>

#include "cli/stop_signals.h"
#include "platform/core/db_engine.h"
#include "platform/core/paths.h"
#include "purge/purge_archive.h"

namespace cli {
namespace {

// The errno of the first failed write to standard output; 0 while none failed.
int g_stdoutError = 0;

// Notes a failure of standard output, if it has failed, with the errno the
// failing call just left.
void noteStandardOutput(bool failed) {
  if (!failed && !std::ferror(stdout)) return;
  if (g_stdoutError == 0) g_stdoutError = errno != 0 ? errno : EIO;
}

void writeTo(std::FILE* stream, const QString& text) {
  const QByteArray bytes = (text + QLatin1Char('\n')).toLocal8Bit();
  errno = 0;
  const bool written = std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream) == size_t(bytes.size());
  const bool flushed = std::fflush(stream) == 0;
  if (stream == stdout) noteStandardOutput(!written || !flushed);
}

}  // namespace

int standardOutputError() {
  // errno is left alone: called right after a QTextStream flushed into
  // stdout, it still holds the cause of that stream's failed write.
  noteStandardOutput(std::fflush(stdout) != 0);
  return g_stdoutError;
}

void writeOut(const QString& text) { writeTo(stdout, text); }
void writeErr(const QString& text) { writeTo(stderr, text); }

int StderrPresenter::present(const QString& prompt, int style, const QString& title) {
  QString text = prompt;
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\r"));
  text.replace(QLatin1Char('\r'), QStringLiteral(" / "));
  text.replace(QLatin1Char('\n'), QStringLiteral(" / "));
  writeErr(title + QStringLiteral(": ") + text);
  return (style & 0x7) == vbYesNo ? vbNo : vbOK;
}

CommandLineFace::CommandLineFace(const QString& dbPath, const QDate& cutOff, bool quiet, bool archiving)
    : m_dbPath(dbPath), m_cutOff(cutOff), m_quiet(quiet), m_archiving(archiving) {}

void CommandLineFace::stepStarting(PurgeStep step, std::optional<ShopTable> table, const QString& progress) {
  // Between two steps is the safe point: the step before has committed or
  // rolled back, and no temporary file of the run is left.
  stopIfAsked();
  // The window names the backup after the program's own database, typo
  // and all; a terminal names the file it was given.
  const QString said =
      step == PurgeStep::Backup
          ? QStringLiteral("backing up ") + QFileInfo(paths::resolve(m_dbPath)).fileName() + QStringLiteral("...")
          : progress;
  if (!m_quiet) writeErr(QStringLiteral("Please wait, ") + said);
  if (step == PurgeStep::Table && table) {
    TableFigures figures;
    figures.table = *table;
    // The counts read the same plan the purge is about to run.
    m_plan = planTablePurge(*table, m_dbPath, m_cutOff);
    figures.rows = countTableRows(m_dbPath, m_plan);
    tables.push_back(figures);
    m_changedBefore = db::changedRowsSoFar();
    m_archiveWritesBefore = archive::archiveWritesSoFar();
    m_archivedBefore = archive::archivedRowsSoFar();
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
    // The table purge runs one statement, its delete, so what changed
    // meanwhile is what it removed; rows-before minus rows-after would also
    // count what the shop application added or removed during the step.
    // The archive's own writes (its copies) are no removed rows.
    figures.removed =
        db::changedRowsSoFar() - m_changedBefore - (archive::archiveWritesSoFar() - m_archiveWritesBefore);
    if (m_archiving) figures.archived = archive::archivedRowsSoFar() - m_archivedBefore;
    // The purge counted them after its delete; only a step that did not get
    // that far leaves them to be counted here.
    if (!m_plan.dateColumn.isEmpty()) {
      const std::optional<qint64> counted = takeUnreadableDateCount(m_plan.table);
      figures.kept = counted ? *counted : countUnreadableDates(m_dbPath, m_plan);
    }
  }
  steps.push_back(StepFigures{name, result.ok, seconds});
}

}  // namespace cli
