// Restores that matter: the day's backup of a real purge run brings back
// every row, and a restore killed at any moment leaves the old database or
// the backup's copy, whole.
#include <unistd.h>

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
    EXPECT_EQ(restored.tables[size_t(t)].rows, before.tables[size_t(t)].rows)
        << test::kPurgeOrder[size_t(t)];
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
  ASSERT_TRUE(test::makeContactsDb(backup, 20000, 1000));  // about 22 MB
  ASSERT_TRUE(test::makeContactsDb(db, 50));
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
        EXPECT_TRUE(name == "kestrova.mdb" || name == "kvbackup01122026.mdb" ||
                    name == "pristine.copy" || name.endsWith(".kvcopy"))
            << name.toStdString();
      }
    }
    reset();
  }
  RecordProperty("rounds_replaced", replaced);
}

}  // namespace
