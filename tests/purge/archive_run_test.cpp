// The archiving purge of the real purge-database binary: killed at random
// moments in both journal modes, every row of the pristine database stays in
// exactly one of the database and the archive, each table all or none; the
// undo puts the rows back beside the sales made since; a damaged archive or
// a link at its name is refused before anything is deleted.
//
// KESTROVA_ARCHIVE_KILLS sets the kills per journal mode (10 by default),
// KESTROVA_CRASH_SEED the seed of the kill moments (printed).
#include <gtest/gtest.h>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QThread>
#include <cstdio>
#include <random>

#include "platform/filesafety/run_lock.h"
#include "sampledb/sample_db.h"
#include "shop_state.h"
#include "support/file_ops_support.h"
#include "support/sandbox.h"

namespace {

const QDate kCutOff(2023, 1, 1);
const QString kCut = kCutOff.toString(Qt::ISODate);

struct Ran {
  int exit = -1;
  QString err;
};

class ArchiveRun : public ::testing::Test {
 protected:
  void SetUp() override {
    pristine = scratch.file(QStringLiteral("pristine.mdb"));
    ASSERT_EQ(sampledb::make(pristine, {.scale = 40, .seed = 20261207, .today = QDate(2026, 1, 15)}), QString());
    before = test::readShopState(pristine, kCutOff);
    for (const test::TableState& t : before.tables) ASSERT_GT(t.inScope, 0);
  }

  QString db() const { return folder.file(QStringLiteral("kestrova.mdb")); }
  QString archive() const { return folder.file(QStringLiteral("kvarchive.mdb")); }

  // The folder holding a copy of the pristine database only, in WAL mode
  // when `wal`.
  void freshDatabase(bool wal) {
    test::emptyFolder(folder.path());
    ASSERT_TRUE(QFile::copy(pristine, db()) && QFile::setPermissions(db(), QFile::ReadOwner | QFile::WriteOwner));
    ASSERT_TRUE(!wal || test::execSql(db(), "PRAGMA journal_mode=WAL"));
  }

  QStringList purgeArgs() const { return {"--database", db(), "--before", kCut, "--all", "--archive", "--quiet"}; }

  static Ran run(const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral(PURGE_DATABASE), args);
    Ran r;
    if (!p.waitForStarted(10000) || !p.waitForFinished(120000)) return r;
    r.exit = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
  }

  // Every pristine row in exactly one file, no row added, each table all
  // or none; the number of tables archived.
  int checkSplit(const std::string& where) {
    int archived = 0;
    for (int t = 0; t < test::kTableCount; ++t) {
      const char* table = test::kPurgeOrder[size_t(t)];
      const test::RowSplit s = test::rowSplit(pristine, db(), archive(), table);
      const long long scope = before.tables[size_t(t)].inScope;
      EXPECT_EQ(s.neither, 0) << where << ": rows of " << table << " lost";
      EXPECT_EQ(s.both, 0) << where << ": rows of " << table << " in both files";
      EXPECT_EQ(s.added, 0) << where << ": " << table;
      EXPECT_TRUE(s.archiveOnly == 0 || s.archiveOnly == scope)
          << where << ": " << table << " has " << s.archiveOnly << " of " << scope << " rows archived";
      archived += s.archiveOnly == scope ? 1 : 0;
    }
    return archived;
  }

  void killLoop(bool wal);

  test::TempDir scratch, folder;
  QString pristine;
  test::ShopState before;
};

void ArchiveRun::killLoop(bool wal) {
  freshDatabase(wal);
  QElapsedTimer clock;
  clock.start();
  ASSERT_EQ(run(purgeArgs()).exit, 0);
  const qint64 longest = clock.elapsed();
  ASSERT_EQ(checkSplit("uninterrupted run"), test::kTableCount);

  const int asked = qEnvironmentVariableIntValue("KESTROVA_ARCHIVE_KILLS");
  const int killCount = asked > 0 ? asked : 10;
  const unsigned seed = unsigned(qEnvironmentVariableIntValue("KESTROVA_CRASH_SEED"));
  const unsigned used = seed != 0 ? seed : unsigned(std::random_device{}());
  std::printf("archive kill loop: %d kills, seed %u, run of %lld ms\n", killCount, used, (long long)longest);
  std::mt19937 rng(used);
  std::uniform_int_distribution<qint64> delayUs(0, longest * 1000);
  for (int k = 1; k <= killCount && !HasFailure(); ++k) {
    freshDatabase(wal);
    const qint64 delay = delayUs(rng);
    const std::string where = QStringLiteral("kill %1 after %2 us (seed %3)").arg(k).arg(delay).arg(used).toStdString();
    QProcess child;
    child.start(QStringLiteral(PURGE_DATABASE), purgeArgs());
    ASSERT_TRUE(child.waitForStarted(10000));
    QThread::usleep(static_cast<unsigned long>(delay));
    child.kill();
    ASSERT_TRUE(child.waitForFinished(10000));
    // The undo's first act settles what the kill left in every table;
    // selecting no shipment, it changes nothing else.
    const Ran settle = run({"--database", db(), "--unarchive", "--before", "1900-01-01", "--shipments"});
    if (QFile::exists(archive())) {
      EXPECT_EQ(settle.exit, 0) << where << ": " << settle.err.toStdString();
    }
    checkSplit(where + ", settled");
    if (k % 3 == 0) {
      // A complete run on what the kill left archives every table.
      EXPECT_EQ(run(purgeArgs()).exit, 0) << where;
      EXPECT_EQ(checkSplit(where + ", then a complete run"), test::kTableCount);
    }
  }
}

