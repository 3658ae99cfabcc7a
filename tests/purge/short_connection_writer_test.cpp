// The shop application as a writer that opens the database, commits one
// row and closes it again for every transaction: it is never seen holding
// the file, so the backup and the compaction must guard themselves against
// its commits. Real writer processes, real SQLite files in the sandbox.
#include <cerrno>
#include <cstdio>
#include <optional>

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSet>
#include <QThread>

#include "platform/filesafety/compaction_engine.h"
#include "platform/filesafety/db_file.h"
#include "platform/filesafety/files.h"
#include "purge/forms_.h"
#include "purge/purge_db_files.h"
#include "purge_run_support.h"
#include "sampledb/sample_db.h"
#include "script_writer.h"
#include "shop_state.h"
#include "support/file_ops_support.h"
#include "support/recording_presenter.h"
#include "support/sandbox.h"
#include "support/shop_db.h"

namespace {

const QDate kToday(2026, 1, 15);
const QDate kCutOff(2023, 1, 1);
const QString kDbPath = QStringLiteral("C:\\kestrova\\kestrova.mdb");
const QString kBackupPath = QStringLiteral("C:\\kestrova\\kvbackup15012026.mdb");
const QString kInUse = QStringLiteral("The file is in use by another program.");
using test::kSuccess;
const QString kCompactRefused = QStringLiteral(
    "box 48: Failed to compact the database...||The following error has occurred:|The file is in use by another "
    "program.");
const QString kFailed = QStringLiteral("box 16: Purge has failed to complete...");

// The shop application with short connections: each pass connects, inserts
// a shipment of the day in one transaction, commits, closes, and appends the
// key to the key file once committed. A refused pass (busy, or the file
// moved under its connection) is counted by SQLite's extended code in the
// error file and tried again on a new connection. Between passes it rests
// `pause` seconds (0: none), as a till does between sales.
const char* const kShortWriter = R"py(
import os, sqlite3, sys, time
db, keys, errors, stop, pause = sys.argv[1:6]
pause = float(pause)
out = open(keys, "a")
err = open(errors, "a")
n = 0
said = False
while not os.path.exists(stop):
    try:
        con = sqlite3.connect(db, timeout=10, isolation_level=None)
        try:
            con.execute("BEGIN IMMEDIATE")
            con.execute("INSERT INTO Manifest(TrackingNum, Carrier, [Date]) VALUES(?, 'Writer', '2026-01-15 09:00:00')",
                        ("S%d" % n,))
            con.execute("COMMIT")
        finally:
            con.close()
    except sqlite3.Error as e:
        err.write("%s %s\n" % (getattr(e, "sqlite_errorcode", -1), e))
        err.flush()
        continue
    out.write("S%d\n" % n)
    out.flush()
    n += 1
    if not said:
        print("ready", flush=True)
        said = True
    time.sleep(pause)
)py";

class ShortWriter {
 public:
  ShortWriter(const test::TempDir& dir, const QString& db, double pause)
      : m_keys(dir.file(QStringLiteral("keys.txt"))),
        m_errors(dir.file(QStringLiteral("errors.txt"))),
        m_script(dir, QStringLiteral("short_writer.py"), kShortWriter,
                 {db, m_keys, m_errors, dir.file(QStringLiteral("stop")), QString::number(pause)},
                 dir.file(QStringLiteral("stop")), {m_keys, m_errors}) {}
  bool ready() const { return m_script.ready(); }
  // Stops the writer; true when it ended on its own.
  bool stop() { return m_script.stop(); }
  QStringList keys() const { return test::ScriptWriter::lines(m_keys); }
  QStringList errors() const { return test::ScriptWriter::lines(m_errors); }
  QString stderrText() { return m_script.stderrText(); }

 private:
  QString m_keys, m_errors;
  test::ScriptWriter m_script;
};

// The writer's keys in a database, in the order they were committed.
QStringList writerKeys(const QString& db) {
  return test::sqlColumn(db, QStringLiteral("SELECT TrackingNum FROM Manifest WHERE Carrier = 'Writer' ORDER BY ID"));
}

