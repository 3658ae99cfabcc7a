// The backup store on real files: which names count as backups, listing and
// checking without changing a file, retention, and restores that refuse or
// replace the database whole.
#include <sys/stat.h>

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "platform/filesafety/run_lock.h"
#include "purge/backup_store.h"
#include "shop_state.h"
#include "support/file_ops_support.h"
#include "support/sandbox.h"

namespace {

const QDateTime kNow(QDate(2026, 12, 7), QTime(10, 30, 15));
const QDate kToday = kNow.date();
const QString kKept = QStringLiteral("kvbeforerestore20261207103015.mdb");

bool link(const QString& target, const QString& name) {
  return ::link(QFile::encodeName(target).constData(), QFile::encodeName(name).constData()) == 0;
}

class BackupStore : public ::testing::Test {
 protected:
  void SetUp() override {
    db = dir.file(QStringLiteral("kestrova.mdb"));
    ASSERT_TRUE(test::makeShopCopy(db, 300));
  }
  // A whole copy of the shop's database of `rows` rows named `name` in the folder.
  QString make(const QString& name, int rows = 40) {
    const QString path = dir.file(name);
    EXPECT_TRUE(test::makeShopCopy(path, rows)) << name.toStdString();
    return path;
  }
  // A database whose fifth page is overwritten: it opens, but fails its check.
  QString damaged(const QString& name) {
    const QString path = make(name, 3000);
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::ReadWrite));
    f.seek(4 * 4096);
    f.write(QByteArray(4096, '\x55'));
    return path;
  }
  // Every entry of the folder with its size, time and content hash (a
  // regular file's, or a link's target's; a FIFO is never opened).
  QStringList snapshot() const {
    QStringList out;
    for (const QString& name : test::folderEntries(dir.path())) {
      struct stat st = {};
      ::stat(QFile::encodeName(dir.file(name)).constData(), &st);
      if (!S_ISREG(st.st_mode)) {
        out << name;
        continue;
      }
      out << QStringLiteral("%1 %2 %3.%4 %5")
                 .arg(name)
                 .arg(st.st_size)
                 .arg(st.st_mtim.tv_sec)
                 .arg(st.st_mtim.tv_nsec)
                 .arg(QString::fromLatin1(test::fileHash(dir.file(name)).toHex()));
    }
    return out;
  }
  QStringList remaining() const { return test::folderEntries(dir.path()); }

  test::TempDir dir;
  QString db;
};

TEST(BackupNames, OnlyAWholeNameWithARealDateIsABackup) {
  EXPECT_EQ(backups::dateOfName("kvbackup07122026.mdb"), QDate(2026, 12, 7));
  EXPECT_EQ(backups::dateOfName("kvbackup29022024.mdb"), QDate(2024, 2, 29));
  for (const char* name : {"kvbackup29022026.mdb", "kvbackup00012026.mdb", "kvbackup07132026.mdb",
                           "kvbackup07122026.mdb.old", "old-kvbackup07122026.mdb", "KVBACKUP07122026.MDB",
                           "kvbackup0712026.mdb", "kvbackup07122026.sqlite", "kvbeforerestore20261207103015.mdb",
                           "kvbackup07-12-2026.mdb", "kvbackup01012020.mdb\n", "kvbackup01012020.mdb\r"})
    EXPECT_FALSE(backups::dateOfName(name).isValid()) << name;
  EXPECT_EQ(backups::nameForDate(QDate(2026, 1, 5)), QStringLiteral("kvbackup05012026.mdb"));
  EXPECT_EQ(backups::timeOfKeptName(kKept), kNow);
  EXPECT_FALSE(backups::timeOfKeptName(kKept + "\n").isValid());
  EXPECT_FALSE(backups::timeOfKeptName("kvbeforerestore20261307103015.mdb").isValid());
}

