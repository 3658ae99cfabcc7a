// Backup and compaction of the database file in the sandbox drive: the
// day's backup, the temporary file's life, and refusals that change nothing.
#include <sys/mount.h>
#include <sys/stat.h>

#include <cerrno>

#include <gtest/gtest.h>
#include <QDir>
#include <QFileInfo>
#include <QLabel>

#include "platform/core/clock.h"
#include "platform/core/locale_dates.h"
#include "purge/forms_.h"
#include "purge/frm_please_wait.h"
#include "purge/purge_db_files.h"
#include "purge/purge_sequence.h"
#include "support/file_ops_support.h"
#include "support/recording_presenter.h"
#include "support/sandbox.h"
#include "support/shop_db.h"

namespace {

const QString kDbPath = QStringLiteral("C:\\kestrova\\kestrova.mdb");
const QString kTempPath = QStringLiteral("c:\\kestrova\\kvTemp.mdb");
const QString kInUse = QStringLiteral("The file is in use by another program.");
const QString kBackupHeader =
    QStringLiteral("Please close the 'Kestrova.mdb' database file and all the programs that might use it...");

QString drive(const QString& name) { return qEnvironmentVariable("KESTROVA_DRIVE_C") + "/kestrova/" + name; }

// The backup path the purge run builds for today.
QString todaysBackupPath() {
  return QStringLiteral("C:\\kestrova\\kvbackup") + sysclock::today().toString("ddMMyyyy") + QStringLiteral(".mdb");
}

// The clock stays set until the fixture's TearDown puts the real one back.
void setToday(int y, int m, int d) {
  const QDateTime at(QDate(y, m, d), QTime(10, 0));
  sysclock::setClock([at] { return at; });
}

QString contacts(const QString& db) { return test::queryText(db, "SELECT count(*) FROM Contacts"); }

class DatabaseFile : public ::testing::Test {
 protected:
  void SetUp() override {
    QDir(drive("")).removeRecursively();
    ASSERT_TRUE(QDir().mkpath(drive("")));
    ASSERT_TRUE(test::makeContactsDb(drive("kestrova.mdb"), 2000));
  }
  void TearDown() override {
    sysclock::setClock({});
    UnloadPleaseWait();
    ::chmod(QFile::encodeName(drive("kvTemp.mdb")).constData(), 0644);
  }
  // Names in the database folder, hidden ones included.
  QStringList folder() const {
    return QDir(drive("")).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
  }
};

TEST_F(DatabaseFile, OneBackupPerDayAndEarlierDaysKept) {
  test::RecordingPresenter rec(true);
  setToday(2004, 3, 5);
  ASSERT_EQ(todaysBackupPath(), QString("C:\\kestrova\\kvbackup05032004.mdb"));
  EXPECT_FALSE(BackupExists(todaysBackupPath()));
  QString desc;
  int32_t num = 0;
  ASSERT_TRUE(BackupDB(kDbPath, todaysBackupPath(), desc, num));
  EXPECT_EQ(num, 0);
  EXPECT_TRUE(desc.isEmpty());
  EXPECT_TRUE(BackupExists(todaysBackupPath())) << "a second run of the day makes no backup";
  EXPECT_EQ(test::fileHash(drive("kvbackup05032004.mdb")), test::fileHash(drive("kestrova.mdb")));
  const QByteArray firstDay = test::fileHash(drive("kvbackup05032004.mdb"));

  ASSERT_TRUE(test::execSql(drive("kestrova.mdb"), "DELETE FROM Contacts WHERE ID < 100"));
  setToday(2004, 3, 6);
  EXPECT_FALSE(BackupExists(todaysBackupPath()));
  ASSERT_TRUE(BackupDB(kDbPath, todaysBackupPath(), desc, num));
  EXPECT_EQ(contacts(drive("kvbackup06032004.mdb")), QString("1901"));
  EXPECT_EQ(test::fileHash(drive("kvbackup05032004.mdb")), firstDay);
  EXPECT_EQ(folder(), QStringList({"kestrova.mdb", "kvbackup05032004.mdb", "kvbackup06032004.mdb"}));
  EXPECT_TRUE(rec.boxes.empty());
}

TEST_F(DatabaseFile, BackupNamesItsStepInTheProgressWindow) {
  setToday(2004, 3, 5);
  test::RecordingPresenter rec(true);
  QString desc;
  int32_t num = 0;
  ASSERT_TRUE(BackupDB(kDbPath, todaysBackupPath(), desc, num));
  ASSERT_NE(PleaseWait(), nullptr) << "the run unloads the window, not the backup";
  EXPECT_EQ(PleaseWait()->lblProcessing->text(), QString("backing up kestrova.mdb databse..."));
  EXPECT_TRUE(PleaseWait()->isVisible());
}

TEST_F(DatabaseFile, BackupFailureShowsTheWarningAndMakesNoFile) {
  setToday(2004, 3, 5);
  ASSERT_TRUE(QFile::remove(drive("kestrova.mdb")));
  test::RecordingPresenter rec(true);
  QString desc;
  int32_t num = 0;
  EXPECT_FALSE(BackupDB(kDbPath, todaysBackupPath(), desc, num));
  EXPECT_EQ(num, ENOENT);
  ASSERT_EQ(rec.boxes.size(), 1u);
  EXPECT_EQ(rec.boxes[0].prompt, kBackupHeader + "\r\rThe following error has occurred:\r" + desc);
  EXPECT_EQ(rec.boxes[0].style, 48);
  EXPECT_EQ(rec.boxes[0].title, QString("Process has failed !"));
  EXPECT_FALSE(BackupExists(todaysBackupPath()));
}

// The shop application writing the database: the backup refuses with the
// warning, the compaction refuses silently, and nothing is changed.
TEST_F(DatabaseFile, DatabaseWrittenByAnotherProgramIsLeftAlone) {
  setToday(2004, 3, 5);
  const QByteArray before = test::fileHash(drive("kestrova.mdb"));
  test::OpenFileChild shop(drive("kestrova.mdb"));
  ASSERT_TRUE(shop.ready());
  test::RecordingPresenter rec(true);

  QString desc;
  int32_t num = 0;
  EXPECT_FALSE(BackupDB(kDbPath, todaysBackupPath(), desc, num));
  EXPECT_EQ(num, EBUSY);
  EXPECT_EQ(desc, kInUse);
  ASSERT_EQ(rec.boxes.size(), 1u);
  EXPECT_EQ(rec.boxes[0].prompt, kBackupHeader + "\r\rThe following error has occurred:\r" + kInUse);
  EXPECT_EQ(rec.boxes[0].style, 48);

  desc.clear();
  num = 0;
  EXPECT_FALSE(CompactDB(kDbPath, desc, num));
  EXPECT_EQ(num, EBUSY);
  EXPECT_EQ(desc, kInUse);
  EXPECT_EQ(rec.boxes.size(), 1u) << "the compaction shows nothing";
  EXPECT_EQ(test::fileHash(drive("kestrova.mdb")), before);
  EXPECT_EQ(folder(), QStringList({"kestrova.mdb"}));
}

TEST_F(DatabaseFile, CompactionShrinksTheDatabaseAndRemovesTheTemporaryFile) {
  const QString db = drive("kestrova.mdb");
  ASSERT_TRUE(test::execSql(db, "DELETE FROM Contacts WHERE [Date] < '2004-03-05'"));
  const QString rows = test::queryText(db, "SELECT group_concat(ID || '|' || Name || '|' || [Date]) FROM Contacts");
  const qint64 sizeBefore = QFileInfo(db).size();
  ASSERT_TRUE(test::writeFile(drive("kvTemp.mdb"), "leftover of a failed run"));
  test::RecordingPresenter rec(true);

  QString desc;
  int32_t num = 0;
  ASSERT_TRUE(CompactDB(kDbPath, desc, num)) << desc.toStdString();
  EXPECT_EQ(num, 0);
  EXPECT_TRUE(desc.isEmpty());
  EXPECT_TRUE(rec.boxes.empty()) << "the leftover is removed silently";
  EXPECT_EQ(folder(), QStringList({"kestrova.mdb"}));
  EXPECT_LT(QFileInfo(db).size(), sizeBefore * 2 / 3);
  EXPECT_EQ(test::queryText(db, "SELECT group_concat(ID || '|' || Name || '|' || [Date]) FROM Contacts"), rows);
  EXPECT_EQ(contacts(db), QString("1000"));
  EXPECT_EQ(test::queryText(db, "PRAGMA integrity_check"), QString("ok"));
}

TEST_F(DatabaseFile, UndeletableLeftoverStopsTheCompactionWithTheBox) {
  ASSERT_TRUE(test::writeFile(drive("kvTemp.mdb"), "leftover"));
  ASSERT_EQ(::chmod(QFile::encodeName(drive("kvTemp.mdb")).constData(), 0444), 0);
  const QByteArray before = test::fileHash(drive("kestrova.mdb"));
  test::RecordingPresenter rec(true);

  QString desc;
  int32_t num = 0;
  EXPECT_FALSE(CompactDB(kDbPath, desc, num));
  EXPECT_EQ(num, 0);
  EXPECT_TRUE(desc.isEmpty());
  ASSERT_EQ(rec.boxes.size(), 1u);
  EXPECT_EQ(rec.boxes[0].prompt,
            QString("Purge Database program has failed to delete:\rc:\\kestrova\\kvTemp.mdb  file ...\r\r"
                    "Please make sure it's not open or its 'ReadOnly' property unchecked !!!"));
  EXPECT_EQ(rec.boxes[0].title, QString("Can't Delete a File ..."));
  EXPECT_EQ(rec.boxes[0].style, 64);
  EXPECT_EQ(test::fileHash(drive("kestrova.mdb")), before);
  EXPECT_EQ(test::readFile(drive("kvTemp.mdb")), QByteArray("leftover"));
}

TEST_F(DatabaseFile, EngineFailureIsSilentAndCarriesItsNumber) {
  ASSERT_TRUE(QFile::remove(drive("kestrova.mdb")));
  test::RecordingPresenter rec(true);
  QString desc;
  int32_t num = 0;
  EXPECT_FALSE(CompactDB(kDbPath, desc, num));
  EXPECT_EQ(num, ENOENT);
  EXPECT_FALSE(desc.isEmpty());
  EXPECT_TRUE(rec.boxes.empty());
  EXPECT_TRUE(folder().isEmpty()) << "no database is created and no temporary file left";
}

// The copy back refused (read-only database): the database keeps its old
// bytes, the compacted temporary file stays, and the next compaction clears it.
TEST_F(DatabaseFile, FailedCopyBackKeepsTheDatabaseAndTheTemporaryFile) {
  const QString db = drive("kestrova.mdb");
  ASSERT_TRUE(test::execSql(db, "DELETE FROM Contacts WHERE ID > 10"));
  const QByteArray before = test::fileHash(db);
  ASSERT_EQ(::chmod(QFile::encodeName(db).constData(), 0444), 0);
  test::RecordingPresenter rec(true);

  QString desc;
  int32_t num = 0;
  EXPECT_FALSE(CompactDB(kDbPath, desc, num));
  EXPECT_EQ(num, EACCES);
  EXPECT_TRUE(rec.boxes.empty());
  EXPECT_EQ(test::fileHash(db), before);
  EXPECT_EQ(contacts(drive("kvTemp.mdb")), QString("10"));

  ASSERT_EQ(::chmod(QFile::encodeName(db).constData(), 0644), 0);
  EXPECT_TRUE(CompactDB(kDbPath, desc, num));
  EXPECT_TRUE(rec.boxes.empty());
  EXPECT_EQ(folder(), QStringList({"kestrova.mdb"}));
  EXPECT_EQ(contacts(db), QString("10"));
}

// A copy back that runs out of space: the database as it was, and the
// compacted copy does not stay behind on the full disk.
// The compacted file is renamed into place: a disk with room for the
// database and its compacted copy is enough, and one without room for the
// copy keeps nothing of it.
TEST_F(DatabaseFile, ACompactionNeedsRoomForOneCopyAndLeavesNoneWhenOutOfSpace) {
  const QString db = drive("kestrova.mdb");
  const QByteArray bytes = test::readFile(db);
  const QByteArray mountPoint = QFile::encodeName(drive(""));
  struct Unmount {
    QByteArray at;
    ~Unmount() { ::umount2(at.constData(), MNT_DETACH); }
  };
  for (const int halves : {5, 3}) {
    const QByteArray options = "size=" + QByteArray::number(bytes.size() * halves / 2);
    if (::mount("tmpfs", mountPoint.constData(), "tmpfs", 0, options.constData()) != 0)
      GTEST_SKIP() << "no small file system can be mounted here";
    Unmount unmount{mountPoint};
    ASSERT_TRUE(test::writeFile(db, bytes));
    test::RecordingPresenter rec(true);
    QString desc;
    int32_t num = 0;
    const bool compacted = CompactDB(kDbPath, desc, num);
    EXPECT_EQ(compacted, halves == 5) << desc.toStdString();
    EXPECT_TRUE(rec.boxes.empty());
    EXPECT_EQ(folder(), QStringList({"kestrova.mdb"}));
    if (compacted) {
      EXPECT_EQ(test::queryText(db, "PRAGMA integrity_check"), "ok");
    } else {
      EXPECT_EQ(test::readFile(db), bytes);
    }
  }
}

// Calls `beforeCompaction` as the compaction step starts.
class CompactionHookFace : public PurgeRunFace {
 public:
  explicit CompactionHookFace(std::function<void()> hook) : m_hook(std::move(hook)) {}
  void busy(bool) override {}
  void stepStarting(PurgeStep step, std::optional<ShopTable>, const QString&) override {
    if (step == PurgeStep::Compaction) m_hook();
  }
  void stepEnded(const PurgeStepResult&) override {}

