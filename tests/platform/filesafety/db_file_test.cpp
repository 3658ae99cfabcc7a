// The database file object: a write lock that exists only while held and
// survives the file's own checks, and a journal redirect per compaction.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "platform/filesafety/db_file.h"
#include "platform/filesafety/journal_redirect.h"
#include "support/file_ops_support.h"
#include "support/sandbox.h"

namespace {

using db::DbFile;

// What another program's writer meets: SQLITE_OK when it may begin writing
// at once (it then lets go again), else SQLite's code.
int writerMeets(const QString& path) {
  db::RawConnection other;
  if (!other.open(QFile::encodeName(path), SQLITE_OPEN_READWRITE).ok()) return SQLITE_CANTOPEN;
  sqlite3_busy_timeout(other.handle(), 0);
  const int rc = sqlite3_exec(other.handle(), "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
  if (rc == SQLITE_OK) sqlite3_exec(other.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
  return rc;
}

TEST(DbFileLock, HeldUntilResetThroughTheFilesOwnChecks) {
  test::TempDir dir;
  const QString path = dir.file("kestrova.mdb");
  ASSERT_TRUE(test::makeContactsDb(path, 20));
  const DbFile file(path);
  Status refusal = Status::Error(1, "unset");
  std::optional<DbFile::WriteLock> lock = file.lockWrites(refusal);
  ASSERT_TRUE(lock.has_value());
  EXPECT_TRUE(refusal.ok());
  EXPECT_EQ(writerMeets(path), SQLITE_BUSY);

  // Checks of the file while this process holds it must not let go of it:
  // a descriptor opened and closed by hand would drop the lock.
  EXPECT_TRUE(file.checkHeader().ok());
  EXPECT_TRUE(file.useStatus().ok());
  EXPECT_FALSE(file.hasLiveSidecar());
  EXPECT_EQ(writerMeets(path), SQLITE_BUSY);

  // A second lock of this process waits like any other writer.
  Status second;
  EXPECT_FALSE(file.lockWrites(second).has_value());
  EXPECT_EQ(second.number(), EBUSY);

  lock.reset();
  EXPECT_EQ(writerMeets(path), SQLITE_OK);
}

// In WAL mode a commit lands in the -wal file alone: the lock is had only
// with the WAL folded in and empty, and no writer can fill it while held.
TEST(DbFileLock, WalModeIsLockedWithItsWalEmpty) {
  test::TempDir dir;
  const QString path = dir.file("kestrova.mdb");
  ASSERT_TRUE(test::makeContactsDb(path, 20));
  sqlite3* shop = nullptr;  // the shop's connection keeps the WAL from going on close
  ASSERT_EQ(sqlite3_open(QFile::encodeName(path).constData(), &shop), SQLITE_OK);
  ASSERT_EQ(
      sqlite3_exec(shop, "PRAGMA journal_mode=WAL; INSERT INTO Contacts(Name) VALUES('w');", nullptr, nullptr, nullptr),
      SQLITE_OK);
  ASSERT_GT(QFileInfo(path + "-wal").size(), 0);
  ASSERT_EQ(sqlite3_close(shop), SQLITE_OK);
  ASSERT_TRUE(test::execSql(path, "PRAGMA wal_autocheckpoint=0; INSERT INTO Contacts(Name) VALUES('x')"));

  Status refusal = Status::Error(1, "unset");
  std::optional<DbFile::WriteLock> lock = DbFile(path).lockWrites(refusal);
  ASSERT_TRUE(lock.has_value()) << refusal.description().toStdString();
  EXPECT_EQ(QFileInfo(path + "-wal").size(), 0);
  EXPECT_EQ(writerMeets(path), SQLITE_BUSY);
  lock.reset();
  EXPECT_EQ(writerMeets(path), SQLITE_OK);
  EXPECT_EQ(test::queryText(path, "SELECT count(*) FROM Contacts WHERE Name IN ('w', 'x')"), QString("2"));
}

TEST(DbFileLock, NothingToLockIsNoLockAndNoRefusal) {
  test::TempDir dir;
  const QString garbage = dir.file("garbage.mdb");
  ASSERT_TRUE(test::writeFile(garbage, QByteArray(4096, 'g')));
  for (const QString& path : {dir.file("missing.mdb"), dir.path(), garbage}) {
    Status refusal = Status::Error(1, "unset");
    EXPECT_FALSE(DbFile(path).lockWrites(refusal).has_value()) << path.toStdString();
    EXPECT_TRUE(refusal.ok()) << path.toStdString() << ": " << refusal.description().toStdString();
  }
}

// A database its owner may only read cannot be replaced either: there is
// nothing to lock, and the replacement refuses it later with EACCES. It was
// once refused here as number 5, "not an error". Checked in a child that
// gives up root (which may write any file) for the file's owner.
TEST(DbFileLock, ADatabaseWeMayOnlyReadIsNothingToLock) {
  test::TempDir dir;
  const QString path = dir.file("kestrova.mdb");
  ASSERT_TRUE(test::makeContactsDb(path, 5));
  ASSERT_EQ(::chmod(QFile::encodeName(dir.path()).constData(), 0755), 0);
  ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0444), 0);
  ASSERT_EQ(::chown(QFile::encodeName(path).constData(), 65534, 65534), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(3);
    Status refusal = Status::Error(1, "unset");
    const bool locked = DbFile(path).lockWrites(refusal).has_value();
    ::_exit(locked ? 2 : refusal.ok() ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "2: locked, 1: refused, 3: could not give up root";
}

// Each compaction's shim redirects its own journal only, under a name of
// its own, and is gone with it: two can live at once.
TEST(JournalRedirect, EachRedirectsItsOwnJournalAndGoesWithIt) {
  test::TempDir dir;
  const QString a = dir.file("a.mdb"), b = dir.file("b.mdb");
  ASSERT_TRUE(test::makeContactsDb(a, 5));
  ASSERT_TRUE(test::makeContactsDb(b, 5));
  QByteArray nameA;
  {
    const db::JournalRedirect redirectA(DbFile(a).journalName());
    const db::JournalRedirect redirectB(DbFile(b).journalName());
    nameA = redirectA.vfsName();
    EXPECT_NE(nameA, QByteArray(redirectB.vfsName()));
    ASSERT_NE(sqlite3_vfs_find(redirectA.vfsName()), nullptr);

    // Through A, a's journal is anonymous; b's is where SQLite keeps it.
    for (const QString& path : {a, b}) {
      db::RawConnection c;
      ASSERT_TRUE(c.open(QFile::encodeName(path), SQLITE_OPEN_READWRITE, redirectA.vfsName()).ok());
      ASSERT_TRUE(c.run("BEGIN").ok());
      ASSERT_TRUE(c.run("DELETE FROM Contacts").ok());
      EXPECT_EQ(QFile::exists(path + "-journal"), path == b) << path.toStdString();
      ASSERT_TRUE(c.run("COMMIT").ok());
    }
  }
  EXPECT_EQ(sqlite3_vfs_find(nameA.constData()), nullptr);
  EXPECT_EQ(test::queryText(a, "SELECT count(*) FROM Contacts"), QString("0"));
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name), QStringList({"a.mdb", "b.mdb"}));
}

}  // namespace