class ShortConnectionWriter : public ::testing::Test {
 protected:
  void SetUp() override {
    folder = test::drivePath(QString());
    test::emptyFolder(folder);
    db = folder + QStringLiteral("kestrova.mdb");
    ASSERT_EQ(sampledb::make(db, {.scale = 60, .seed = 777, .today = kToday}), QString());
  }
  void TearDown() override {
    UnloadPleaseWait();
    test::emptyFolder(folder);
  }

  test::TempDir scratch;
  QString folder, db;
};

// Backups taken one after another while the writer commits: each is
// refused with the in-use warning and leaves no backup, or is a whole
// database holding exactly the first keys the writer committed.
TEST_F(ShortConnectionWriter, BackupIsRefusedOrAConsistentCommittedState) {
  test::RecordingPresenter boxes(true);
  const QString backup = test::drivePath(QStringLiteral("kvbackup15012026.mdb"));
  ShortWriter writer(scratch, db, 0.005);
  ASSERT_TRUE(writer.ready()) << writer.stderrText().toStdString();
  const qsizetype keysAtStart = writer.keys().size();

  QList<QStringList> taken;
  int refused = 0;
  for (int i = 0; i < 25; ++i) {
    QFile::remove(backup);
    QString errDesc;
    int32_t errNum = 0;
    QThread::msleep(10);  // the writer gets on between backups
    if (BackupDB(kDbPath, kBackupPath, errDesc, errNum)) {
      EXPECT_EQ(test::sqlColumn(backup, QStringLiteral("PRAGMA integrity_check")), QStringList({"ok"})) << i;
      taken << writerKeys(backup);
    } else {
      ++refused;
      EXPECT_EQ(errNum, EBUSY);
      EXPECT_EQ(errDesc, kInUse);
      EXPECT_FALSE(QFileInfo::exists(backup)) << i;
    }
    EXPECT_FALSE(QFileInfo::exists(files::copyTempPath(backup))) << i;
  }
  const qsizetype keysAtEnd = writer.keys().size();
  ASSERT_TRUE(writer.stop()) << writer.stderrText().toStdString();
  const QStringList committed = writer.keys();

  EXPECT_GT(keysAtEnd, keysAtStart) << "the writer committed while the backups were taken";
  for (qsizetype i = 0; i < taken.size(); ++i) {
    const QStringList& keys = taken[i];
    ASSERT_LE(keys.size(), committed.size());
    EXPECT_EQ(keys, committed.mid(0, keys.size())) << "backup " << i << " is no committed state";
  }
  EXPECT_EQ(boxes.boxes.size(), size_t(refused)) << "one warning per refused backup";
  std::printf(
      "backups beside a short-connection writer: %lld consistent, %d refused; %lld rows committed, %lld "
      "passes refused\n",
      static_cast<long long>(taken.size()), refused, static_cast<long long>(committed.size()),
      static_cast<long long>(writer.errors().size()));
}

