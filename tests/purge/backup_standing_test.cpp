// What stands at a backup's name (backups::standingOf), and retention that
// counts only real backups and names in a dry run what the real run removes.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "purge/backup_store.h"
#include "shop_state.h"
#include "support/file_ops_support.h"
#include "support/sandbox.h"

namespace {

using backups::Standing;

const QDate kToday(2026, 12, 7);

QByteArray native(const QString& path) { return QFile::encodeName(path); }

TEST(BackupStanding, OnlyARegularCopyOfTheShopsDatabaseIsValid) {
  test::TempDir dir;
  const QString db = dir.file("kestrova.mdb");
  ASSERT_TRUE(test::makeShopCopy(db, 30));
  ASSERT_TRUE(test::makeShopCopy(dir.file("copy.mdb")));
  ASSERT_TRUE(test::makeShopCopy(dir.file("odd ?#%name.mdb")));
  ASSERT_TRUE(QFile::link(dir.file("copy.mdb"), dir.file("link.mdb")));
  ASSERT_TRUE(QFile::link(dir.file("gone.mdb"), dir.file("dangling.mdb")));
  ASSERT_EQ(::link(native(db).constData(), native(dir.file("hard.mdb")).constData()), 0);
  ASSERT_EQ(::mkfifo(native(dir.file("fifo.mdb")).constData(), 0644), 0);
  ASSERT_TRUE(test::writeFile(dir.file("text.mdb"), "kvbackup"));
  ASSERT_TRUE(test::writeFile(dir.file("empty.mdb"), ""));
  ASSERT_TRUE(test::execSql(dir.file("blank.mdb"), "PRAGMA user_version = 3"));
  ASSERT_TRUE(test::makeContactsDb(dir.file("other.mdb"), 5));
  ASSERT_TRUE(QDir(dir.path()).mkdir("folder.mdb"));

  const struct {
    const char* name;
    Standing standing;
  } cases[] = {
      {"copy.mdb", Standing::Valid},    {"odd ?#%name.mdb", Standing::Valid}, {"missing.mdb", Standing::Absent},
      {"folder.mdb", Standing::Absent}, {"link.mdb", Standing::Foreign},      {"dangling.mdb", Standing::Foreign},
      {"hard.mdb", Standing::Foreign},  {"kestrova.mdb", Standing::Foreign},  {"fifo.mdb", Standing::Foreign},
      {"text.mdb", Standing::Foreign},  {"empty.mdb", Standing::Foreign},     {"blank.mdb", Standing::Foreign},
      {"other.mdb", Standing::Foreign}};
  for (const auto& c : cases) EXPECT_EQ(backups::standingOf(dir.file(c.name), db), c.standing) << c.name;

  // A database reached through a link: the file it names is the database.
  ASSERT_TRUE(QFile::link(db, dir.file("db-link.mdb")));
  EXPECT_EQ(backups::standingOf(db, dir.file("db-link.mdb")), Standing::Foreign);
}

TEST(BackupStanding, NothingBesideTheCopyIsTouchedOrPlayedBack) {
  test::TempDir dir;
  const QString db = dir.file("kestrova.mdb"), copy = dir.file("kvbackup01122026.mdb");
  ASSERT_TRUE(test::makeShopCopy(db));
  ASSERT_TRUE(test::makeShopCopy(copy, 200));
  ASSERT_TRUE(test::crashMidTransaction(copy, "DELETE FROM Contacts;"));
  const QByteArray copyHash = test::fileHash(copy), journalHash = test::fileHash(copy + "-journal");
  ASSERT_FALSE(journalHash.isEmpty());
  const QStringList before = test::folderEntries(dir.path());

  EXPECT_EQ(backups::standingOf(copy, db), Standing::Valid);
  EXPECT_EQ(test::fileHash(copy), copyHash);
  EXPECT_EQ(test::fileHash(copy + "-journal"), journalHash) << "the hot journal is not played back";
  EXPECT_EQ(test::folderEntries(dir.path()), before);
}

class Retention : public ::testing::Test {
 protected:
  void SetUp() override {
    db = dir.file("kestrova.mdb");
    ASSERT_TRUE(test::makeShopCopy(db, 20));
  }
  QStringList named(const QList<backups::Removal>& removals) const {
    QStringList out;
    for (const backups::Removal& r : removals) out << QFileInfo(r.backup.path).fileName();
    return out;
  }
  test::TempDir dir;
  QString db;
};

TEST_F(Retention, OnlyRealBackupsAreCountedOrRemoved) {
  for (const char* name :
       {"kvbackup01112026.mdb", "kvbackup01102026.mdb", "kvbackup01092026.mdb", "kvbackup01012020.mdb\n"})
    ASSERT_TRUE(test::makeShopCopy(dir.file(name)));
  ASSERT_TRUE(test::makeContactsDb(dir.file("kvbackup15112026.mdb"), 5));  // another schema, newest
  ASSERT_EQ(::link(native(db).constData(), native(dir.file("kvbackup20112026.mdb")).constData()), 0);
  QList<backups::Removal> removals;
  ASSERT_TRUE(backups::keepNewest(db, 1, kToday, false, removals).ok());
  EXPECT_EQ(named(removals), QStringList({"kvbackup01102026.mdb", "kvbackup01092026.mdb"}));
  EXPECT_EQ(test::folderEntries(dir.path()),
            QStringList({"kestrova.mdb", "kvbackup01012020.mdb\n", "kvbackup01112026.mdb", "kvbackup15112026.mdb",
                         "kvbackup20112026.mdb"}));
}

// The real run makes today's backup first, then keeps the newest N; its dry
// run, told that today's backup would be made, names the very same files.
TEST_F(Retention, ADryRunNamesWhatTheRealRunRemoves) {
  for (const char* name :
       {"kvbackup01112026.mdb", "kvbeforerestore20261020090000.mdb", "kvbackup01102026.mdb", "kvbackup01092026.mdb"})
    ASSERT_TRUE(test::makeShopCopy(dir.file(name)));
  for (int keep : {1, 2, 3, 4, 6}) {
    QList<backups::Removal> dry, real;
    ASSERT_TRUE(backups::keepNewest(db, keep, kToday, true, dry, true).ok());
    const QStringList before = test::folderEntries(dir.path());
    ASSERT_TRUE(QFile::copy(db, dir.file(backups::nameForDate(kToday))));  // what the purge makes first
    ASSERT_TRUE(backups::keepNewest(db, keep, kToday, false, real).ok());
    EXPECT_EQ(named(dry), named(real)) << "keep " << keep;
    EXPECT_FALSE(named(real).isEmpty() && keep < 4) << "keep " << keep;
    // Put things back for the next number.
    ASSERT_TRUE(QFile::remove(dir.file(backups::nameForDate(kToday))));
    for (const QString& name : named(real)) ASSERT_TRUE(test::makeShopCopy(dir.file(name)));
    ASSERT_EQ(test::folderEntries(dir.path()), before);
  }
}

}  // namespace
