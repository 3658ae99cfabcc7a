// The compaction engine: a whole, checked, smaller copy of the database, or
// a refusal that leaves no destination and the source as it was.
#include <cerrno>

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <QDir>
#include <QFileInfo>

#include "platform/filesafety/compaction_engine.h"
#include "platform/filesafety/files.h"
#include "support/file_ops_support.h"
#include "support/sandbox.h"

namespace {

const QString kInUse = QStringLiteral("The file is in use by another program.");

QString count(const QString& db) { return test::queryText(db, "SELECT count(*) FROM Contacts"); }

TEST(Compaction, CopyIsSmallerWholeAndTheSourceUnchanged) {
  test::TempDir dir;
  const QString db = dir.file("kestrova.mdb"), out = dir.file("kvTemp.mdb");
  ASSERT_TRUE(test::makeContactsDb(db, 4000));
  ASSERT_TRUE(test::execSql(db, "DELETE FROM Contacts WHERE [Date] < '2004-03-05'"));
  const QByteArray sourceHash = test::fileHash(db);
  const QString remaining = test::queryText(db, "SELECT group_concat(ID || Name || [Date]) FROM Contacts");

  CompactionEngine engine;
  const Status s = engine.CompactDatabase(db, out);
  ASSERT_TRUE(s.ok()) << s.description().toStdString();
  EXPECT_LT(QFileInfo(out).size(), QFileInfo(db).size() * 2 / 3);
  EXPECT_EQ(count(out), QString("2000"));
  EXPECT_EQ(test::queryText(out, "SELECT group_concat(ID || Name || [Date]) FROM Contacts"), remaining);
  EXPECT_EQ(test::queryText(out, "PRAGMA integrity_check"), QString("ok"));
  EXPECT_EQ(test::fileHash(db), sourceHash);
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name),
            QStringList({"kestrova.mdb", "kvTemp.mdb"}));
}

// Only the tables the caller vouches for are spared their index
// comparison: a damaged index of another table is still found.
TEST(Compaction, VouchedTablesLeaveTheOthersCheckedInFull) {
  test::TempDir dir;
  const QString db = dir.file("kestrova.mdb"), out = dir.file("kvTemp.mdb");
  ASSERT_TRUE(test::makeContactsDb(db, 400));
  ASSERT_TRUE(
      test::execSql(db,
                    "CREATE TABLE Dates(ID INTEGER PRIMARY KEY, [Date] DATETIME);"
                    "INSERT INTO Dates SELECT ID, [Date] FROM Contacts; CREATE INDEX Dates_Date ON Dates([Date]);"));
  ASSERT_GT(test::replaceBytes(db, test::dateIndexEntry("2003-01-01", 3), test::dateIndexEntry("2003-01-01", 5)), 0);

  const Status s = CompactionEngine().CompactDatabase(db, out, {"Contacts"});
  EXPECT_EQ(s.number() & 0xff, SQLITE_CORRUPT) << s.description().toStdString();
  EXPECT_FALSE(QFileInfo::exists(out));
}

TEST(Compaction, DrivePathsAreResolvedAndTheEngineServesManyCalls) {
  const QString drive = qEnvironmentVariable("KESTROVA_DRIVE_C") + "/kestrova/";
  ASSERT_TRUE(test::makeContactsDb(drive + "kestrova.mdb", 10));
  CompactionEngine engine;
  for (int round = 0; round < 2; ++round) {
    ASSERT_TRUE(engine.CompactDatabase("C:\\kestrova\\kestrova.mdb", "c:\\kestrova\\kvTemp.mdb").ok());
    EXPECT_EQ(count(drive + "kvTemp.mdb"), QString("10"));
    ASSERT_TRUE(QFile::remove(drive + "kvTemp.mdb"));
  }
}

// Each refusal names its cause and leaves no destination behind.
TEST(Compaction, RefusalsLeaveNoDestination) {
  test::TempDir dir;
  const QString db = dir.file("kestrova.mdb"), out = dir.file("kvTemp.mdb");
  ASSERT_TRUE(test::makeContactsDb(db, 20));
  ASSERT_TRUE(test::writeFile(dir.file("garbage.mdb"), QByteArray(8192, 'g')));
  CompactionEngine engine;

  Status s = engine.CompactDatabase(dir.file("missing.mdb"), out);
  EXPECT_EQ(s.number(), ENOENT);
  EXPECT_FALSE(QFileInfo::exists(dir.file("missing.mdb"))) << "the source is never created";

  s = engine.CompactDatabase(dir.path(), out);
  EXPECT_EQ(s.number(), EISDIR);

  s = engine.CompactDatabase(dir.file("garbage.mdb"), out);
  EXPECT_EQ(s.number(), SQLITE_NOTADB);
  EXPECT_FALSE(s.description().isEmpty());

  s = engine.CompactDatabase(db, dir.file("nowhere/kvTemp.mdb"));
  EXPECT_FALSE(s.ok());
  EXPECT_FALSE(QFileInfo::exists(out));

  {
    test::OpenFileChild writer(db);
    ASSERT_TRUE(writer.ready());
    s = engine.CompactDatabase(db, out);
    EXPECT_EQ(s.number(), EBUSY);
    EXPECT_EQ(s.description(), kInUse);
  }
  EXPECT_FALSE(QFileInfo::exists(out));
  EXPECT_EQ(count(db), QString("20"));
}