TEST_F(BackupStore, ListsNewestFirstByTheDateInTheNameAndChangesNothing) {
  make("kvbackup31012025.mdb");
  make("kvbackup01122026.mdb");
  damaged("kvbackup15062026.mdb");
  test::writeFile(dir.file("kvbackup20062026.mdb"), "not a database at all");
  test::writeFile(dir.file("kvbackup21062026.mdb"), "");
  make("kvbackup01011999.mdb.old");
  make("kvbackup01012020.mdb\n");
  make(kKept);
  ASSERT_TRUE(link(db, dir.file("kvbackup10062026.mdb")));                 // the database under a second name
  ASSERT_TRUE(test::makeContactsDb(dir.file("kvbackup11062026.mdb"), 5));  // another schema
  ASSERT_TRUE(QFile::link(dir.file("kvbackup01122026.mdb"), dir.file("kvbackup12062026.mdb")));
  QDir(dir.path()).mkdir("kvbackup02022026.mdb");
  const QStringList before = snapshot();

  for (backups::CheckMode mode : {backups::CheckMode::Quick, backups::CheckMode::Full}) {
    QList<backups::Entry> list;
    ASSERT_TRUE(backups::list(db, mode, list).ok());
    QList<QDate> dates;
    QStringList verdicts;
    for (const backups::Entry& e : list) {
      dates << e.date;
      verdicts << (e.check.passed ? "ok" : e.check.verdict);
      EXPECT_EQ(e.size, QFileInfo(e.path).size());
    }
    ASSERT_EQ(dates, QList<QDate>({{2026, 12, 7},
                                   {2026, 12, 1},
                                   {2026, 6, 21},
                                   {2026, 6, 20},
                                   {2026, 6, 15},
                                   {2026, 6, 11},
                                   {2026, 6, 10},
                                   {2025, 1, 31}}));
    EXPECT_EQ(list[0].kind, backups::Kind::BeforeRestore);
    EXPECT_EQ(list[0].time, kNow);
    EXPECT_EQ(verdicts[0], "ok");
    EXPECT_EQ(list[1].kind, backups::Kind::Daily);
    EXPECT_EQ(verdicts[1], "ok");
    EXPECT_EQ(verdicts[2], "not a database") << "an empty file opens as an empty database";
    EXPECT_EQ(verdicts[3], "not a database");
    EXPECT_NE(verdicts[4], "ok") << "a damaged page is found";
    EXPECT_TRUE(verdicts[5].contains("not a database of the shop")) << verdicts[5].toStdString();
    EXPECT_TRUE(verdicts[6].contains("the database itself")) << verdicts[6].toStdString();
    EXPECT_EQ(verdicts[7], "ok");
  }
  EXPECT_EQ(snapshot(), before);
}

TEST_F(BackupStore, CheckingABackupInWalModeLeavesNothingBesideIt) {
  const QString backup = make("kvbackup01122026.mdb");
  ASSERT_TRUE(test::execSql(backup, "PRAGMA journal_mode=WAL"));
  const QStringList before = snapshot();
  QList<backups::Entry> list;
  ASSERT_TRUE(backups::list(db, backups::CheckMode::Full, list).ok());
  ASSERT_EQ(list.size(), 1);
  EXPECT_TRUE(list[0].check.passed) << list[0].check.verdict.toStdString();
  EXPECT_EQ(snapshot(), before) << "no -wal or -shm file is made beside the backup";
}

// Retention, table-driven: the backups present, how many to keep, and the
// names that must go.
struct RetentionCase {
  QStringList present;
  int keep;
  QStringList removed;
};

TEST_F(BackupStore, RetentionRemovesOnlyWhatIsBeyondTheNewestAndNeverToday) {
  // Never counted, never removed: other names, a name ending in a newline.
  const QStringList others = {"kvbackup01011999.mdb.old", "Kvbackup01012000.mdb", "kvbackup01012020.mdb\n",
                              "kvbeforerestore20200101000000.mdb.old", "kestrova.mdb"};
  const QList<RetentionCase> cases = {
      {{"kvbackup07122026.mdb", "kvbackup01112026.mdb", "kvbackup01102026.mdb", "kvbackup01092025.mdb"},
       2,
       {"kvbackup01102026.mdb", "kvbackup01092025.mdb"}},
      {{"kvbackup07122026.mdb", "kvbackup01112026.mdb", "kvbackup01102026.mdb"},
       1,
       {"kvbackup01112026.mdb", "kvbackup01102026.mdb"}},
      // A backup dated after today (a clock set wrong once) still leaves today's.
      {{"kvbackup01012027.mdb", "kvbackup07122026.mdb", "kvbackup01112026.mdb"}, 1, {"kvbackup01112026.mdb"}},
      {{"kvbackup01112026.mdb", "kvbackup01102026.mdb"}, 5, {}},
      // Kept pre-restore copies count alike, by the time in their name; one
      // made today stays, as today's backup does.
      {{"kvbeforerestore20261207080000.mdb", "kvbackup07122026.mdb", "kvbeforerestore20261120120000.mdb",
        "kvbackup01112026.mdb", "kvbeforerestore20261001000000.mdb"},
       1,
       {"kvbeforerestore20261120120000.mdb", "kvbackup01112026.mdb", "kvbeforerestore20261001000000.mdb"}},
      {{"kvbackup01112026.mdb", "kvbeforerestore20261020120000.mdb", "kvbackup01102026.mdb",
        "kvbeforerestore20200101000000.mdb"},
       2,
       {"kvbackup01102026.mdb", "kvbeforerestore20200101000000.mdb"}},
  };
  for (const RetentionCase& c : cases) {
    test::emptyFolder(dir.path());
    for (const QString& name : c.present + others) make(name, 5);
    for (bool dryRun : {true, false}) {
      const QStringList before = snapshot();
      QList<backups::Removal> removals;
      ASSERT_TRUE(backups::keepNewest(db, c.keep, kToday, dryRun, removals).ok());
      QStringList named;
      for (const backups::Removal& r : removals) named << QFileInfo(r.backup.path).fileName();
      EXPECT_EQ(named.join(' ').toStdString(), c.removed.join(' ').toStdString()) << "keep " << c.keep;
      if (dryRun) {
        EXPECT_EQ(snapshot().join('\n').toStdString(), before.join('\n').toStdString()) << "a dry run removes nothing";
      } else {
        QStringList expected = c.present + others;
        for (const QString& name : c.removed) expected.removeAll(name);
        expected.sort();
        EXPECT_EQ(remaining().join(' ').toStdString(), expected.join(' ').toStdString()) << "keep " << c.keep;
      }
    }
  }
}