// Full purge runs with the day's backup present, each running to the
// compaction, while the writer commits: every committed key is in the
// database afterwards, whether a compaction replaced the file or was
// refused, and the database is whole. (A writer that comes while the
// compaction holds the lock waits with the file open, so the copy back
// finds the file in use and keeps the database; the compacted temporary
// file is left for the next run to remove.) In WAL mode a commit lives in
// the -wal file alone until a checkpoint, so the compaction must not let
// one slip between its snapshot and the file it leaves.
void runsKeepEveryCommit(const test::TempDir& scratch, const QString& db) {
  ASSERT_TRUE(QFile::copy(db, test::drivePath(QStringLiteral("kvbackup15012026.mdb"))));
  ShortWriter writer(scratch, db, 0.02);
  ASSERT_TRUE(writer.ready()) << writer.stderrText().toStdString();
  const qsizetype keysAtStart = writer.keys().size();

  int compacted = 0, refused = 0;
  for (int run = 0; run < 5; ++run) {
    const QString out = test::runPurgeChild(test::fullRunArgs(kCutOff, kToday));
    QStringList boxes = out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_FALSE(boxes.isEmpty()) << "run " << run;
    ASSERT_EQ(boxes.takeLast(), QStringLiteral("done")) << out.toStdString();
    if (boxes == QStringList({kSuccess})) {
      ++compacted;
    } else {
      EXPECT_EQ(boxes, QStringList({kCompactRefused, kFailed})) << "run " << run;
      ++refused;
    }
  }
  const qsizetype keysAtEnd = writer.keys().size();
  ASSERT_TRUE(writer.stop()) << writer.stderrText().toStdString();
  const QStringList committed = writer.keys();

  EXPECT_EQ(test::sqlColumn(db, QStringLiteral("PRAGMA integrity_check")), QStringList({"ok"}));
  const QStringList inDb = writerKeys(db);
  const QSet<QString> present(inDb.begin(), inDb.end());
  int lost = 0;
  for (const QString& key : committed)
    if (!present.contains(key)) ++lost;
  EXPECT_EQ(lost, 0) << lost << " of " << committed.size() << " committed keys are missing";
  EXPECT_GT(keysAtEnd, keysAtStart) << "the writer committed during the runs";
  const test::ShopState after = test::readShopState(db, kCutOff);
  for (int t = 0; t < test::kTableCount; ++t)
    EXPECT_EQ(after.tables[size_t(t)].inScope, 0) << test::kPurgeOrder[size_t(t)];
  std::printf("purge runs beside a short-connection writer: %d compacted, %d refused; %lld rows committed, %d lost\n",
              compacted, refused, static_cast<long long>(committed.size()), lost);
}

TEST_F(ShortConnectionWriter, PurgeRunsToCompactionKeepEveryCommit) { runsKeepEveryCommit(scratch, db); }

TEST_F(ShortConnectionWriter, PurgeRunsOfAWalDatabaseKeepEveryCommit) {
  ASSERT_TRUE(test::sqlExec(db, QStringLiteral("PRAGMA journal_mode=WAL")));
  runsKeepEveryCommit(scratch, db);
  EXPECT_EQ(test::sqlColumn(db, QStringLiteral("PRAGMA journal_mode")), QStringList({"wal"}));
}

}  // namespace

namespace {

// A writer that opened the database before the compaction and waits on the
// lock while the compacted copy replaces the file: SQLite refuses its write
// into the replaced file (SQLITE_READONLY_DBMOVED) instead of committing
// where nobody will read it, and its next connection commits to the new file.
const char* const kWaitingWriter = R"py(
import os, sqlite3, sys, time
db, go = sys.argv[1:3]
con = sqlite3.connect(db, timeout=10, isolation_level=None)
con.execute("SELECT count(*) FROM Contacts").fetchall()
print("opened", flush=True)
while not os.path.exists(go):
    time.sleep(0.005)
def attempt(c, name):
    try:
        c.execute("BEGIN IMMEDIATE")
        c.execute("INSERT INTO Contacts(Name, [Date]) VALUES(?, '2026-01-15')", (name,))
        c.execute("COMMIT")
        return "committed"
    except sqlite3.Error as e:
        return "%s" % getattr(e, "sqlite_errorcode", -1)
    finally:
        c.close()
print("old " + attempt(con, "old connection"), flush=True)
print("new " + attempt(sqlite3.connect(db, timeout=10, isolation_level=None), "new connection"), flush=True)
)py";

