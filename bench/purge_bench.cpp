// purge-bench: times the program's purge (A) against the same work done by
// stock tools (B) on a sample shop database in a temporary folder.
//
//   purge-bench [--scale N] [--pairs N] [--dir FOLDER] [--keep] [--a-only]
//
// --scale  size of the sample database (10000, the default, is about 1 GB;
//          500 is an everyday run of well under a minute)
// --pairs  A-then-B pairs to time (default 3); each side starts from a fresh
//          byte copy of the pristine sample, made outside the timed region
// --dir    folder under which the bench folder is made (default $TMPDIR,
//          else /var/tmp); the database, its backup and the temporary file
//          of the compaction all live there, on one file system
// --keep   leave the bench folder in place
// --a-only time A alone (for the largest databases): its time per GiB and peak memory
//
// A runs in a child process of the bench, so its peak resident memory is the
// child's ru_maxrss read through wait4 (its own VmHWM is printed beside it). Every program path of A points into
// the bench folder (KESTROVA_DRIVE_C and the rest); no user database is read.
#include <fcntl.h>
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QStringList>

#include "child_process.h"
#include "platform/filesafety/files.h"
#include "purge_cli.h"
#include "purge_steps.h"
#include "sampledb/command_line.h"
#include "sampledb/sample_db.h"
#include "table_census.h"