TEST(Compaction, ExistingDestinationIsNeverTouched) {
  test::TempDir dir;
  const QString db = dir.file("kestrova.mdb"), out = dir.file("kvTemp.mdb");
  ASSERT_TRUE(test::makeContactsDb(db, 20));
  ASSERT_TRUE(test::writeFile(out, "someone else's file"));
  CompactionEngine engine;
  EXPECT_EQ(engine.CompactDatabase(db, out).number(), EEXIST);
  EXPECT_EQ(test::readFile(out), QByteArray("someone else's file"));
}

// A writer that crashed mid-transaction left a hot journal and half its
// changes in the file: the engine rolls them back through SQLite and compacts
// the database as it was before the transaction.
TEST(Compaction, HotJournalIsRolledBackNotCopied) {
  test::TempDir dir;
  const QString db = dir.file("kestrova.mdb"), out = dir.file("kvTemp.mdb");
  ASSERT_TRUE(test::makeContactsDb(db, 3000));
  ASSERT_TRUE(test::crashMidTransaction(db, "DELETE FROM Contacts; "));
  ASSERT_GT(QFileInfo(db + "-journal").size(), 0) << "the crash left a hot journal";

  CompactionEngine engine;
  const Status s = engine.CompactDatabase(db, out);
  ASSERT_TRUE(s.ok()) << s.description().toStdString();
  EXPECT_EQ(count(out), QString("3000"));
  EXPECT_EQ(count(db), QString("3000"));
  EXPECT_FALSE(QFileInfo::exists(db + "-journal"));
}

// Committed rows still in a write-ahead log are folded in, and the log is
// gone when the engine reports success.
TEST(Compaction, WriteAheadLogIsCheckpointed) {
  test::TempDir dir;
  const QString db = dir.file("wal.mdb"), out = dir.file("kvTemp.mdb");
  ASSERT_TRUE(test::makeContactsDb(db, 100));
  ASSERT_TRUE(test::execSql(db, "PRAGMA journal_mode=WAL"));
  ASSERT_TRUE(
      test::crashMidTransaction(db, "DELETE FROM Contacts WHERE ID <= 40; COMMIT; ", "PRAGMA wal_autocheckpoint=0; "));
  ASSERT_GT(QFileInfo(db + "-wal").size(), 0);

  CompactionEngine engine;
  const Status s = engine.CompactDatabase(db, out);
  ASSERT_TRUE(s.ok()) << s.description().toStdString();
  EXPECT_EQ(count(out), QString("60"));
  EXPECT_EQ(QFileInfo(db + "-wal").size(), 0);
}

}  // namespace

