// The file-system layer: presence, read-only and in-use refusals, and a copy
// that replaces a file whole or not at all.
#include <sys/stat.h>
#include <unistd.h>

#include <optional>

#include <cerrno>
#include <csignal>

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <cstdio>

#include "platform/filesafety/db_file.h"
#include "platform/filesafety/files.h"
#include "support/file_ops_support.h"
#include "support/sandbox.h"

namespace {

void makeReadOnly(const QString& path) { ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0444), 0); }

mode_t modeOf(const QString& path) {
  struct stat st;
  return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? (st.st_mode & 0777) : 0;
}

// Names in a folder, hidden ones included.
QStringList entries(const QString& dir) {
  return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

TEST(FilePresence, OnlyVisibleRegularFilesArePresent) {
  test::TempDir dir;
  ASSERT_TRUE(QDir(dir.path()).mkdir("folder"));
  ASSERT_TRUE(test::writeFile(dir.file(".hidden"), "x"));
  ASSERT_TRUE(test::writeFile(dir.file("plain.mdb"), "x"));
  ASSERT_TRUE(test::writeFile(dir.file("locked.mdb"), "x"));
  makeReadOnly(dir.file("locked.mdb"));
  ASSERT_EQ(::mkfifo(QFile::encodeName(dir.file("pipe")).constData(), 0644), 0);

  const struct {
    const char* name;
    bool present;
  } cases[] = {{"folder", false}, {".hidden", false},  {"missing.mdb", false},
               {"pipe", false},   {"plain.mdb", true}, {"locked.mdb", true}};
  for (const auto& c : cases) EXPECT_EQ(files::isPresent(dir.file(c.name)), c.present) << c.name;
  EXPECT_TRUE(files::isReadOnly(dir.file("locked.mdb")));
  EXPECT_FALSE(files::isReadOnly(dir.file("plain.mdb")));
}

TEST(FilePresence, DrivePathsResolveIntoTheDrive) {
  const QString native = qEnvironmentVariable("KESTROVA_DRIVE_C") + "/kestrova/present.mdb";
  ASSERT_TRUE(test::writeFile(native, "x"));
  EXPECT_TRUE(files::isPresent("C:\\kestrova\\present.mdb"));
  EXPECT_TRUE(files::isPresent("c:\\kestrova\\present.mdb"));
  EXPECT_FALSE(files::isPresent("C:\\kestrova\\absent.mdb"));
}

TEST(InUse, OnlyAnotherProcessWritingCounts) {
  test::TempDir dir;
  const QString path = dir.file("shop.mdb");
  ASSERT_TRUE(test::writeFile(path, "data"));
  EXPECT_FALSE(files::isInUse(path));
  {
    test::OpenFileChild reader(path, false);
    ASSERT_TRUE(reader.ready());
    EXPECT_FALSE(files::isInUse(path));
  }
  {
    QFile ours(path);
    ASSERT_TRUE(ours.open(QIODevice::ReadWrite));
    EXPECT_FALSE(files::isInUse(path)) << "our own descriptors never count";
  }
  {
    test::OpenFileChild writer(path);
    ASSERT_TRUE(writer.ready());
    EXPECT_TRUE(files::isInUse(path));
  }
  EXPECT_FALSE(files::isInUse(path));
  EXPECT_FALSE(files::isInUse(dir.file("missing")));
}

// A program that opens the file while the in-use test holds its lease breaks
// the lease, and the kernel says so with SIGIO: that notice must not end us.
TEST(InUse, TheNoticeOfABrokenLeaseCannotEndTheProgram) {
  test::TempDir dir;
  const QString path = dir.file("shop.mdb");
  ASSERT_TRUE(test::writeFile(path, "data"));
  EXPECT_FALSE(files::isInUse(path));
  ASSERT_EQ(::raise(SIGIO), 0);
}

TEST(RemoveFile, RefusesReadOnlyAndInUseFilesAndKeepsThem) {
  test::TempDir dir;
  const QString locked = dir.file("locked.mdb"), busy = dir.file("busy.mdb"), plain = dir.file("plain.mdb");
  for (const QString& p : {locked, busy, plain}) ASSERT_TRUE(test::writeFile(p, "x"));
  makeReadOnly(locked);

  Status s = files::removeFile(locked);
  EXPECT_EQ(s.number(), EACCES);
  EXPECT_TRUE(QFile::exists(locked));

  {
    test::OpenFileChild writer(busy);
    ASSERT_TRUE(writer.ready());
    s = files::removeFile(busy);
    EXPECT_EQ(s.number(), EBUSY);
    EXPECT_EQ(s.description(), QString("The file is in use by another program."));
    EXPECT_TRUE(QFile::exists(busy));
  }

  EXPECT_EQ(files::removeFile(dir.path()).number(), EISDIR);
  EXPECT_EQ(files::removeFile(dir.file("missing")).number(), ENOENT);
  EXPECT_TRUE(files::removeFile(plain).ok());
  EXPECT_FALSE(QFile::exists(plain));
}

TEST(CopyFile, ReplacesTheDestinationWholeAndLeavesNoTemporary) {
  test::TempDir dir;
  const QString src = dir.file("src.mdb"), dst = dir.file("dst.mdb");
  ASSERT_TRUE(test::writeFile(src, QByteArray(300000, 'n')));
  ASSERT_TRUE(test::writeFile(dst, "old"));
  ASSERT_EQ(::chmod(QFile::encodeName(dst).constData(), 0640), 0);

  const Status s = files::copyFile(src, dst);
  ASSERT_TRUE(s.ok()) << s.description().toStdString();
  EXPECT_EQ(test::readFile(dst), QByteArray(300000, 'n'));
  EXPECT_EQ(modeOf(dst), 0640u) << "a replaced file keeps its own permissions";
  EXPECT_EQ(entries(dir.path()), QStringList({"dst.mdb", "src.mdb"}));
}

// The compacted file renamed into place: it becomes the database with the
// database's mode and owner, through a link the file it names is replaced,
// and a read-only database or one in another folder is refused untouched.
TEST(ReplaceWith, TheNewFileTakesThePlaceModeAndOwnerOfTheOld) {
  test::TempDir dir;
  const QString fresh = dir.file("kvTemp.mdb"), db = dir.file("kestrova.mdb"), link = dir.file("shop.mdb");
  ASSERT_TRUE(test::writeFile(db, "old"));
  ASSERT_EQ(::chmod(QFile::encodeName(db).constData(), 0640), 0);
  const bool root = ::geteuid() == 0;
  if (root) {
    ASSERT_EQ(::chown(QFile::encodeName(db).constData(), 65534, 65534), 0);
  }
  ASSERT_EQ(::symlink("kestrova.mdb", QFile::encodeName(link).constData()), 0);
  ASSERT_TRUE(test::writeFile(fresh, "compacted"));

  const Status s = files::replaceWith(fresh, link);
  ASSERT_TRUE(s.ok()) << s.description().toStdString();
  EXPECT_EQ(test::readFile(db), QByteArray("compacted"));
  EXPECT_EQ(QFileInfo(link).symLinkTarget(), db);
  EXPECT_EQ(modeOf(db), 0640u);
  struct stat st {};
  ::stat(QFile::encodeName(db).constData(), &st);
  if (root) {
    EXPECT_EQ(st.st_uid, 65534u);
  }
  EXPECT_EQ(entries(dir.path()), QStringList({"kestrova.mdb", "shop.mdb"}));

  test::TempDir other;
  const QString elsewhere = other.file("kvTemp.mdb");
  ASSERT_TRUE(test::writeFile(elsewhere, "new"));
  EXPECT_EQ(files::replaceWith(elsewhere, db).number(), EXDEV);
  ASSERT_TRUE(test::writeFile(fresh, "new"));
  ASSERT_EQ(::chmod(QFile::encodeName(db).constData(), 0444), 0);
  EXPECT_EQ(files::replaceWith(fresh, db).number(), EACCES);
  EXPECT_EQ(test::readFile(db), QByteArray("compacted"));
}

TEST(CopyFile, NewDestinationTakesTheSourcePermissions) {
  test::TempDir dir;
  const QString src = dir.file("src.mdb"), dst = dir.file("new.mdb");
  ASSERT_TRUE(test::writeFile(src, "abc"));
  ASSERT_EQ(::chmod(QFile::encodeName(src).constData(), 0604), 0);
  ASSERT_TRUE(files::copyFile(src, dst).ok());
  EXPECT_EQ(test::readFile(dst), QByteArray("abc"));
  EXPECT_EQ(modeOf(dst), 0604u);
}

// Run as root, a new copy of another user's file is that user's (the kept
// copy of a restore, the day's backup); a replaced file keeps its own owner.
TEST(CopyFile, NewDestinationTakesTheSourceOwnerWhenRoot) {
  if (::geteuid() != 0) GTEST_SKIP() << "only root can give a file to another user";
  test::TempDir dir;
  const QString src = dir.file("src.mdb"), fresh = dir.file("new.mdb"), old = dir.file("old.mdb");
  ASSERT_TRUE(test::writeFile(src, "abc"));
  ASSERT_TRUE(test::writeFile(old, "old"));
  ASSERT_EQ(::chown(QFile::encodeName(src).constData(), 65534, 100), 0);
  ASSERT_EQ(::chmod(QFile::encodeName(src).constData(), 0640), 0);
  ASSERT_TRUE(files::copyFile(src, fresh).ok());
  ASSERT_TRUE(files::copyFile(src, old).ok());
  struct stat st {};
  ASSERT_EQ(::stat(QFile::encodeName(fresh).constData(), &st), 0);
  EXPECT_EQ(st.st_uid, 65534u);
  EXPECT_EQ(st.st_gid, 100u);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  ASSERT_EQ(::stat(QFile::encodeName(old).constData(), &st), 0);
  EXPECT_EQ(st.st_uid, 0u) << "a replaced file keeps its own owner";
  EXPECT_EQ(test::readFile(old), QByteArray("abc"));
}

// A database this process holds the write lock of is copied without
// dropping that lock (closing a descriptor of ours on it would): another
// program still cannot commit after the copy.
TEST(CopyFile, ASourceHeldUnderOurWriteLockStaysLocked) {
  test::TempDir dir;
  const QString db = dir.file("kestrova.mdb"), copy = dir.file("kept.mdb");
  ASSERT_TRUE(test::makeContactsDb(db, 500));
  const QByteArray hash = test::fileHash(db);
  Status refusal;
  std::optional<db::DbFile::WriteLock> lock = db::DbFile(db).lockWrites(refusal);
  ASSERT_TRUE(lock.has_value()) << refusal.description().toStdString();
  const Status s = files::copyFile(db, copy);
  ASSERT_TRUE(s.ok()) << s.description().toStdString();
  EXPECT_EQ(test::fileHash(copy), hash);

  // Another program, not a fork of this one (a fork would share SQLite's
  // picture of this process's locks).
  QProcess other;
  other.start("python3", {"-c",
                          "import sqlite3, sys\n"
                          "c = sqlite3.connect(sys.argv[1], timeout=0)\n"
                          "try:\n"
                          "    c.execute('DELETE FROM Contacts'); c.commit(); print('committed')\n"
                          "except sqlite3.OperationalError as e:\n"
                          "    print(e)\n",
                          db});
  ASSERT_TRUE(other.waitForFinished(20000));
  EXPECT_EQ(other.readAllStandardOutput().trimmed(), QByteArray("database is locked"));
  lock.reset();
  EXPECT_EQ(test::fileHash(db), hash);
}

TEST(CopyFile, EmptySourceGivesEmptyDestination) {
  test::TempDir dir;
  ASSERT_TRUE(test::writeFile(dir.file("empty"), ""));
  ASSERT_TRUE(test::writeFile(dir.file("dst"), "old content"));
  ASSERT_TRUE(files::copyFile(dir.file("empty"), dir.file("dst")).ok());
  EXPECT_EQ(QFileInfo(dir.file("dst")).size(), 0);
}

// Every refusal happens before anything changes: the destination keeps its
// bytes and the folder gains no file.
TEST(CopyFile, RefusalsLeaveEverythingAsItWas) {
  test::TempDir dir;
  const QString src = dir.file("src.mdb"), dst = dir.file("dst.mdb");
  ASSERT_TRUE(test::writeFile(src, "new"));

  struct Case {
    const char* what;
    std::function<void()> arrange;
    QString from, to;
    int number;
  };
  const std::vector<Case> cases = {
      {"missing source", [] {}, dir.file("missing.mdb"), dst, ENOENT},
      {"source is a folder", [] {}, dir.path(), dst, EISDIR},
      {"destination folder missing", [] {}, src, dir.file("nowhere/dst.mdb"), ENOENT},
      {"destination is a folder", [&] { QDir(dir.path()).mkdir("sub"); }, src, dir.file("sub"), EISDIR},
      {"read-only destination", [&] { makeReadOnly(dst); }, src, dst, EACCES},
      {"source with a hot journal", [&] { test::writeFile(src + "-journal", "j"); }, src, dst, EBUSY},
      {"destination with a live WAL", [&] { test::writeFile(dst + "-wal", "w"); }, src, dst, EBUSY},
  };
  for (const Case& c : cases) {
    ::chmod(QFile::encodeName(dst).constData(), 0644);
    ASSERT_TRUE(test::writeFile(dst, "old"));
    QFile::remove(src + "-journal");
    QFile::remove(dst + "-wal");
    c.arrange();
    const QStringList before = entries(dir.path());
    const Status s = files::copyFile(c.from, c.to);
    EXPECT_EQ(s.number(), c.number) << c.what;
    EXPECT_FALSE(s.description().isEmpty()) << c.what;
    EXPECT_EQ(test::readFile(dst), QByteArray("old")) << c.what;
    EXPECT_EQ(entries(dir.path()), before) << c.what;
  }
}

TEST(CopyFile, EmptySidecarsDoNotBlock) {
  test::TempDir dir;
  ASSERT_TRUE(test::writeFile(dir.file("src.mdb"), "new"));
  ASSERT_TRUE(test::writeFile(dir.file("src.mdb-journal"), ""));
  ASSERT_TRUE(test::writeFile(dir.file("dst.mdb-wal"), ""));
  EXPECT_TRUE(files::copyFile(dir.file("src.mdb"), dir.file("dst.mdb")).ok());
}

TEST(CopyFile, RefusesFromAndOntoAFileAnotherProgramWrites) {
  test::TempDir dir;
  const QString src = dir.file("src.mdb"), dst = dir.file("dst.mdb");
  ASSERT_TRUE(test::writeFile(src, "new"));
  ASSERT_TRUE(test::writeFile(dst, "old"));
  for (const QString& held : {src, dst}) {
    test::OpenFileChild writer(held);
    ASSERT_TRUE(writer.ready());
    const Status s = files::copyFile(src, dst);
    EXPECT_EQ(s.number(), EBUSY);
    EXPECT_EQ(s.description(), QString("The file is in use by another program."));
    EXPECT_EQ(test::readFile(dst), QByteArray("old"));
    EXPECT_EQ(entries(dir.path()), QStringList({"dst.mdb", "src.mdb"}));
  }
  test::OpenFileChild reader(dst, false);
  ASSERT_TRUE(reader.ready());
  EXPECT_TRUE(files::copyFile(src, dst).ok()) << "a reader does not block the copy";
}

TEST(CopyFile, RemovesAStaleTemporaryOfAnEarlierCopy) {
  test::TempDir dir;
  const QString src = dir.file("src.mdb"), dst = dir.file("dst.mdb");
  ASSERT_TRUE(test::writeFile(src, "new"));
  ASSERT_TRUE(test::writeFile(files::copyTempPath(dst), "half a copy"));
  EXPECT_EQ(files::copyTempPath(dst), dir.file(".dst.mdb.kvcopy"));
  ASSERT_TRUE(files::copyFile(src, dst).ok());
  EXPECT_EQ(entries(dir.path()), QStringList({"dst.mdb", "src.mdb"}));
}

}  // namespace

