// A full purge run killed at random moments: after every kill the database
// is whole, each table has all or none of its deletions, the rows to keep
// are all there, the backup is absent or a complete copy, and a run started
// afresh on what was left finishes and cleans up.
//
// KESTROVA_CRASH_KILLS sets the number of kills (25 by default; the test
// registered as CrashLoop.TwoHundredKills runs 200), KESTROVA_CRASH_SEED the
// seed of the kill moments (printed, so a failing run can be replayed).
#include <gtest/gtest.h>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <map>
#include <random>

#include "purge_run_support.h"
#include "sampledb/sample_db.h"
#include "shop_state.h"
#include "support/file_ops_support.h"
#include "support/sandbox.h"

namespace {

const QDate kToday(2026, 1, 15);
const QDate kCutOff(2023, 1, 1);
const QString kDb = QStringLiteral("kestrova.mdb");
const QString kBackup = QStringLiteral("kvbackup15012026.mdb");
const QString kTemp = QStringLiteral("kvTemp.mdb");
using test::kSuccess;
// Rows enough for a run of about half a second.
constexpr double kScale = 120;
// A complete run on the state a kill left, after every this many kills.
constexpr int kRecoverEvery = 5;

std::string names(const QStringList& list) { return list.join(QStringLiteral(", ")).toStdString(); }

int envNumber(const char* name, int fallback) {
  bool ok = false;
  const int v = qEnvironmentVariableIntValue(name, &ok);
  return ok && v > 0 ? v : fallback;
}

class CrashLoop : public ::testing::Test {
 protected:
  void SetUp() override {
    folder = test::drivePath(QString());
    test::emptyFolder(folder);
    pristine = scratch.file(QStringLiteral("pristine.mdb"));
    ASSERT_EQ(sampledb::make(pristine, {.scale = kScale, .seed = 20260115, .today = kToday}), QString());
    pristineHash = test::fileHash(pristine);
    before = test::readShopState(pristine, kCutOff);
    ASSERT_EQ(before.integrity, QStringLiteral("ok"));
    for (const test::TableState& t : before.tables) {
      // Every table must have rows on both sides of the cut-off, or "all or
      // none" could not tell a purged table from an untouched one.
      ASSERT_GT(t.inScope, 0);
      ASSERT_LT(t.inScope, t.rows);
    }
  }