TEST(CompactionLock, WriterWaitingOnTheReplacedFileIsRefusedNotLost) {
  test::TempDir dir;
  const QString db = dir.file("kestrova.mdb"), temp = dir.file("kvTemp.mdb");
  ASSERT_TRUE(test::makeContactsDb(db, 300));
  ASSERT_TRUE(test::writeFile(dir.file("writer.py"), kWaitingWriter));

  Status refusal;
  std::optional<db::DbFile::WriteLock> lock = db::DbFile(db).lockWrites(refusal);
  ASSERT_TRUE(refusal.ok()) << refusal.description().toStdString();
  ASSERT_TRUE(lock.has_value());
  CompactionEngine engine;
  const Status compacted = engine.CompactDatabase(db, temp);
  ASSERT_TRUE(compacted.ok()) << compacted.description().toStdString();

  // The writer opens the file only now, after every check that would have
  // seen it holding the file, and tries to write; the copy back's last step,
  // the rename over the database, then happens while it waits.
  QProcess writer;
  writer.start("python3", {dir.file("writer.py"), db, dir.file("go")});
  ASSERT_TRUE(writer.waitForStarted(10000) && writer.waitForReadyRead(20000));
  ASSERT_EQ(writer.readLine().trimmed(), QByteArray("opened"));
  ASSERT_TRUE(test::writeFile(dir.file("go"), "go"));
  EXPECT_FALSE(writer.waitForFinished(300)) << "the writer waits on the lock";
  ASSERT_EQ(::rename(QFile::encodeName(temp).constData(), QFile::encodeName(db).constData()), 0);
  lock.reset();

  ASSERT_TRUE(writer.waitForFinished(30000));
  const QList<QByteArray> said = writer.readAll().trimmed().split('\n');
  EXPECT_EQ(said, QList<QByteArray>({"old 1032", "new committed"})) << writer.readAllStandardError().toStdString();
  EXPECT_EQ(test::queryText(db, "SELECT count(*) FROM Contacts"), QString("301"));
  EXPECT_EQ(test::queryText(db, "SELECT count(*) FROM Contacts WHERE Name = 'new connection'"), QString("1"));
  EXPECT_EQ(test::queryText(db, "PRAGMA integrity_check"), QString("ok"));
}

// Another connection keeps the write lock past the busy timeout: the
// compaction fails as in use, the database and its folder as they were.
TEST(CompactionLock, WriteLockHeldPastTheTimeoutRefusesAndChangesNothing) {
  const QString folder = test::drivePath(QString());
  test::emptyFolder(folder);
  const QString db = folder + QStringLiteral("kestrova.mdb");
  ASSERT_TRUE(test::makeContactsDb(db, 300));
  ASSERT_TRUE(test::execSql(db, "DELETE FROM Contacts WHERE ID <= 100"));
  const QByteArray before = test::fileHash(db);

  sqlite3* holder = nullptr;
  ASSERT_EQ(sqlite3_open(QFile::encodeName(db).constData(), &holder), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(holder, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
  QString errDesc;
  int32_t errNum = 0;
  const bool done = CompactDB(kDbPath, errDesc, errNum);
  sqlite3_exec(holder, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close(holder);

  EXPECT_FALSE(done);
  EXPECT_EQ(errNum, EBUSY);
  EXPECT_EQ(errDesc, kInUse);
  EXPECT_EQ(test::fileHash(db), before);
  EXPECT_EQ(test::folderEntries(folder), QStringList({"kestrova.mdb"}));
  test::emptyFolder(folder);
}

// A journal left by a purge killed before it flushed the journal's header
// does not block the compaction: the file is compacted and replaced.
TEST(CompactionLock, JournalOfAWriterKilledBeforeFlushingDoesNotBlock) {
  const QString folder = test::drivePath(QString());
  test::emptyFolder(folder);
  const QString db = folder + QStringLiteral("kestrova.mdb");
  ASSERT_TRUE(test::makeContactsDb(db, 2000));
  ASSERT_TRUE(test::execSql(db, "DELETE FROM Contacts WHERE ID <= 1000"));
  ASSERT_TRUE(test::crashMidTransaction(db, "PRAGMA cache_size=2000; DELETE FROM Contacts WHERE ID <= 1010; "));
  const QByteArray journal = test::readFile(db + QStringLiteral("-journal"));
  ASSERT_FALSE(journal.isEmpty());
  ASSERT_EQ(journal.at(0), 0);
  const qint64 sizeBefore = QFileInfo(db).size();

  QString errDesc;
  int32_t errNum = 0;
  EXPECT_TRUE(CompactDB(kDbPath, errDesc, errNum)) << errDesc.toStdString();
  EXPECT_EQ(errNum, 0);
  EXPECT_LT(QFileInfo(db).size(), sizeBefore);
  EXPECT_EQ(test::queryText(db, "SELECT count(*) FROM Contacts"), QString("1000"));
  EXPECT_EQ(test::queryText(db, "PRAGMA integrity_check"), QString("ok"));
  EXPECT_FALSE(QFileInfo::exists(folder + QStringLiteral("kvTemp.mdb")));
  test::emptyFolder(folder);
}

}  // namespace