TEST_F(BackupStore, RetentionGoesOnPastABackupItCannotRemove) {
  for (const char* name : {"kvbackup01112026.mdb", "kvbackup01102026.mdb", "kvbackup01092026.mdb"}) make(name, 5);
  QList<backups::Removal> removals;
  ASSERT_EQ(::chmod(QFile::encodeName(dir.file("kvbackup01102026.mdb")).constData(), 0444), 0);
  EXPECT_EQ(backups::keepNewest(db, 1, kToday, false, removals).number(), EACCES);
  ASSERT_EQ(removals.size(), 2);
  EXPECT_FALSE(removals[0].status.ok());
  EXPECT_TRUE(removals[1].status.ok());
  EXPECT_EQ(remaining(), QStringList({"kestrova.mdb", "kvbackup01102026.mdb", "kvbackup01112026.mdb"}));
}

// Every refusal leaves every file of the folder as it was, and no kept copy.
TEST_F(BackupStore, RestoreRefusesAndChangesNothing) {
  damaged("kvbackup01122026.mdb");
  test::writeFile(dir.file("kvbackup02122026.mdb"), "SQLite format 3");
  test::writeFile(dir.file("kvbackup03122026.mdb"), "");
  make("kvbackup04122026.mdb");
  // Another shop's real database, linked in at a date's name.
  test::TempDir elsewhere;
  ASSERT_TRUE(test::makeShopCopy(elsewhere.file("kestrova.mdb"), 11));
  ASSERT_TRUE(QFile::link(elsewhere.file("kestrova.mdb"), dir.file("kvbackup06122026.mdb")));
  ASSERT_TRUE(link(db, dir.file("kvbackup07122026.mdb")));  // the database under a second name
  ASSERT_TRUE(link(db, dir.file("second-name.mdb")));
  ASSERT_TRUE(test::execSql(dir.file("kvbackup08122026.mdb"), "PRAGMA user_version = 7"));  // an empty database
  ASSERT_TRUE(test::makeContactsDb(dir.file("kvbackup09122026.mdb"), 5));                   // another schema
  ASSERT_EQ(::mkfifo(QFile::encodeName(dir.file("kvbackup10122026.mdb")).constData(), 0644), 0);
  struct Case {
    QString which;
    backups::Outcome outcome;
  };
  const QList<Case> cases = {
      {"01122026", backups::Outcome::NotDatabase},
      {"02122026", backups::Outcome::NotDatabase},
      {"03122026", backups::Outcome::NotDatabase},
      {"05122026", backups::Outcome::NotDatabase},
      {"06122026", backups::Outcome::NotDatabase},
      {"2026-12-06", backups::Outcome::NotDatabase},
      {"07122026", backups::Outcome::NotDatabase},
      {"08122026", backups::Outcome::NotDatabase},
      {dir.file("kvbackup08122026.mdb"), backups::Outcome::NotDatabase},
      {"09122026", backups::Outcome::NotDatabase},
      {dir.file("kvbackup09122026.mdb"), backups::Outcome::NotDatabase},
      {"10122026", backups::Outcome::NotDatabase},
      {dir.file("kvbackup10122026.mdb"), backups::Outcome::NotDatabase},
      {dir.file("nothing.mdb"), backups::Outcome::NotDatabase},
      {"31022026", backups::Outcome::BadArgument},
      {"2026-02-31", backups::Outcome::BadArgument},
      {db, backups::Outcome::BadArgument},
      {dir.file("second-name.mdb"), backups::Outcome::BadArgument},
      {dir.file("kvbackup07122026.mdb"), backups::Outcome::BadArgument},
  };
  const QStringList before = snapshot();
  for (const Case& c : cases) {
    const backups::RestoreResult r = backups::restore(db, c.which, kNow);
    EXPECT_EQ(r.outcome, c.outcome) << c.which.toStdString() << ": " << r.status.description().toStdString();
    EXPECT_FALSE(r.status.ok());
  }
  EXPECT_EQ(snapshot(), before);
  EXPECT_TRUE(backups::restore(db, "06122026", kNow).status.description().contains("symbolic link"));

  {
    // Another purge, restore or retention of the database is running.
    runlock::RunLock other;
    ASSERT_TRUE(other.acquire(db).ok());
    const backups::RestoreResult r = backups::restore(db, "2026-12-04", kNow);
    EXPECT_EQ(r.outcome, backups::Outcome::InUse);
    EXPECT_EQ(r.status.number(), EBUSY);
  }
  EXPECT_EQ(snapshot(), before);

  {
    test::OpenFileChild shop(db);  // another program holds the database open for writing
    ASSERT_TRUE(shop.ready());
    EXPECT_EQ(backups::restore(db, "04122026", kNow).outcome, backups::Outcome::InUse);
  }
  EXPECT_EQ(snapshot(), before);

  // A writer that crashed mid-transaction left a journal SQLite would play back.
  ASSERT_TRUE(test::crashMidTransaction(db, "DELETE FROM Contacts;"));
  const QStringList crashed = snapshot();
  const backups::RestoreResult r = backups::restore(db, "04122026", kNow);
  EXPECT_EQ(r.outcome, backups::Outcome::InUse);
  EXPECT_EQ(r.status.description(), QString::fromLatin1("The file is in use by another program."));
  EXPECT_EQ(snapshot(), crashed);
}