namespace {

// Another program that writes a database file the way a committing writer
// with short connections does, without SQLite: for each "commit" it opens
// the file, puts a journal with its header begun beside it, writes the new
// change counter (offset 24) and then the same number into the last eight
// bytes, closes, removes the journal, puts the file's modification time
// back, so that only the counter and the journal tell of the write, and
// rests a few milliseconds before the next commit. A copy
// taken whole between two commits has the same number in both places.
const char* const kCounterWriter = R"py(
import os, struct, sys, time
db, stop = sys.argv[1:3]
st = os.stat(db)
size = st.st_size
n = 1000
said = False
while not os.path.exists(stop):
    n += 1
    with open(db + "-journal", "wb") as j:
        j.write(b"\xd9" + bytes(511))
    with open(db, "r+b") as f:
        f.seek(24); f.write(struct.pack(">I", n)); f.flush()
        f.seek(size - 8); f.write(struct.pack(">Q", n))
    os.unlink(db + "-journal")
    os.utime(db, ns=(st.st_atime_ns, st.st_mtime_ns))
    if not said:
        print("ready", flush=True)
        said = True
    time.sleep(0.01)
)py";

quint32 counterOf(const QByteArray& file) {
  if (file.size() < 28) return 0;
  const auto* b = reinterpret_cast<const unsigned char*>(file.constData());
  return (quint32(b[24]) << 24) | (quint32(b[25]) << 16) | (quint32(b[26]) << 8) | quint32(b[27]);
}