TEST_F(ArchiveRun, KillsKeepEveryRowInOneFileInRollbackMode) { killLoop(false); }

TEST_F(ArchiveRun, KillsKeepEveryRowInOneFileInWalMode) { killLoop(true); }

// What a kill between the archive's commit and the database's leaves in WAL
// mode: the table's rows in both files, its mark still set. The next run
// removes the archive's copies first.
TEST_F(ArchiveRun, RowsLeftInBothFilesLoseTheirArchiveCopy) {
  freshDatabase(true);
  ASSERT_EQ(run(purgeArgs()).exit, 0);
  const QString put = QStringLiteral(
                          "ATTACH DATABASE '%1' AS a; INSERT INTO Payments SELECT ID, InvoiceNum, AcctNum, "
                          "PayType, Amount, [Date] FROM a.Payments; INSERT INTO a.ArchivePending "
                          "VALUES ('Payments');")
                          .arg(archive());
  ASSERT_TRUE(test::execSql(db(), put));
  ASSERT_GT(test::rowSplit(pristine, db(), archive(), "Payments").both, 0);
  ASSERT_EQ(run({"--database", db(), "--unarchive", "--before", "1900-01-01", "--shipments"}).exit, 0);
  const test::RowSplit s = test::rowSplit(pristine, db(), archive(), "Payments");
  EXPECT_EQ(s.both, 0);
  EXPECT_EQ(s.archiveOnly, 0);
  EXPECT_EQ(s.dbOnly, before.tables[2].rows);
  EXPECT_EQ(test::queryText(archive(), "SELECT count(*) FROM ArchivePending"), "0");
}

TEST_F(ArchiveRun, UnarchiveKeepsTheSalesMadeSince) {
  freshDatabase(false);
  ASSERT_EQ(run(purgeArgs()).exit, 0);
  ASSERT_TRUE(test::execSql(db(),
                            "INSERT INTO InvoiceNumbers(ID, InvoiceNum, AcctNum, Amount, [Date]) "
                            "VALUES (900001, 'NEW-1', 'Cash', 12.5, '2026-12-07');"
                            "INSERT INTO Payments(ID, InvoiceNum, AcctNum, PayType, Amount, [Date]) "
                            "VALUES (900001, 'NEW-1', 'Cash', 'Card', 12.5, '2026-12-07');"));
  const Ran undo = run({"--database", db(), "--unarchive", "--all-archived", "--json"});
  ASSERT_EQ(undo.exit, 0) << undo.err.toStdString();
  for (int t = 0; t < test::kTableCount; ++t) {
    const test::RowSplit s = test::rowSplit(pristine, db(), archive(), test::kPurgeOrder[size_t(t)]);
    EXPECT_EQ(s.dbOnly, before.tables[size_t(t)].rows) << test::kPurgeOrder[size_t(t)];
    EXPECT_EQ(s.added, t == 1 || t == 2 ? 1 : 0) << test::kPurgeOrder[size_t(t)];
  }
}