namespace {

// The sample database's fixed reference day and seed; the cut-off keeps the
// last three of its six years.
const QDate kToday(2024, 6, 28);
constexpr std::uint64_t kSeed = 20240628;
constexpr int kYearsKept = 3;

struct Options {
  double scale = 10000;
  int pairs = 3;
  std::string dir;
  bool keep = false;
  bool aOnly = false;
};

int usage() {
  std::fprintf(stderr, "usage: purge-bench [--scale N] [--pairs N] [--dir FOLDER] [--keep] [--a-only]\n");
  return 2;
}

bool parse(const QStringList& args, Options& options) {
  sampledb::CommandLine line(args);
  while (line.next()) {
    bool ok = true;
    if (line.takes("--scale")) {
      options.scale = line.value().toDouble(&ok);
      ok = ok && options.scale > 0;
    } else if (line.takes("--pairs")) {
      options.pairs = line.value().toInt(&ok);
      ok = ok && options.pairs > 0;
    } else if (line.takes("--dir")) {
      options.dir = line.value().toStdString();
    } else if (line.arg() == QLatin1String("--keep")) {
      options.keep = true;
    } else if (line.arg() == QLatin1String("--a-only")) {
      options.aOnly = true;
    } else {
      ok = false;
    }
    if (!ok) return false;
  }
  if (options.dir.empty()) {
    const char* tmp = std::getenv("TMPDIR");
    options.dir = tmp && *tmp ? tmp : "/var/tmp";
  }
  return true;
}

long long fileSize(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : -1;
}

// A line "<key> <n> kB" of /proc/self/status, in KiB.
long selfStatusKiB(const char* key) {
  std::ifstream status("/proc/self/status");
  std::string line;
  const size_t n = std::strlen(key);
  while (std::getline(status, line))
    if (line.compare(0, n, key) == 0 && line.size() > n && line[n] == ':') return std::atol(line.c_str() + n + 1);
  return 0;
}

// Seconds that a sync of everything still unwritten takes.
double timedSync() {
  const auto start = std::chrono::steady_clock::now();
  ::sync();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double mib(long long bytes) { return double(bytes) / (1024.0 * 1024.0); }

// Puts a fresh copy of the pristine database in place and removes what an
// earlier run left beside it. Empty on success, else what went wrong.
std::string freshDatabase(const std::string& pristine, const bench::BenchPlace& place) {
  for (const std::string& leftover : {place.backup(), place.compactTemp(), place.database() + "-journal"})
    if (::unlink(leftover.c_str()) != 0 && errno != ENOENT) return leftover + ": " + std::strerror(errno);
  const Status s = files::copyFile(QString::fromStdString(pristine), QString::fromStdString(place.database()));
  if (!s.ok()) return "fresh copy: " + s.description().toStdString();
  ::sync();  // nothing of the copy is left to write back during a timed step
  // The pristine file is the bench's, not the shop's: its pages leave the
  // page cache, which holds the database and its backup as on a shop's
  // machine (at 9 GB the three files together outgrow this machine's memory).
  const int fd = ::open(pristine.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd >= 0) {
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    ::close(fd);
  }
  return {};
}

void printTiming(const char* side, const bench::PurgeTiming& t) {
  std::printf("  %s", side);
  for (size_t i = 0; i < bench::kStepNames.size(); ++i) std::printf("  %s %.2f", bench::kStepNames[i], t.seconds[i]);
  std::printf("  | total %.2f s\n", t.total());
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Checks a purged database against the pristine census; prints the rows
// each table lost. False, with an error printed, when something is off.
bool reportLoss(const char* side, const bench::DatabaseCensus& before, const bench::DatabaseCensus& after) {
  if (!after.error.empty()) {
    std::printf("  ERROR: %s census: %s\n", side, after.error.c_str());
    return false;
  }
  std::printf("  %s rows lost:", side);
  for (size_t i = 0; i < bench::kPurgedTables.size(); ++i)
    std::printf(" %s %lld", bench::kPurgedTables[i],
                static_cast<long long>(before.tables[i].rows - after.tables[i].rows));
  std::printf("\n");
  return true;
}

int runBench(const Options& options, const std::string& self) {
  char pattern[4096];
  std::snprintf(pattern, sizeof pattern, "%s/purge-bench-XXXXXX", options.dir.c_str());
  if (!::mkdtemp(pattern)) {
    std::fprintf(stderr, "purge-bench: cannot make a folder under %s: %s\n", options.dir.c_str(), std::strerror(errno));
    return 1;
  }
  const std::string root = pattern;
  bench::BenchPlace place{root + "/drive_c", kToday};
  QDir().mkpath(QString::fromStdString(place.folder()));
  bench::confineEnvironment(root, place.driveC);
  const std::string pristine = root + "/pristine.mdb";
  const QDate cutOff = kToday.addYears(-kYearsKept);

  std::printf("bench folder %s\n", root.c_str());
  std::printf("sample: scale %g, seed %llu, today %s, cut-off %s (rows dated before it are purged)\n", options.scale,
              static_cast<unsigned long long>(kSeed), qPrintable(kToday.toString(Qt::ISODate)),
              qPrintable(cutOff.toString(Qt::ISODate)));
  std::fflush(stdout);
  const auto makeStart = std::chrono::steady_clock::now();
  sampledb::Options sample;
  sample.scale = options.scale;
  sample.seed = kSeed;
  sample.today = kToday;
  const QString made = sampledb::make(QString::fromStdString(pristine), sample);
  if (!made.isEmpty()) {
    std::fprintf(stderr, "purge-bench: sample database: %s\n", qPrintable(made));
    return 1;
  }
  const double makeSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - makeStart).count();
  const bench::DatabaseCensus before = bench::takeCensus(pristine);
  if (!before.error.empty()) {
    std::fprintf(stderr, "purge-bench: %s\n", before.error.c_str());
    return 1;
  }
  // The A child starts as a fork of this process, and the kernel carries the
  // resident size of that image into the child's ru_maxrss: give the memory
  // of the sample writer back first so the figure is A's own.
  ::malloc_trim(0);
  const long benchRss = selfStatusKiB("VmRSS");
  long long rowsBefore = 0;
  for (const auto& t : before.tables) rowsBefore += t.rows;
  const long long sizeBefore = fileSize(pristine);
  std::printf("sample written in %.1f s: %lld bytes (%.1f MiB), %lld rows in the purged tables\n\n", makeSeconds,
              sizeBefore, mib(sizeBefore), rowsBefore);

  bool allGood = true;
  std::vector<double> ratios;
  std::vector<double> durableRatios;                          // A against B'
  std::vector<double> plainRatios;                            // A against plain B
  std::vector<double> cliRatios;                              // C against A
  std::vector<double> aTotals;                                // with --a-only
  std::array<double, bench::kStepNames.size()> longestGap{};  // of A, over all pairs

  long peakRss = 0;
  long startRss = 0;
  long endHighWater = 0;
  long long sizeAfterA = -1;
  long long sizeAfterB = -1;
  bench::DatabaseCensus afterA;
  std::vector<std::string> statements;

  const std::vector<std::string> plainStatements = bench::plainStatements(cutOff, bench::defaultShipFrom(pristine));

  for (int pair = 1; pair <= options.pairs; ++pair) {
    std::printf("pair %d\n", pair);
    if (std::string e = freshDatabase(pristine, place); !e.empty()) {
      std::fprintf(stderr, "purge-bench: %s\n", e.c_str());
      return 1;
    }
    const bench::PurgeARun a = bench::runPurgeA(self, place, cutOff);
    for (const std::string& box : a.boxes) std::printf("  ERROR: A showed a message box: %s\n", box.c_str());
    if (!a.ok) {
      std::printf("  ERROR: A failed: %s\n", a.failure.c_str());
      allGood = false;
      break;
    }
    printTiming("A", a.timing);
    std::printf(
        "    A child %.2f s with start-up (user %.2f s, system %.2f s); peak RSS %.1f MiB (%.1f MiB before the "
        "first step)\n",
        a.childSeconds, a.childUser, a.childSystem, a.peakRssKiB / 1024.0, a.startRssKiB / 1024.0);
    std::printf("    A longest stretch without event processing (ms):");
    for (size_t i = 0; i < bench::kStepNames.size(); ++i)
      std::printf(" %s %.0f", bench::kStepNames[i], a.longestGapMs[i]);
    std::printf("\n");
    for (size_t i = 0; i < bench::kStepNames.size(); ++i) longestGap[i] = std::max(longestGap[i], a.longestGapMs[i]);
    std::printf("    A high-water RSS after each step (MiB):");
    for (size_t i = 0; i < bench::kStepNames.size(); ++i)
      std::printf(" %s %.1f", bench::kStepNames[i], a.highWaterKiB[i] / 1024.0);
    std::printf("\n");
    peakRss = std::max(peakRss, a.peakRssKiB);
    endHighWater = std::max(endHighWater, a.endHighWaterKiB);
    const double pendingA = timedSync();
    startRss = std::max(startRss, a.startRssKiB);
    statements = a.deleteStatements;
    afterA = bench::takeCensus(place.database());
    sizeAfterA = fileSize(place.database());
    if (!reportLoss("A", before, afterA)) allGood = false;
    // The backup must be the pristine database, byte for byte.
    const bench::ChildResult cmp = bench::runChild({"cmp", "-s", pristine, place.backup()}, false);
    if (cmp.exitCode != 0) {
      std::printf("  ERROR: A's backup differs from the database it was taken of\n");
      allGood = false;
    }
    if (const std::string verdict = bench::quickCheck(place.database()); verdict != "ok") {
      std::printf("  ERROR: A's database fails its check: %s\n", verdict.c_str());
      allGood = false;
    }

    if (options.aOnly) {
      aTotals.push_back(a.timing.total());
      std::printf("  A %.2f s for %.2f GiB: %.2f s per GiB\n\n", a.timing.total(), mib(sizeBefore) / 1024,
                  a.timing.total() / (mib(sizeBefore) / 1024));
      continue;
    }
    // C, the command line on a fresh copy: the same steps, the same rows.
    if (std::string e = freshDatabase(pristine, place); !e.empty()) {
      std::fprintf(stderr, "purge-bench: %s\n", e.c_str());
      return 1;
    }
    const bench::PurgeCRun c = bench::runPurgeC(cutOff);
    if (!c.ok) {
      std::printf("  ERROR: C failed: %s\n", c.failure.c_str());
      allGood = false;
      break;
    }
    std::printf(
        "  C  command line: steps %.2f s (A %.2f s), %.2f s with the summary's row counts, child %.2f s with "
        "start-up; peak RSS %.1f MiB; ratio C/A %.3f\n",
        c.stepsSeconds, a.timing.total(), c.runSeconds, c.childSeconds, c.peakRssKiB / 1024.0,
        c.stepsSeconds / a.timing.total());
    cliRatios.push_back(c.stepsSeconds / a.timing.total());
    const bench::DatabaseCensus afterC = bench::takeCensus(place.database());
    if (!reportLoss("C", before, afterC)) allGood = false;
    if (afterC.tables != afterA.tables) {
      std::printf("  ERROR: A and C kept different rows\n");
      allGood = false;
    }

    // Plain B (the statements as a person writes them), B (as SQLite ran
    // them in A), then B with A's safety work; each from a fresh copy.
    double bTotal[3] = {0, 0, 0};
    const char* sides[3] = {"plain B", "B", "B'"};
    for (int side_i = 0; side_i < 3 && allGood; ++side_i) {
      const char* side = sides[side_i];
      const int durable = side_i == 2;
      if (std::string e = freshDatabase(pristine, place); !e.empty()) {
        std::fprintf(stderr, "purge-bench: %s\n", e.c_str());
        return 1;
      }
      const bench::PurgeBRun b = bench::runPurgeB(place, side_i == 0 ? plainStatements : statements, durable != 0);
      if (!b.ok) {
        std::printf("  ERROR: %s failed: %s\n", side, b.failure.c_str());
        allGood = false;
        break;
      }
      printTiming(side, b.timing);
      bTotal[side_i] = b.timing.total();
      if (side_i == 1)
        std::printf("    writeback left pending after the run (sync, untimed): A %.2f s, B %.2f s\n", pendingA,
                    timedSync());
      const bench::DatabaseCensus afterB = bench::takeCensus(place.database());
      sizeAfterB = fileSize(place.database());
      if (!reportLoss(side, before, afterB)) allGood = false;
      for (size_t i = 0; i < bench::kPurgedTables.size(); ++i) {
        if (afterA.tables[i] == afterB.tables[i]) continue;
        std::printf("  ERROR: %s: A and %s kept different rows (A %lld rows, %s %lld rows)\n", bench::kPurgedTables[i],
                    side, static_cast<long long>(afterA.tables[i].rows), side,
                    static_cast<long long>(afterB.tables[i].rows));
        allGood = false;
      }
    }
    if (!allGood) break;
    plainRatios.push_back(a.timing.total() / bTotal[0]);
    const double ratio = a.timing.total() / bTotal[1];
    ratios.push_back(ratio);
    durableRatios.push_back(a.timing.total() / bTotal[2]);
    std::printf("  ratio A/plain B %.3f, A/B %.3f, A/B' %.3f\n\n", plainRatios.back(), ratio, durableRatios.back());
    std::fflush(stdout);
  }

  std::printf("statements (as SQLite ran them in A; B and B' run the same):\n");
  for (const std::string& s : statements) std::printf("  %s\n", s.c_str());
  std::printf("statements of plain B:\n");
  for (const std::string& s : plainStatements) std::printf("  %s\n", s.c_str());
  if (!ratios.empty()) {
    std::printf("\nsummary\n");
    std::printf("  ratio A/plain B per pair:");
    for (double r : plainRatios) std::printf(" %.3f", r);
    std::printf("\n  median ratio A/plain B: %.3f (goal <= 1.05)\n", median(plainRatios));
    std::printf("  ratio A/B per pair:");
    for (double r : ratios) std::printf(" %.3f", r);
    std::printf("\n  median ratio A/B: %.3f (goal <= 1.10)\n", median(ratios));
    std::printf("  ratio A/B' per pair:");
    for (double r : durableRatios) std::printf(" %.3f", r);
    std::printf(
        "\n  median ratio A/B': %.3f (B' = B + integrity_check of the database and of the temporary file + sync after "
        "the copy back)\n",
        median(durableRatios));
    std::printf("  median ratio C/A: %.3f (C = the purge-database command line, its steps' times)\n",
                median(cliRatios));
    std::printf("  longest stretch of A without event processing per step (ms, goal <= 50):");
    for (size_t i = 0; i < bench::kStepNames.size(); ++i) std::printf(" %s %.0f", bench::kStepNames[i], longestGap[i]);
    std::printf("\n");
    std::printf(
        "  peak RSS of A: %.1f MiB (goal <= 64 MiB): ru_maxrss of the A child through wait4; its own VmHWM "
        "at exit %.1f MiB, %.1f MiB before its first step; the bench itself held %.1f MiB when forking\n",
        peakRss / 1024.0, endHighWater / 1024.0, startRss / 1024.0, benchRss / 1024.0);
    std::printf("  database size: before %lld bytes (%.1f MiB), after A %lld (%.1f MiB), after B %lld (%.1f MiB)\n",
                sizeBefore, mib(sizeBefore), sizeAfterA, mib(sizeAfterA), sizeAfterB, mib(sizeAfterB));
    std::printf("  rows lost:");
    long long lost = 0;
    for (size_t i = 0; i < bench::kPurgedTables.size(); ++i) {
      const long long n = before.tables[i].rows - afterA.tables[i].rows;
      lost += n;
      std::printf(" %s %lld of %lld;", bench::kPurgedTables[i], n, static_cast<long long>(before.tables[i].rows));
    }
    std::printf(" all %lld of %lld\n", lost, rowsBefore);
  }
  if (!aTotals.empty())
    std::printf(
        "\nsummary (A alone)\n  median A %.2f s, %.2f s per GiB; peak RSS of A %.1f MiB (goal <= 64 MiB); "
        "size before %lld bytes, after %lld\n",
        median(aTotals), median(aTotals) / (mib(sizeBefore) / 1024), peakRss / 1024.0, sizeBefore, sizeAfterA);
  std::printf("%s\n", !allGood ? "result: ERRORS above" : options.aOnly ? "result: A whole" : "result: A and B agree");

  if (!options.keep) QDir(QString::fromStdString(root)).removeRecursively();
  return allGood ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "--child-a") == 0) {
    QDate today, cutOff;
    for (int i = 2; i + 1 < argc; i += 2) {
      if (std::strcmp(argv[i], "--today") == 0)
        today = QDate::fromString(QString::fromLatin1(argv[i + 1]), Qt::ISODate);
      if (std::strcmp(argv[i], "--cutoff") == 0)
        cutOff = QDate::fromString(QString::fromLatin1(argv[i + 1]), Qt::ISODate);
    }
    if (!today.isValid() || !cutOff.isValid()) return 2;
    return bench::purgeAChildMain(argc, argv, today, cutOff);
  }
  QCoreApplication application(argc, argv);
  Options options;
  if (!parse(QCoreApplication::arguments().mid(1), options)) return usage();
  char self[4096];
  const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return 1;
  self[n] = '\0';
  return runBench(options, self);
}