quint64 tailOf(const QByteArray& file) {
  quint64 v = 0;
  for (qsizetype i = file.size() - 8; i >= 0 && i < file.size(); ++i) v = (v << 8) | quint8(file[i]);
  return v;
}

// Copies of a database taken while another program keeps committing to it
// with short connections are refused as in use, or whole: never a mix of two
// states.
TEST(CopyOfADatabase, CommitsDuringTheCopyRefuseItInsteadOfTearingIt) {
  test::TempDir dir;
  const QString src = dir.file("kestrova.mdb"), dst = dir.file("kvbackup.mdb");
  ASSERT_TRUE(test::makeContactsDb(src, 4000, 800));
  ASSERT_TRUE(test::writeFile(dir.file("writer.py"), kCounterWriter));
  QProcess writer;
  writer.start("python3", {dir.file("writer.py"), src, dir.file("stop")});
  ASSERT_TRUE(writer.waitForStarted(10000) && writer.waitForReadyRead(20000));
  const quint32 first = counterOf(test::readFile(src).left(28));

  int whole = 0, refused = 0;
  for (int i = 0; i < 40; ++i) {
    const Status s = files::copyFile(src, dst);
    if (s.ok()) {
      const QByteArray copy = test::readFile(dst);
      EXPECT_EQ(quint64(counterOf(copy)), tailOf(copy)) << "copy " << i << " is torn";
      ++whole;
    } else {
      EXPECT_EQ(s.number(), EBUSY) << s.description().toStdString();
      EXPECT_EQ(s.description(), QString("The file is in use by another program."));
      ++refused;
    }
    EXPECT_FALSE(QFile::exists(files::copyTempPath(dst)));
  }
  ASSERT_TRUE(test::writeFile(dir.file("stop"), "stop"));
  ASSERT_TRUE(writer.waitForFinished(30000));
  EXPECT_EQ(writer.exitCode(), 0) << writer.readAllStandardError().toStdString();
  EXPECT_GT(counterOf(test::readFile(src).left(28)), first) << "the writer committed meanwhile";
  std::printf("copies beside a committing writer: %d whole, %d refused\n", whole, refused);
}

// A database that nobody writes is copied byte for byte, its counter checks
// passing; a source whose first bytes only look like a database header but
// which is too short to hold a counter is copied as a plain file.
TEST(CopyOfADatabase, QuietDatabaseAndShortLookalikeAreCopied) {
  test::TempDir dir;
  const QString src = dir.file("kestrova.mdb"), dst = dir.file("kvbackup.mdb");
  ASSERT_TRUE(test::makeContactsDb(src, 500));
  ASSERT_TRUE(files::copyFile(src, dst).ok());
  EXPECT_EQ(test::fileHash(dst), test::fileHash(src));

  const QByteArray lookalike("SQLite format 3\0short", 21);
  ASSERT_TRUE(test::writeFile(src, lookalike));
  ASSERT_TRUE(files::copyFile(src, dst).ok());
  EXPECT_EQ(test::readFile(dst), lookalike);
}

}  // namespace