namespace {

// A journal that survives our connection but that SQLite would never play
// back (a writer in persist mode keeps it, its header zeroed, after every
// commit) leaves the file whole: the compaction goes ahead. (Refused as in
// use, it would refuse every later compaction too.)
TEST(Compaction, InertJournalRemainingAfterCloseDoesNotRefuse) {
  test::TempDir dir;
  const QString db = dir.file("kestrova.mdb"), out = dir.file("kvTemp.mdb");
  ASSERT_TRUE(test::makeContactsDb(db, 50));
  ASSERT_TRUE(test::execSql(db, "PRAGMA journal_mode=PERSIST; DELETE FROM Contacts WHERE ID = 1;"));
  ASSERT_GT(QFileInfo(db + "-journal").size(), 0);
  ASSERT_EQ(test::readFile(db + "-journal").at(0), 0);
  CompactionEngine engine;
  const Status s = engine.CompactDatabase(db, out);
  ASSERT_TRUE(s.ok()) << s.description().toStdString();
  EXPECT_EQ(count(out), QString("49"));
  EXPECT_EQ(count(db), QString("49"));
}

// A writer killed after it began a transaction but before it flushed its
// journal leaves a journal whose header is still zero and a database file
// it never touched: nothing to roll back, and no reason to refuse.
TEST(Compaction, JournalOfAWriterKilledBeforeFlushingDoesNotRefuse) {
  test::TempDir dir;
  const QString db = dir.file("kestrova.mdb"), out = dir.file("kvTemp.mdb");
  ASSERT_TRUE(test::makeContactsDb(db, 50));
  const QByteArray dbBefore = test::fileHash(db);
  ASSERT_TRUE(test::crashMidTransaction(db, "PRAGMA cache_size=2000; DELETE FROM Contacts WHERE ID <= 10; "));
  const QByteArray journal = test::readFile(db + "-journal");
  ASSERT_FALSE(journal.isEmpty()) << "the kill left a journal";
  ASSERT_EQ(journal.at(0), 0) << "and never flushed its header";
  ASSERT_EQ(test::fileHash(db), dbBefore);

  CompactionEngine engine;
  const Status s = engine.CompactDatabase(db, out);
  ASSERT_TRUE(s.ok()) << s.description().toStdString();
  EXPECT_EQ(count(out), QString("50"));
  EXPECT_EQ(count(db), QString("50"));
}

// Only a journal SQLite would play back, or a write-ahead log with frames,
// counts as live beside a database; table-driven over what lies beside it.
TEST(Compaction, LiveSidecarIsOneThatHoldsChanges) {
  struct Case {
    const char* name;
    const char* suffix;  // nullptr: nothing beside the database
    QByteArray content;
    bool live;
  };
  const QByteArray zeroHeader(1024, '\0');
  QByteArray hotHeader(1024, '\0');
  hotHeader[0] = char(0xd9);
  const Case cases[] = {
      {"nothing beside", nullptr, {}, false},
      {"empty journal", "-journal", {}, false},
      {"journal with its header zeroed", "-journal", zeroHeader, false},
      {"journal with its header begun", "-journal", hotHeader, true},
      {"empty write-ahead log", "-wal", {}, false},
      {"write-ahead log with frames", "-wal", zeroHeader, true},
  };
  for (const Case& c : cases) {
    test::TempDir dir;
    const QString db = dir.file("kestrova.mdb");
    ASSERT_TRUE(test::makeContactsDb(db, 5));
    if (c.suffix) {
      ASSERT_TRUE(test::writeFile(db + c.suffix, c.content));
    }
    EXPECT_EQ(files::hasLiveSidecar(db), c.live) << c.name;
  }
}

}  // namespace

namespace {

// The destination's rollback journal never appears beside it, so a
// compaction killed half way leaves only the destination to clean up: here
// a folder squats on the journal's name and the compaction still succeeds.
TEST(Compaction, NoJournalIsWrittenBesideTheDestination) {
  test::TempDir dir;
  const QString db = dir.file("kestrova.mdb"), out = dir.file("kvTemp.mdb");
  ASSERT_TRUE(test::makeContactsDb(db, 500));
  ASSERT_TRUE(QDir(dir.path()).mkdir("kvTemp.mdb-journal"));
  CompactionEngine engine;
  const Status s = engine.CompactDatabase(db, out);
  ASSERT_TRUE(s.ok()) << s.description().toStdString();
  EXPECT_TRUE(QFileInfo(dir.file("kvTemp.mdb-journal")).isDir());
  ASSERT_TRUE(QDir(dir.path()).rmdir("kvTemp.mdb-journal"));
  EXPECT_EQ(count(out), QString("500"));
}

}  // namespace

namespace {

// A journal left beside an absent destination belongs to no database: it is
// cleared, so it can neither be mistaken for the new file's nor block the
// copy back.
TEST(Compaction, StaleJournalBesideTheAbsentDestinationIsCleared) {
  test::TempDir dir;
  const QString db = dir.file("kestrova.mdb"), out = dir.file("kvTemp.mdb");
  ASSERT_TRUE(test::makeContactsDb(db, 500));
  ASSERT_TRUE(test::writeFile(out + "-journal", QByteArray(4096, '\x5a')));
  CompactionEngine engine;
  const Status s = engine.CompactDatabase(db, out);
  ASSERT_TRUE(s.ok()) << s.description().toStdString();
  EXPECT_EQ(count(out), QString("500"));
  EXPECT_FALSE(QFileInfo::exists(out + "-journal"));
}

}  // namespace

namespace {

// VACUUM INTO copies index pages as they are: an index entry pointing at
// another row passes quick_check in the copy, and must not pass its check.
TEST(Compaction, IndexDamageInTheSourceFailsTheCopysCheck) {
  test::TempDir dir;
  const QString db = dir.file("kestrova.mdb"), out = dir.file("kvTemp.mdb");
  ASSERT_TRUE(test::makeContactsDb(db, 300));
  ASSERT_TRUE(test::execSql(db, "CREATE INDEX Contacts_Date ON Contacts([Date])"));
  ASSERT_EQ(test::replaceBytes(db, test::dateIndexEntry("2003-01-01", 3), test::dateIndexEntry("2003-01-01", 5)), 1);
  ASSERT_EQ(test::queryText(db, "PRAGMA quick_check"), QString("ok"));
  CompactionEngine engine;
  const Status s = engine.CompactDatabase(db, out);
  EXPECT_EQ(s.number(), SQLITE_CORRUPT);
  EXPECT_TRUE(s.description().contains("row 3 missing from index Contacts_Date")) << s.description().toStdString();
  EXPECT_FALSE(QFileInfo::exists(out));
}

}  // namespace
