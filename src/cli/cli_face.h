// The command line's face of a purge run: boxes and progress as lines on
// standard error, and the figures of every step for the summary.
#pragma once

#include <vector>

#include <QDate>
#include <QElapsedTimer>
#include <QString>

#include "platform/ui/msgbox.h"
#include "purge/purge_sequence.h"

namespace cli {

// Writes `text` and a line end to standard output or standard error,
// flushed at once. A write to standard output that fails is remembered for
// standardOutputError().
void writeOut(const QString& text);
void writeErr(const QString& text);

// 0 when everything this process wrote to standard output got there, else
// the errno of the first write that failed (EIO when the system named
// none). Flushes standard output first, so that what other code wrote there
// through the C stream (a QTextStream on stdout) counts as well; call it
// right after such a stream was flushed for the cause of its failure.
int standardOutputError();

// Shows every box as one line on standard error: the title, ": ", the text
// with each carriage return as " / ". Answers OK, and No to a question, so
// nothing unattended is ever agreed to.
class StderrPresenter : public MsgBoxPresenter {
 public:
  int present(const QString& prompt, int style, const QString& title) override;
};

// One table's rows: before its purge, removed by its delete statement (rows
// other programs add or remove meanwhile not counted), archived with them
// (-1 when the run keeps no archive), and kept because their date could not
// be read (-1 where a count failed).
struct TableFigures {
  ShopTable table = ShopTable::Contacts;
  qint64 rows = -1;
  qint64 removed = -1;
  qint64 archived = -1;
  qint64 kept = -1;
  bool ok = false;
};

// One step: its name ("backup", a table's name, "compaction"), its result
// and its time in seconds (the counts around it not included).
struct StepFigures {
  QString name;
  bool ok = false;
  double seconds = 0;
};

class CommandLineFace : public PurgeRunFace {
 public:
  // `quiet` leaves out the progress lines; `archiving` counts the rows the
  // table purges archive.
  CommandLineFace(const QString& dbPath, const QDate& cutOff, bool quiet, bool archiving = false);

  void busy(bool) override {}
  // Throws StopRequested when a stop signal came (stop_signals.h).
  void stepStarting(PurgeStep step, std::optional<ShopTable> table, const QString& progress) override;
  void stepEnded(const PurgeStepResult& result) override;

  std::vector<TableFigures> tables;
  std::vector<StepFigures> steps;

 private:
  QString m_dbPath;
  QDate m_cutOff;
  bool m_quiet = false;
  bool m_archiving = false;
  TablePurgePlan m_plan;
  QElapsedTimer m_timer;
  qint64 m_changedBefore = 0;                              // db::changedRowsSoFar() as the table step began
  qint64 m_archiveWritesBefore = 0, m_archivedBefore = 0;  // the archive's counts then
};

}  // namespace cli
