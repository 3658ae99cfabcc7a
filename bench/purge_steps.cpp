// A and B of the purge bench.
#include "purge_steps.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include <QApplication>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QString>
#include <QTimer>

#include "child_process.h"
#include "platform/core/clock.h"
#include "platform/core/db_engine.h"
#include "platform/core/liveness.h"
#include "platform/ui/msgbox.h"
#include "purge/forms_.h"
#include "purge/frm_please_wait.h"
#include "purge/purge_date_guard.h"
#include "purge/purge_db_files.h"
#include "purge/purge_db_tables.h"

namespace bench {
namespace {

using Clock = std::chrono::steady_clock;

double since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// One line of child output: no line breaks inside.
std::string oneLine(const QString& text) {
  QString t = text;
  t.replace(QLatin1Char('\r'), QLatin1Char('|'));
  t.replace(QLatin1Char('\n'), QLatin1Char(' '));
  return t.toStdString();
}

// Answers every box OK (No on a Yes/No box) and writes it out: during A any
// box is a failure of the run.
class PrintingPresenter : public MsgBoxPresenter {
 public:
  int present(const QString& prompt, int style, const QString&) override {
    std::printf("box %d: %s\n", style, oneLine(prompt).c_str());
    std::fflush(stdout);
    return (style & vbYesNo) == vbYesNo ? vbNo : vbOK;
  }
};

// The process's high-water mark of resident memory, in KiB (VmHWM).
long highWaterKiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
  return 0;
}

// The longest stretch without event processing: a timer that ticks every
// 5 ms on the program's thread and keeps the longest gap between two ticks
// (or between the last tick and the end of the step).
class GapClock {
 public:
  GapClock() {
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setInterval(5);
    QObject::connect(&m_timer, &QTimer::timeout, [this] { tick(); });
    m_timer.start();
  }
  void restart() {
    m_clock.start();
    m_longestMs = 0;
  }
  double longestMs() {
    tick();
    return m_longestMs;
  }

 private:
  void tick() {
    m_longestMs = std::max(m_longestMs, double(m_clock.nsecsElapsed()) / 1e6);
    m_clock.start();
  }
  QTimer m_timer;
  QElapsedTimer m_clock;
  double m_longestMs = 0;
};

}  // namespace

std::string BenchPlace::backup() const {
  return folder() + "/kvbackup" + today.toString(QStringLiteral("ddMMyyyy")).toStdString() + ".mdb";
}

void confineEnvironment(const std::string& root, const std::string& driveC) {
  ::setenv("KESTROVA_DRIVE_C", driveC.c_str(), 1);
  ::setenv("XDG_CONFIG_HOME", (root + "/config").c_str(), 1);
  ::setenv("XDG_DATA_HOME", (root + "/data").c_str(), 1);
  ::setenv("KESTROVA_REGISTRY", (root + "/registry.reg").c_str(), 1);
  ::setenv("KESTROVA_SENDMAIL", "/bin/false", 1);
  ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
}