// A row whose ID a new row took stays in the archive, counted; the new row
// stays as it is.
TEST_F(ArchiveRun, UnarchiveRefusesARowWhoseIdIsTaken) {
  freshDatabase(false);
  ASSERT_EQ(run(purgeArgs()).exit, 0);
  const QString taken = test::queryText(archive(), "SELECT min(ID) FROM Manifest");
  ASSERT_TRUE(test::execSql(db(), QStringLiteral("INSERT INTO Manifest(ID, TrackingNum, [Date]) VALUES (%1, 'NEW', "
                                                 "'2026-12-07')")
                                      .arg(taken)));
  const Ran undo = run({"--database", db(), "--unarchive", "--all-archived", "--shipments"});
  ASSERT_EQ(undo.exit, 0) << undo.err.toStdString();
  EXPECT_TRUE(undo.err.contains("1 archived rows were not put back")) << undo.err.toStdString();
  EXPECT_EQ(test::queryText(db(), "SELECT TrackingNum FROM Manifest WHERE ID = " + taken), "NEW");
  EXPECT_EQ(test::queryText(archive(), "SELECT group_concat(ID) FROM Manifest"), taken);
}

// After a restore of the day's backup the archived rows are back in the
// database too; purging them again keeps one copy in the archive.
TEST_F(ArchiveRun, RowsArchivedAgainAreNotDuplicated) {
  freshDatabase(false);
  ASSERT_EQ(run(purgeArgs()).exit, 0);
  const QString backup = test::folderEntries(folder.path()).filter(QStringLiteral("kvbackup")).value(0);
  ASSERT_EQ(run({"--database", db(), "--restore", folder.file(backup)}).exit, 0);
  ASSERT_EQ(run(purgeArgs()).exit, 0);
  EXPECT_EQ(checkSplit("purged again after a restore"), test::kTableCount);
}

// The dry run reads a WAL archive without making its -wal or -shm.
TEST_F(ArchiveRun, DryRunLeavesTheFolderAsItWas) {
  freshDatabase(true);
  ASSERT_EQ(run(purgeArgs()).exit, 0);
  const std::string files = test::folderEntries(folder.path()).join(' ').toStdString();
  EXPECT_EQ(run(purgeArgs() << "--dry-run").exit, 0);
  EXPECT_EQ(test::folderEntries(folder.path()).join(' ').toStdString(), files);
}

TEST_F(ArchiveRun, DamagedArchiveIsRefusedBeforeAnyDelete) {
  freshDatabase(false);
  ASSERT_EQ(run(purgeArgs()).exit, 0);
  ASSERT_TRUE(test::execSql(db(), "INSERT INTO Manifest(ID, [Date]) VALUES (900002, '2001-01-01')"));
  const QByteArray dbHash = test::fileHash(db());
  // A page of the archive overwritten in the middle of the file.
  QFile f(archive());
  ASSERT_TRUE(f.open(QIODevice::ReadWrite) && f.seek(f.size() / 2 / 4096 * 4096) && f.write(QByteArray(4096, 'Z')));
  f.close();
  // The dry run judges the archive as the run does.
  const Ran dry = run(purgeArgs() << "--dry-run");
  EXPECT_EQ(dry.exit, 1);
  EXPECT_TRUE(dry.err.contains("fails its check")) << dry.err.toStdString();
  const Ran r = run(purgeArgs());
  EXPECT_EQ(r.exit, 1);
  EXPECT_TRUE(r.err.contains("archive")) << r.err.toStdString();
  EXPECT_EQ(test::fileHash(db()), dbHash) << "rows were deleted beside a damaged archive";
}

// Two databases sharing one archive take turns with it: while another run
// holds the archive's folder, a run refuses before changing anything.
TEST_F(ArchiveRun, ArchiveInAnotherFolderIsTakenInTurns) {
  freshDatabase(false);
  test::TempDir shared;
  runlock::RunLock other;
  ASSERT_TRUE(other.acquire(shared.file(QStringLiteral("kestrova.mdb"))).ok());
  const QByteArray dbHash = test::fileHash(db());
  const Ran r = run(purgeArgs() << "--archive-file" << shared.file(QStringLiteral("kvarchive.mdb")));
  EXPECT_EQ(r.exit, 3) << r.err.toStdString();
  EXPECT_EQ(test::fileHash(db()), dbHash);
}

TEST_F(ArchiveRun, LinkAtTheArchiveNameIsRefused) {
  freshDatabase(false);
  const QString elsewhere = scratch.file(QStringLiteral("elsewhere.mdb"));
  ASSERT_TRUE(QFile::link(elsewhere, archive()));
  const QByteArray dbHash = test::fileHash(db());
  const Ran r = run(purgeArgs());
  EXPECT_EQ(r.exit, 1);
  EXPECT_TRUE(r.err.contains("is a link")) << r.err.toStdString();
  EXPECT_EQ(test::fileHash(db()), dbHash);
  EXPECT_FALSE(QFile::exists(elsewhere));
}

}  // namespace
