// The two ways of purging a bench database: A, the program's own routines in
// a child process of the bench; B, the same work by stock tools.
#pragma once

#include <array>
#include <string>
#include <vector>

#include <QDate>

namespace bench {

// The steps of one purge, in the order they run.
inline constexpr std::array<const char*, 7> kStepNames = {"backup",       "contacts", "invoices", "payments",
                                                          "transactions", "manifest", "compact"};

struct PurgeTiming {
  std::array<double, kStepNames.size()> seconds{};
  double total() const {
    double t = 0;
    for (double s : seconds) t += s;
    return t;
  }
};

// Where a purge works: the drive C root of the bench, holding
// kestrova/kestrova.mdb, and the day used for the backup's name.
struct BenchPlace {
  std::string driveC;
  QDate today;
  std::string folder() const { return driveC + "/kestrova"; }
  std::string database() const { return folder() + "/kestrova.mdb"; }
  std::string backup() const;  // kestrova/kvbackupDDMMYYYY.mdb
  std::string compactTemp() const { return folder() + "/kvTemp.mdb"; }
};

struct PurgeARun {
  bool ok = false;
  PurgeTiming timing;
  double childSeconds = 0;  // wall time of the whole child, start-up included
  double childUser = 0;     // its processor time, user and kernel
  double childSystem = 0;
  long peakRssKiB = 0;                                 // ru_maxrss of the child
  long startRssKiB = 0;                                // its VmHWM before the first step
  long endHighWaterKiB = 0;                            // its VmHWM at the end
  std::array<long, kStepNames.size()> highWaterKiB{};  // its VmHWM after each step
  // The longest stretch of each step without event processing on the
  // program's thread, in milliseconds (a desktop wants an answer within 5 s;
  // the goal is 250 ms).
  std::array<double, kStepNames.size()> longestGapMs{};
  std::vector<std::string> deleteStatements;  // as SQLite ran them
  std::vector<std::string> boxes;             // every message box shown
  std::string failure;
};

// Runs A: this executable again, in its child mode, with the environment
// pointing every program path into the bench.
PurgeARun runPurgeA(const std::string& self, const BenchPlace& place, const QDate& cutOff);

// The child mode behind runPurgeA: BackupDB, the five table purges and
// CompactDB on "C:\kestrova\kestrova.mdb", writing its findings as lines to
// standard output. Returns the exit code (0 when every step succeeded).
int purgeAChildMain(int argc, char** argv, const QDate& today, const QDate& cutOff);

struct PurgeBRun {
  bool ok = false;
  PurgeTiming timing;
  std::string failure;
};

// Runs B: cp --reflink=auto + sync for the backup, one sqlite3 shell per
// delete statement, VACUUM INTO the temporary file, cp back, rm. With
// `durable` the compaction also does what A does for safety: the shell's
// PRAGMA quick_check of the temporary file (which must answer "ok") before
// the copy back, and a sync of the database after it.
PurgeBRun runPurgeB(const BenchPlace& place, const std::vector<std::string>& deleteStatements, bool durable);

// The five delete statements as a person writes them for plain SQLite, in
// the order A runs them: dates compared as ISO text ([Date] < 'YYYY-MM-DD'),
// no guard against dates stored another way, the default ship-from contact
// `shipFrom` excluded by its number (no exclusion when it is not positive).
std::vector<std::string> plainStatements(const QDate& cutOff, long long shipFrom);

// Points KESTROVA_DRIVE_C and the other program paths of this process (and
// so of its children) into the bench folder `root`.
void confineEnvironment(const std::string& root, const std::string& driveC);

}  // namespace bench
