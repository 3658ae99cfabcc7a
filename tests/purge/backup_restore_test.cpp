// Restores that matter: the day's backup of a real purge run brings back
// every row, a restore killed at any moment leaves the old database or the
// backup's copy, whole, a writer's commits are never lost to a restore, and
// the kept copy stays the shop's when root restores.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <set>

#include <gtest/gtest.h>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include "purge/backup_store.h"
#include "purge_run_support.h"
#include "sampledb/sample_db.h"
#include "shop_state.h"
#include "support/file_ops_support.h"
#include "support/sandbox.h"
#include "support/shop_db.h"

namespace {

const QDate kToday(2026, 1, 15);
const QDateTime kNow(kToday, QTime(18, 0));

TEST(RestoreAfterPurge, TheDaysBackupBringsBackEveryRow) {
  const QDate cutOff(2023, 1, 1);
  const QString folder = test::drivePath(QString());
  test::emptyFolder(folder);
  const QString db = folder + QStringLiteral("kestrova.mdb");
  ASSERT_EQ(sampledb::make(db, {.scale = 20, .seed = 99, .today = kToday}), QString());
  const QByteArray original = test::fileHash(db);
  const test::ShopState before = test::readShopState(db, cutOff);

  ASSERT_TRUE(test::runPurgeChild(test::fullRunArgs(cutOff, kToday)).endsWith("done\n"));
  const test::ShopState purged = test::readShopState(db, cutOff);
  for (int t = 0; t < test::kTableCount; ++t) {
    ASSERT_GT(before.tables[size_t(t)].inScope, 0) << test::kPurgeOrder[size_t(t)];
    ASSERT_EQ(purged.tables[size_t(t)].inScope, 0) << test::kPurgeOrder[size_t(t)];
  }

  const backups::RestoreResult r = backups::restore(db, QStringLiteral("15012026"), kNow);
  ASSERT_EQ(r.outcome, backups::Outcome::Restored) << r.status.description().toStdString();
  EXPECT_EQ(test::fileHash(db), original) << "the database is byte for byte as before the purge";
  const test::ShopState restored = test::readShopState(db, cutOff);
  EXPECT_EQ(restored.integrity, QStringLiteral("ok"));
  for (int t = 0; t < test::kTableCount; ++t) {
    EXPECT_EQ(restored.tables[size_t(t)].rows, before.tables[size_t(t)].rows) << test::kPurgeOrder[size_t(t)];
    EXPECT_EQ(restored.tables[size_t(t)].keptHash, before.tables[size_t(t)].keptHash);
  }
  // The purged database is kept, as the purge left it.
  EXPECT_EQ(test::readShopState(r.kept, cutOff).tables[0].rows, purged.tables[0].rows);
  test::emptyFolder(folder);
}

// Forks a child that restores the backup of 1 December 2026 over `db` and
// kills it with SIGKILL after `delayUs` (or lets it finish when quicker).
void restoreAndKill(const QString& db, long delayUs) {
  const test::KilledWork end = test::runAndKill(
      [&] { return backups::restore(db, "01122026", kNow).outcome == backups::Outcome::Restored; }, delayUs);
  ASSERT_NE(end, test::KilledWork::kForkFailed);
  EXPECT_NE(end, test::KilledWork::kFinishedFailing) << "a finished restore succeeded";
}

TEST(RestoreCrash, KilledRestoreLeavesTheOldDatabaseOrTheBackupWhole) {
  test::TempDir dir;
  const QString db = dir.file("kestrova.mdb"), backup = dir.file("kvbackup01122026.mdb");
  const QString pristine = dir.file("pristine.copy");
  ASSERT_TRUE(test::makeShopCopy(backup, 20000, 1000));  // about 22 MB
  ASSERT_TRUE(test::makeShopCopy(db, 50));
  ASSERT_TRUE(QFile::copy(db, pristine));
  const QByteArray oldHash = test::fileHash(db), newHash = test::fileHash(backup);
  auto reset = [&] {
    QDir folder(dir.path());
    for (const QString& name : test::folderEntries(dir.path()))
      if (name.startsWith("kvbeforerestore") || name.startsWith(".")) folder.remove(name);
    if (test::fileHash(db) != oldHash) {
      ASSERT_TRUE(QFile::remove(db) && QFile::copy(pristine, db));
    }
  };

  // One whole restore, to spread the kills over its length.
  QElapsedTimer timer;
  timer.start();
  ASSERT_EQ(backups::restore(db, "01122026", kNow).outcome, backups::Outcome::Restored);
  const double wholeUs = double(timer.nsecsElapsed()) / 1000.0;
  reset();

  int replaced = 0;
  for (double fraction : {0.0, 0.05, 0.15, 0.3, 0.5, 0.7, 0.85, 1.0, 1.5}) {
    restoreAndKill(db, long(fraction * wholeUs));
    const QByteArray now = test::fileHash(db);
    ASSERT_TRUE(now == oldHash || now == newHash) << "torn database at " << fraction;
    if (now == newHash) ++replaced;
    EXPECT_EQ(test::queryText(db, "PRAGMA integrity_check"), QStringLiteral("ok"));
    EXPECT_EQ(test::fileHash(backup), newHash);
    for (const QString& name : test::folderEntries(dir.path())) {
      if (name.startsWith("kvbeforerestore")) {
        EXPECT_EQ(test::fileHash(dir.file(name)), oldHash) << "a kept copy is whole";
      } else {
        EXPECT_TRUE(name == "kestrova.mdb" || name == "kvbackup01122026.mdb" || name == "pristine.copy" ||
                    name.endsWith(".kvcopy"))
            << name.toStdString();
      }
    }
    reset();
  }
  RecordProperty("rounds_replaced", replaced);
}

TEST(RestoreAsRoot, TheKeptCopyIsTheDatabaseOwners) {
  if (::geteuid() != 0) GTEST_SKIP() << "only root can give a file to another user";
  test::TempDir dir;
  const QString db = dir.file("kestrova.mdb");
  ASSERT_TRUE(test::makeShopCopy(db, 30));
  ASSERT_TRUE(test::makeShopCopy(dir.file("kvbackup01122026.mdb"), 3));
  ASSERT_EQ(::chown(QFile::encodeName(db).constData(), 65534, 100), 0);
  ASSERT_EQ(::chmod(QFile::encodeName(db).constData(), 0604), 0);
  const backups::RestoreResult r = backups::restore(db, "01122026", kNow);
  ASSERT_EQ(r.outcome, backups::Outcome::Restored) << r.status.description().toStdString();
  for (const QString& path : {r.kept, db}) {
    struct stat st = {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
    EXPECT_EQ(st.st_uid, 65534u) << path.toStdString();
    EXPECT_EQ(st.st_gid, 100u) << path.toStdString();
    EXPECT_EQ(st.st_mode & 07777, 0604u) << path.toStdString();
  }
}

// A shop application in WAL mode that commits a row at a time, each on a
// short connection (as the shop's program does), in a child of its own; it
// writes the ID of each row to `report` once its commit has returned.
pid_t startWalWriter(const QString& db, int reportFd, int rows) {
  const QByteArray path = QFile::encodeName(db);
  const pid_t pid = ::fork();
  if (pid != 0) return pid;
  for (int id = 100001; id <= 100000 + rows; ++id) {
    sqlite3* c = nullptr;
    bool done = false;
    if (sqlite3_open(path.constData(), &c) == SQLITE_OK) {
      sqlite3_busy_timeout(c, 5000);
      sqlite3_exec(c, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);  // a restored file too
      const QByteArray sql =
          "INSERT INTO Contacts(ID, Name, [Date]) VALUES(" + QByteArray::number(id) + ", 'w', '2026-01-15')";
      done = sqlite3_exec(c, sql.constData(), nullptr, nullptr, nullptr) == SQLITE_OK;
    }
    sqlite3_close(c);
    if (done && ::write(reportFd, &id, sizeof id) != ssize_t(sizeof id)) ::_exit(2);
    ::usleep(useconds_t(id * 7919 % 15000));  // 0 to 15 ms, as a counter's commits come
  }
  ::_exit(0);
}

TEST(RestoreWal, NoCommitOfAWriterIsLost) {
  test::TempDir dir;
  const QString db = dir.file("kestrova.mdb"), backup = dir.file("kvbackup01122026.mdb");
  ASSERT_TRUE(test::makeShopCopy(backup, 10));
  ASSERT_TRUE(test::makeShopCopy(db, 10));
  ASSERT_TRUE(test::execSql(db, "PRAGMA journal_mode=WAL"));
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  const pid_t writer = startWalWriter(db, fds[1], 300);
  ASSERT_GT(writer, 0);
  ::close(fds[1]);

  // Restores, one after another, for as long as the writer writes.
  QStringList kept;
  int restored = 0, refused = 0, status = -1;
  pid_t ended = 0;
  for (int round = 0; round < 400 && (ended = ::waitpid(writer, &status, WNOHANG)) == 0; ++round) {
    const backups::RestoreResult r = backups::restore(db, "01122026", kNow.addSecs(round));
    if (r.outcome == backups::Outcome::Restored) {
      ++restored;
      if (!r.kept.isEmpty()) kept << r.kept;
    } else {
      ASSERT_EQ(r.outcome, backups::Outcome::InUse) << r.status.description().toStdString();
      EXPECT_TRUE(r.kept.isEmpty());
      ++refused;
    }
    ::usleep(2000);
  }
  if (ended == 0) ended = ::waitpid(writer, &status, 0);
  ASSERT_EQ(ended, writer);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  std::set<int> committed;
  for (int id; ::read(fds[0], &id, sizeof id) == ssize_t(sizeof id);) committed.insert(id);
  ::close(fds[0]);

  std::set<int> found;
  for (const QString& file : QStringList{db} + kept)
    for (const QString& id : test::sqlColumn(file, "SELECT ID FROM Contacts WHERE ID > 100000"))
      found.insert(id.toInt());
  int lost = 0;
  for (int id : committed) lost += found.count(id) ? 0 : 1;
  EXPECT_EQ(lost, 0) << "of " << committed.size() << " commits; " << restored << " restores, " << refused << " refused";
  EXPECT_GT(committed.size(), 0u);
  EXPECT_GT(restored, 0) << "no restore ran while the writer wrote";
  RecordProperty("restores", restored);
  RecordProperty("refused", refused);
  RecordProperty("commits", int(committed.size()));
}

}  // namespace
