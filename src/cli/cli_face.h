// The command line's face of a purge run: boxes and progress as lines on
// standard error, and the figures of every step for the summary.
#pragma once

#include <vector>

#include <QDate>
#include <QElapsedTimer>
#include <QString>

#include "platform/msgbox.h"
#include "purge/purge_sequence.h"

namespace cli {

// Writes `text` and a line end to standard output or standard error.
void writeOut(const QString& text);
void writeErr(const QString& text);

// Shows every box as one line on standard error: the title, ": ", the text
// with each carriage return as " / ". Answers OK, and No to a question, so
// nothing unattended is ever agreed to.
class StderrPresenter : public MsgBoxPresenter {
 public:
  int present(const QString& prompt, int style, const QString& title) override;
};

// One table's rows: before its purge, removed by it, and kept because their
// date could not be read (-1 where a count failed).
struct TableFigures {
  ShopTable table = ShopTable::Contacts;
  qint64 rows = -1;
  qint64 removed = -1;
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
  // `quiet` leaves out the progress lines.
  CommandLineFace(const QString& dbPath, const QDate& cutOff, bool quiet);

  void busy(bool) override {}
  void stepStarting(PurgeStep step, std::optional<ShopTable> table,
                    const QString& progress) override;
  void stepEnded(const PurgeStepResult& result) override;

  std::vector<TableFigures> tables;
  std::vector<StepFigures> steps;

 private:
  QString m_dbPath;
  QDate m_cutOff;
  bool m_quiet = false;
  TablePurgePlan m_plan;
  QElapsedTimer m_timer;
};

}  // namespace cli