int purgeAChildMain(int argc, char** argv, const QDate& today, const QDate& cutOff) {
  QApplication application(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  sysclock::setClock([today] { return QDateTime(today, QTime(10, 0)); });
  PrintingPresenter presenter;
  setMsgBoxPresenter(&presenter);
  db::setStatementObserver([](const QString& statement) {
    if (!statement.startsWith(QLatin1String("Delete"), Qt::CaseInsensitive)) return;
    QString sql;
    if (!purge_guard::guardedTranslate(statement, sql).ok()) return;
    // The stock side runs it in the sqlite3 shell, which has none of our functions.
    static const QRegularExpression guard(
        QStringLiteral("%1\\(([^()]*)\\)").arg(QString::fromLatin1(purge_guard::kIsoDateFunction)));
    for (QRegularExpressionMatch m = guard.match(sql); m.hasMatch(); m = guard.match(sql))
      sql.replace(m.capturedStart(), m.capturedLength(), purge_guard::isoGuardGlob(m.captured(1)));
    std::printf("stmt %s\n", oneLine(sql).c_str());
  });

  const QString dbPath = QStringLiteral("C:\\kestrova\\kestrova.mdb");
  const QString backupPath =
      QStringLiteral("C:\\kestrova\\kvbackup") + today.toString(QStringLiteral("ddMMyyyy")) + QStringLiteral(".mdb");
  std::printf("rss-start %ld\n", highWaterKiB());

  // The progress text of each step, as the purge run shows it.
  auto showStep = [](const char* text) {
    if (LoadPleaseWait()) PleaseWait()->DisplayMsg_(QString::fromLatin1(text));
  };
  using TablePurge = bool (*)(const QString&, const QDate&, QString&, int32_t&);
  const TablePurge tables[] = {PurgeContacts, PurgeInvoiceNumbers, PurgePayments, PurgeTransactions, PurgeManifest};
  const char* texts[] = {"purging contacts...", "purging invoices...", "purging payments...", "purging transactions...",
                         "purging manifest..."};

  // As in the window's run: each step's work beside a live event loop.
  liveness::Responsive responsive;
  GapClock gaps;
  int exitCode = 0;
  for (size_t i = 0; i < kStepNames.size() && exitCode == 0; ++i) {
    QString errDesc;
    int32_t errNum = 0;
    gaps.restart();
    const auto start = Clock::now();
    bool ok = false;
    if (i == 0) {
      ok = BackupExists(backupPath);
      if (!ok) {
        if (LoadPleaseWait()) PleaseWait()->DisplayMsg_BackUp_File(QStringLiteral("kestrova.mdb databse"));
        ok = BackupDB(dbPath, backupPath, errDesc, errNum);
      }
      // The run checks the database after the backup, before any delete.
      if (ok) ok = CheckDB(dbPath);
    } else if (i + 1 < kStepNames.size()) {
      showStep(texts[i - 1]);
      ok = tables[i - 1](dbPath, cutOff, errDesc, errNum);
    } else {
      showStep("compacting the database...");
      ok = CompactDB(dbPath, errDesc, errNum);
    }
    const double seconds = since(start);
    std::printf("step %s %.6f %d %ld %.1f\n", kStepNames[i], seconds, ok ? 1 : 0, highWaterKiB(), gaps.longestMs());
    if (!ok) {
      std::printf("failure %s: %d %s\n", kStepNames[i], errNum, oneLine(errDesc).c_str());
      exitCode = 1;
    }
    std::fflush(stdout);
  }
  UnloadPleaseWait();
  db::setStatementObserver({});
  setMsgBoxPresenter(nullptr);
  std::printf("rss-end %ld\n", highWaterKiB());
  std::fflush(stdout);
  return exitCode;
}

PurgeARun runPurgeA(const std::string& self, const BenchPlace& place, const QDate& cutOff) {
  PurgeARun run;
  const ChildResult child = runChild({self, "--child-a", "--today", place.today.toString(Qt::ISODate).toStdString(),
                                      "--cutoff", cutOff.toString(Qt::ISODate).toStdString()},
                                     true);
  run.childSeconds = child.seconds;
  run.peakRssKiB = child.maxRssKiB;
  run.childUser = child.userSeconds;
  run.childSystem = child.systemSeconds;
  if (!child.started) {
    run.failure = "the A child could not be started";
    return run;
  }
  std::istringstream lines(child.output);
  std::string line;
  size_t stepsOk = 0;
  while (std::getline(lines, line)) {
    if (line.rfind("stmt ", 0) == 0) {
      run.deleteStatements.push_back(line.substr(5));
    } else if (line.rfind("box ", 0) == 0) {
      run.boxes.push_back(line.substr(4));
    } else if (line.rfind("rss-start ", 0) == 0) {
      run.startRssKiB = std::atol(line.c_str() + 10);
    } else if (line.rfind("rss-end ", 0) == 0) {
      run.endHighWaterKiB = std::atol(line.c_str() + 8);
    } else if (line.rfind("failure ", 0) == 0) {
      run.failure += line.substr(8) + "\n";
    } else if (line.rfind("step ", 0) == 0) {
      std::istringstream fields(line.substr(5));
      std::string name;
      double seconds = 0;
      int ok = 0;
      long highWater = 0;
      double gapMs = 0;
      fields >> name >> seconds >> ok >> highWater >> gapMs;
      for (size_t i = 0; i < kStepNames.size(); ++i)
        if (name == kStepNames[i]) {
          run.timing.seconds[i] = seconds;
          run.highWaterKiB[i] = highWater;
          run.longestGapMs[i] = gapMs;
          if (ok) ++stepsOk;
        }
    }
  }
  if (child.exitCode != 0 && run.failure.empty())
    run.failure = "the A child ended with " + std::to_string(child.exitCode) + ": " + child.errorOutput;
  run.ok = child.exitCode == 0 && stepsOk == kStepNames.size() && run.boxes.empty() && run.deleteStatements.size() == 5;
  if (run.failure.empty() && !run.ok) {
    if (!run.boxes.empty())
      run.failure = "message boxes were shown";
    else
      run.failure = "the A child reported " + std::to_string(run.deleteStatements.size()) + " delete statements";
  }
  return run;
}

std::vector<std::string> plainStatements(const QDate& cutOff, long long shipFrom) {
  // Built with append: GCC 12 at -O2 warns (-Wrestrict, a false positive)
  // on the chain of "literal" + std::string.
  std::string date("'");
  date.append(cutOff.toString(Qt::ISODate).toStdString()).append("'");
  std::string contacts =
      "DELETE FROM Contacts WHERE ((LastContactDate < " + date + " AND AR IS NULL) OR LastContactDate IS NULL)";
  if (shipFrom > 0) contacts += " AND ID <> " + std::to_string(shipFrom);
  return {contacts, "DELETE FROM InvoiceNumbers WHERE Date < " + date,
          "DELETE FROM Payments WHERE AcctNum = 'Cash' AND Date < " + date,
          "DELETE FROM Transactions WHERE AcctNum = 'Cash' AND Date < " + date,
          "DELETE FROM Manifest WHERE Date < " + date};
}

PurgeBRun runPurgeB(const BenchPlace& place, const std::vector<std::string>& deleteStatements, bool durable) {
  PurgeBRun run;
  // Runs the commands of one step one after the other; false on the first
  // that fails, with its error output in run.failure.
  auto step = [&](size_t index, const std::vector<std::vector<std::string>>& commands) {
    for (const auto& argv : commands) {
      const bool check = argv.back() == "PRAGMA integrity_check";
      const ChildResult child = runChild(argv, check);
      run.timing.seconds[index] += child.seconds;
      if (child.exitCode != 0) {
        run.failure = argv[0] + " (" + kStepNames[index] + ") ended with " + std::to_string(child.exitCode) + ": " +
                      child.errorOutput;
        return false;
      }
      if (check && child.output != "ok\n") {
        run.failure = "the database failed its check: " + child.output;
        return false;
      }
    }
    return true;
  };
  if (deleteStatements.size() != 5) {
    run.failure = "five delete statements are needed";
    return run;
  }
  const std::string db = place.database();
  const std::string temp = place.compactTemp();
  std::vector<std::vector<std::string>> backup = {{"cp", "--reflink=auto", db, place.backup()},
                                                  {"sync", place.backup()}};
  if (durable) backup.push_back({"sqlite3", db, "PRAGMA integrity_check"});
  if (!step(0, backup)) return run;
  for (size_t i = 0; i < deleteStatements.size(); ++i)
    if (!step(i + 1, {{"sqlite3", db, deleteStatements[i]}})) return run;
  // The temporary name as an SQL text literal.
  std::string quoted = "'";
  for (char c : temp) quoted += c == '\'' ? std::string("''") : std::string(1, c);
  quoted += "'";
  std::vector<std::vector<std::string>> compact = {{"sqlite3", db, "VACUUM INTO " + quoted}};
  if (durable) compact.push_back({"sqlite3", temp, "PRAGMA integrity_check"});
  compact.push_back({"cp", temp, db});
  if (durable) compact.push_back({"sync", db});
  compact.push_back({"rm", temp});
  if (!step(6, compact)) return run;
  run.ok = true;
  return run;
}

}  // namespace bench