 private:
  std::function<void()> m_hook;
};

// Only a state nobody but the run has committed to since its check spares
// the compacted copy's index comparison: after another program's commit, an
// index damaged since the check is still found and the database kept.
TEST_F(DatabaseFile, ACommitOfAnotherProgramAfterTheCheckHasTheCopyCheckedWhole) {
  const QString db = drive("kestrova.mdb");
  ASSERT_TRUE(QFile::remove(db));
  ASSERT_TRUE(test::createShopDbWithRows(
      db,
      "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i+1 FROM n WHERE i<40) "
      "INSERT INTO Manifest(ID, [Date]) SELECT i, CASE i & 1 WHEN 1 THEN '2003-01-01' ELSE '2005-01-01' END FROM n"));
  test::RecordingPresenter rec(true);
  CompactionHookFace face([&] {
    ASSERT_TRUE(test::execSql(db, "INSERT INTO Setup(ID) VALUES (7)"));
    ASSERT_GT(test::replaceBytes(db, test::dateIndexEntry("2005-01-01", 4), test::dateIndexEntry("2005-01-01", 6)), 0);
  });
  const PurgeOutcome outcome = runPurgeSequence(kDbPath, locale_dates::dateToText(QDate(2004, 3, 5)),
                                                PurgeSelection{false, false, true}, QDate(2024, 6, 28), face);
  ASSERT_FALSE(outcome.steps.empty());
  EXPECT_EQ(outcome.steps.back().step, PurgeStep::Compaction);
  EXPECT_FALSE(outcome.steps.back().ok);
  EXPECT_FALSE(outcome.success);
  EXPECT_EQ(test::queryText(db, "SELECT count(*) FROM Manifest"), QString("20"));
}

}  // namespace