  // The database folder holding a byte copy of the pristine database only.
  void restorePristine() {
    test::emptyFolder(folder);
    ASSERT_TRUE(QFile::copy(pristine, db()));
    QFile::setPermissions(db(), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
  }

  QString db() const { return folder + kDb; }

  // Checks the table states of `now` against the pristine database; the
  // number of tables purged, or -1 (with failures added) when a table is
  // neither untouched nor exactly purged or the purged ones are not the
  // first ones of the run's order.
  int purgedTables(const test::ShopState& now, const QString& where) {
    const int failuresBefore = failures();
    int purged = 0;
    bool gap = false;
    for (int t = 0; t < test::kTableCount; ++t) {
      const test::TableState& was = before.tables[size_t(t)];
      const test::TableState& is = now.tables[size_t(t)];
      const char* table = test::kPurgeOrder[size_t(t)];
      EXPECT_EQ(is.keptHash, was.keptHash) << where.toStdString() << ": rows to keep changed in " << table;
      // The purges only delete: with the rows to keep unchanged, the count
      // of rows in scope tells an untouched table from a purged one.
      if (is.inScope == was.inScope && is.rows == was.rows) {
        gap = true;
        continue;
      }
      EXPECT_EQ(is.inScope, 0) << where.toStdString() << ": " << table << " is neither untouched nor purged";
      EXPECT_EQ(is.rows, was.rows - was.inScope) << where.toStdString() << ": " << table;
      EXPECT_FALSE(gap) << where.toStdString() << ": " << table << " purged after an earlier table was not";
      ++purged;
    }
    return failures() != failuresBefore ? -1 : purged;
  }

  static int failures() {
    const ::testing::TestResult* r = ::testing::UnitTest::GetInstance()->current_test_info()->result();
    int n = 0;
    for (int i = 0; i < r->total_part_count(); ++i) n += r->GetTestPartResult(i).failed() ? 1 : 0;
    return n;
  }

  test::TempDir scratch;
  QString folder, pristine;
  QByteArray pristineHash;
  test::ShopState before;
};

// Names a kill may leave in the database folder. Besides the database, the
// day's backup and the fixed compaction temporary, SQLite's own journal of
// the database may remain (SQLite rolls it back on the next open), and in
// theory the hidden temporary of a copy, ".<name>.kvcopy", in the instant
// between its link into the folder and its rename: it is already a complete,
// flushed copy, hidden from the file routines, and the next copy to the same
// destination removes it, so it is allowed here and must be gone after a
// complete run.
bool mayRemainAfterKill(const QString& name) {
  static const QStringList allowed = {kDb,
                                      kDb + QStringLiteral("-journal"),
                                      kBackup,
                                      kTemp,
                                      QLatin1Char('.') + kDb + QStringLiteral(".kvcopy"),
                                      QLatin1Char('.') + kBackup + QStringLiteral(".kvcopy")};
  return allowed.contains(name);
}

TEST_F(CrashLoop, KillsAtRandomMoments) {
  // Uninterrupted runs: their length spreads the kills, their result is the
  // state every table must reach.
  qint64 longest = 0;
  for (int i = 0; i < 2; ++i) {
    restorePristine();
    QElapsedTimer clock;
    clock.start();
    const QString out = test::runPurgeChild(test::fullRunArgs(kCutOff, kToday));
    longest = std::max(longest, clock.elapsed());
    ASSERT_TRUE(out.contains(kSuccess)) << out.toStdString();
    ASSERT_EQ(names(test::folderEntries(folder)), names({kDb, kBackup}));
    EXPECT_EQ(test::fileHash(folder + kBackup), pristineHash);
    const test::ShopState after = test::readShopState(db(), kCutOff);
    ASSERT_EQ(after.integrity, QStringLiteral("ok"));
    ASSERT_EQ(purgedTables(after, QStringLiteral("uninterrupted run")), test::kTableCount);
    EXPECT_LT(QFileInfo(db()).size(), QFileInfo(pristine).size()) << "the run did not compact";
  }

  const int kills = envNumber("KESTROVA_CRASH_KILLS", 25);
  const unsigned seed = unsigned(envNumber("KESTROVA_CRASH_SEED", int(std::random_device{}() & 0x7fffffff)));
  std::printf("crash loop: %d kills, seed %u (KESTROVA_CRASH_SEED), run of %lld ms\n", kills, seed,
              static_cast<long long>(longest));
  std::mt19937 rng(seed);
  std::uniform_int_distribution<qint64> delayUs(0, longest * 1100);

  std::map<QString, int> outcomes;
  int survived = 0, recoveries = 0;
  restorePristine();
  for (int k = 1; k <= kills && !HasFailure(); ++k) {
    // Every round starts from the pristine file with no backup of the day.
    const qint64 delay = delayUs(rng);
    const QString where = QStringLiteral("kill %1 after %2 us (seed %3)").arg(k).arg(delay).arg(seed);
    QProcess child;
    child.start(QStringLiteral(PURGE_RUN_CHILD), test::fullRunArgs(kCutOff, kToday));
    ASSERT_TRUE(child.waitForStarted(10000));
    QThread::usleep(static_cast<unsigned long>(delay));
    const bool finishedFirst = child.state() == QProcess::NotRunning;
    child.kill();
    ASSERT_TRUE(child.waitForFinished(10000));

    // Files left, looked at before anything opens the database.
    const QStringList left = test::folderEntries(folder);
    for (const QString& name : left) {
      EXPECT_TRUE(mayRemainAfterKill(name)) << where.toStdString() << ": left " << name.toStdString();
    }
    ASSERT_TRUE(left.contains(kDb)) << where.toStdString();
    for (const QString& name : left) {
      if (name.endsWith(QLatin1String(".kvcopy"))) {
        EXPECT_EQ(test::readShopState(folder + name, kCutOff).integrity, QStringLiteral("ok"))
            << where.toStdString() << ": " << name.toStdString() << " is not a whole copy";
      }
    }

    const test::ShopState now = test::readShopState(db(), kCutOff);
    ASSERT_TRUE(now.opened) << where.toStdString();
    EXPECT_EQ(now.integrity, QStringLiteral("ok")) << where.toStdString();
    const int purged = purgedTables(now, where);
    // Opening the database rolled a hot journal back and removed it. A kill
    // before the journal was flushed leaves one whose header is still zero:
    // SQLite never plays that back (the database file was not yet written)
    // and overwrites it with the next transaction.
    const QByteArray journal = test::readFile(db() + QStringLiteral("-journal"));
    EXPECT_TRUE(journal.isEmpty() || journal.at(0) == 0) << where.toStdString() << ": journal still hot";

    const bool backedUp = QFileInfo::exists(folder + kBackup);
    if (backedUp) {
      EXPECT_EQ(test::fileHash(folder + kBackup), pristineHash) << where.toStdString() << ": backup torn";
    }
    if (purged > 0) {
      EXPECT_TRUE(backedUp) << where.toStdString() << ": rows deleted without a backup";
    }

    QString outcome = finishedFirst                ? QStringLiteral("run finished")
                      : !backedUp                  ? QStringLiteral("before backup")
                      : purged < test::kTableCount ? QStringLiteral("%1 of 5 tables purged").arg(purged)
                      : QFileInfo(db()).size() < QFileInfo(pristine).size() ? QStringLiteral("compacted")
                                                                            : QStringLiteral("purged, not compacted");
    if (left.contains(kTemp)) outcome += QStringLiteral(", kvTemp left");
    ++outcomes[outcome];
    if (HasFailure()) break;
    ++survived;

    if (k % kRecoverEvery == 0 || k == kills) {
      // The operator presses Purge again on what the kill left: the same day
      // (the day's backup, if made, is kept), or the next day (a new backup
      // of the database as the kill left it).
      const bool nextDay = recoveries % 2 == 1;
      const QString dayBackup = nextDay ? QStringLiteral("kvbackup16012026.mdb") : kBackup;
      const QByteArray leftHash = test::fileHash(db());
      const QString then = where + (nextDay ? QStringLiteral(", then a complete run the next day")
                                            : QStringLiteral(", then a complete run"));
      const QString out = test::runPurgeChild(test::fullRunArgs(kCutOff, nextDay ? kToday.addDays(1) : kToday));
      EXPECT_TRUE(out.contains(kSuccess)) << then.toStdString() << ": " << out.toStdString();
      QStringList expected = {kDb, kBackup};
      if (nextDay) {
        expected = QStringList{kDb, dayBackup};
        if (backedUp) expected << kBackup;
        expected.sort();
        EXPECT_EQ(test::fileHash(folder + dayBackup), leftHash) << then.toStdString();
      }
      EXPECT_EQ(names(test::folderEntries(folder)), names(expected)) << then.toStdString();
      const test::ShopState done = test::readShopState(db(), kCutOff);
      EXPECT_EQ(done.integrity, QStringLiteral("ok"));
      EXPECT_EQ(purgedTables(done, then), test::kTableCount);
      if (backedUp || !nextDay) {
        EXPECT_EQ(test::fileHash(folder + kBackup), pristineHash) << then.toStdString();
      }
      ++recoveries;
    }
    restorePristine();
  }
  for (const auto& [outcome, count] : outcomes) std::printf("  %4d  %s\n", count, qPrintable(outcome));
  std::printf("crash loop: %d of %d kills survived, %d complete runs after a kill\n", survived, kills, recoveries);
  EXPECT_EQ(survived, kills);
}

// A purge killed before its journal was flushed leaves a journal whose header
// is still zero beside the database. SQLite never plays it back, so the
// database is whole: the next day's run backs it up, purges and compacts
// instead of calling the file in use. (A writer that keeps its journal after
// commit leaves the same kind of journal; it is made that way here.)
TEST_F(CrashLoop, JournalNeverFlushedDoesNotBlockTheNextRun) {
  restorePristine();
  ASSERT_TRUE(test::execSql(db(), "PRAGMA journal_mode=PERSIST; UPDATE Setup SET ShopName = ShopName || ' ';"));
  const QByteArray journal = test::readFile(db() + QStringLiteral("-journal"));
  ASSERT_FALSE(journal.isEmpty());
  ASSERT_EQ(journal.at(0), 0);
  const QByteArray dbHash = test::fileHash(db());

  const QString out = test::runPurgeChild(test::fullRunArgs(kCutOff, kToday));
  EXPECT_TRUE(out.contains(kSuccess)) << out.toStdString();
  EXPECT_EQ(test::fileHash(folder + kBackup), dbHash);
  const test::ShopState after = test::readShopState(db(), kCutOff);
  EXPECT_EQ(after.integrity, QStringLiteral("ok"));
  EXPECT_EQ(purgedTables(after, QStringLiteral("after the run")), test::kTableCount);
  // The purges' own commits removed the old journal.
  EXPECT_EQ(names(test::folderEntries(folder)), names({kDb, kBackup}));
}

}  // namespace