TEST_F(BackupStore, RestoreKeepsTheDatabaseFirstAndItsOwnerAndMode) {
  const QString backup = make("kvbackup01122026.mdb", 7);
  ASSERT_EQ(::chmod(QFile::encodeName(db).constData(), 0640), 0);
  ASSERT_EQ(::chmod(QFile::encodeName(backup).constData(), 0600), 0);
  const bool root = ::getuid() == 0;
  if (root) {
    ASSERT_EQ(::chown(QFile::encodeName(db).constData(), 65534, 65534), 0);
  }
  const QByteArray oldHash = test::fileHash(db), backupHash = test::fileHash(backup);
  make(kKept, 3);  // a kept copy of the same second is never overwritten
  const QByteArray earlierKept = test::fileHash(dir.file(kKept));

  const backups::RestoreResult r = backups::restore(db, "2026-12-01", kNow);
  ASSERT_EQ(r.outcome, backups::Outcome::Restored) << r.status.description().toStdString();
  EXPECT_EQ(QFileInfo(r.kept).fileName(), QStringLiteral("kvbeforerestore20261207103016.mdb"));
  EXPECT_EQ(test::fileHash(r.kept), oldHash);
  EXPECT_EQ(test::fileHash(dir.file(kKept)), earlierKept);
  EXPECT_EQ(test::fileHash(db), backupHash);
  EXPECT_EQ(test::fileHash(backup), backupHash) << "the backup stays";
  EXPECT_EQ(test::queryText(db, "SELECT count(*) FROM Contacts"), QStringLiteral("7"));
  struct stat st = {};
  ASSERT_EQ(::stat(QFile::encodeName(db).constData(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  if (root) {
    EXPECT_EQ(st.st_uid, 65534u);
  }

  // The kept copy is itself a file restore accepts.
  EXPECT_EQ(backups::restore(db, r.kept, kNow.addSecs(60)).outcome, backups::Outcome::Restored);
  EXPECT_EQ(test::fileHash(db), oldHash);
}

TEST_F(BackupStore, RestoreOfALostDatabaseHasNothingToKeep) {
  make("kvbackup01122026.mdb", 9);
  ASSERT_TRUE(QFile::remove(db));
  const backups::RestoreResult r = backups::restore(db, "01122026", kNow);
  ASSERT_EQ(r.outcome, backups::Outcome::Restored) << r.status.description().toStdString();
  EXPECT_TRUE(r.kept.isEmpty());
  EXPECT_EQ(test::queryText(db, "SELECT count(*) FROM Contacts"), QStringLiteral("9"));
  EXPECT_EQ(remaining(), QStringList({"kestrova.mdb", "kvbackup01122026.mdb"}));
}

}  // namespace
