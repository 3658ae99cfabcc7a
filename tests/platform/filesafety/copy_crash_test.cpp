// A copy killed at any moment leaves the destination database either as it
// was or as the whole new file, never torn.
#include <unistd.h>

#include <gtest/gtest.h>
#include <QDir>
#include <QFileInfo>

#include "platform/filesafety/files.h"
#include "support/file_ops_support.h"
#include "support/sandbox.h"

namespace {

// Forks a child that copies `src` over `dst` and kills it with SIGKILL after
// `delayMs` (or lets it finish when it is quicker).
void copyAndKill(const QString& src, const QString& dst, int delayMs) {
  const test::KilledWork end = test::runAndKill([&] { return files::copyFile(src, dst).ok(); }, delayMs * 1000L);
  ASSERT_NE(end, test::KilledWork::kForkFailed);
  EXPECT_NE(end, test::KilledWork::kFinishedFailing) << "a finished copy succeeded";
}

TEST(CopyCrash, KilledCopyLeavesOldOrNewDatabaseWhole) {
  test::TempDir dir;
  const QString big = dir.file("compacted.mdb"), db = dir.file("kestrova.mdb");
  ASSERT_TRUE(test::makeContactsDb(big, 60000, 1000));  // about 64 MB
  ASSERT_TRUE(test::makeContactsDb(db, 50));
  const QByteArray newHash = test::fileHash(big);
  QByteArray oldHash = test::fileHash(db);
  const QString hiddenTemp = files::copyTempPath(db);

  int replaced = 0;
  for (int delay : {0, 1, 3, 8, 15, 30, 60, 120}) {
    if (test::fileHash(db) == newHash) {  // start each round from the small file again
      ASSERT_TRUE(QFile::remove(db));
      ASSERT_TRUE(test::makeContactsDb(db, 50 + delay));
      oldHash = test::fileHash(db);
    }
    copyAndKill(big, db, delay);
    const QByteArray now = test::fileHash(db);
    ASSERT_TRUE(now == oldHash || now == newHash) << "torn database after " << delay << " ms";
    if (now == newHash) ++replaced;
    EXPECT_EQ(test::queryText(db, "PRAGMA integrity_check"), QString("ok"));
    // Only our hidden temporary may remain, and only for the instant between
    // its link and its rename.
    const QStringList left = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& name : left)
      EXPECT_TRUE(name == "compacted.mdb" || name == "kestrova.mdb" || dir.file(name) == hiddenTemp)
          << name.toStdString();
  }

  // The next copy to the same destination clears any stale temporary.
  ASSERT_TRUE(files::copyFile(big, db).ok());
  EXPECT_EQ(test::fileHash(db), newHash);
  EXPECT_FALSE(QFileInfo::exists(hiddenTemp));
  RecordProperty("rounds_replaced", replaced);
}

}  // namespace
