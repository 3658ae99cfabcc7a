// Files_: presence, deletion with and without the "Can't Delete a File ..."
// box, and the copy's result and out arguments.
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>

#include "data/files_.h"
#include "platform/core/runtime_error.h"
#include "support/file_ops_support.h"
#include "support/recording_presenter.h"
#include "support/sandbox.h"

namespace {

const QString kInUse = QStringLiteral("The file is in use by another program.");

void makeReadOnly(const QString& path) { ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0444), 0); }

QString deleteBoxText(const QString& path) {
  return QStringLiteral("Purge Database program has failed to delete:\r") + path +
         QStringLiteral("  file ...\r\rPlease make sure it's not open or its 'ReadOnly' property unchecked !!!");
}

QString driveFile(const QString& name) { return qEnvironmentVariable("KESTROVA_DRIVE_C") + "/kestrova/" + name; }

TEST(FileExists, FoldersHiddenAndMissingAreAbsentReadOnlyIsPresent) {
  test::TempDir dir;
  ASSERT_TRUE(QDir(dir.path()).mkdir("kvbackup01012004.mdb"));
  ASSERT_TRUE(test::writeFile(dir.file(".kestrova.mdb"), "x"));
  ASSERT_TRUE(test::writeFile(dir.file("kvTemp.mdb"), "x"));
  makeReadOnly(dir.file("kvTemp.mdb"));
  EXPECT_FALSE(FileExists(dir.file("kvbackup01012004.mdb")));
  EXPECT_FALSE(FileExists(dir.file(".kestrova.mdb")));
  EXPECT_FALSE(FileExists(dir.file("kestrova.mdb")));
  EXPECT_TRUE(FileExists(dir.file("kvTemp.mdb")));
}

TEST(FileExists, ASearchThatCannotBeMadeIsAFailureOfTheCaller) {
  test::TempDir dir;
  const QString tooLong = dir.file(QString(300, QLatin1Char('a')));
  try {
    FileExists(tooLong);
    FAIL() << "no error raised";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), ENAMETOOLONG);
    EXPECT_EQ(e.description(), QString::fromLocal8Bit(std::strerror(ENAMETOOLONG)));
  }
  // Below a file that is not a folder: simply absent.
  ASSERT_TRUE(test::writeFile(dir.file("plain"), "x"));
  EXPECT_FALSE(FileExists(dir.file("plain/kestrova.mdb")));
}

TEST(DeleteFile, MissingOrDeletableFilesSucceedSilently) {
  test::RecordingPresenter rec(true);
  test::TempDir dir;
  for (bool flag : {true, false}) {
    EXPECT_TRUE(DeleteFile(dir.file("missing.mdb"), flag));
    ASSERT_TRUE(test::writeFile(dir.file("old.mdb"), "x"));
    EXPECT_TRUE(DeleteFile(dir.file("old.mdb"), flag));
    EXPECT_FALSE(QFile::exists(dir.file("old.mdb")));
  }
  EXPECT_TRUE(rec.boxes.empty());
}

// A file that cannot go stays, and only the flag decides whether the
// operator is told; the box names the path as the caller wrote it.
TEST(DeleteFile, UndeletableFileStaysAndTheFlagDecidesTheBox) {
  const QString given = QStringLiteral("c:\\kestrova\\kvTemp.mdb");
  const QString native = driveFile("kvTemp.mdb");
  for (bool inUse : {false, true}) {
    for (bool flag : {true, false}) {
      test::RecordingPresenter rec(true);
      QFile(native).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
      ASSERT_TRUE(test::writeFile(native, "leftover"));
      std::unique_ptr<test::OpenFileChild> writer;
      if (inUse) {
        writer = std::make_unique<test::OpenFileChild>(native);
        ASSERT_TRUE(writer->ready());
      } else {
        makeReadOnly(native);
      }
      EXPECT_FALSE(DeleteFile(given, flag));
      EXPECT_EQ(test::readFile(native), QByteArray("leftover"));
      if (flag) {
        ASSERT_EQ(rec.boxes.size(), 1u);
        EXPECT_EQ(rec.boxes[0].prompt, deleteBoxText(given));
        EXPECT_EQ(rec.boxes[0].style, 64);
        EXPECT_EQ(rec.boxes[0].title, QStringLiteral("Can't Delete a File ..."));
      } else {
        EXPECT_TRUE(rec.boxes.empty());
      }
    }
  }
  QFile(native).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
  QFile::remove(native);
}

TEST(CopyFile, ReplacingSucceedsAndClearsTheOutArguments) {
  test::TempDir dir;
  ASSERT_TRUE(test::writeFile(dir.file("kestrova.mdb"), "database"));
  ASSERT_TRUE(test::writeFile(dir.file("kvbackup.mdb"), "yesterday"));
  QString desc = QStringLiteral("stale");
  int32_t num = 99;
  EXPECT_TRUE(CopyFile(dir.file("kestrova.mdb"), dir.file("kvbackup.mdb"), desc, num));
  EXPECT_EQ(num, 0);
  EXPECT_TRUE(desc.isEmpty());
  EXPECT_EQ(test::readFile(dir.file("kvbackup.mdb")), QByteArray("database"));
}

TEST(CopyFile, DrivePathsAreResolved) {
  ASSERT_TRUE(test::writeFile(driveFile("kestrova.mdb"), "database"));
  QString desc;
  int32_t num = -1;
  EXPECT_TRUE(CopyFile("C:\\kestrova\\kestrova.mdb", "C:\\kestrova\\kvbackup05032004.mdb", desc, num));
  EXPECT_EQ(test::readFile(driveFile("kvbackup05032004.mdb")), QByteArray("database"));
}

// Failures return false with the platform's number and description and leave
// the destination as it was.
TEST(CopyFile, FailuresReportNumberAndDescription) {
  test::TempDir dir;
  const QString src = dir.file("kestrova.mdb"), dst = dir.file("kvbackup.mdb");
  ASSERT_TRUE(test::writeFile(src, "database"));
  struct Case {
    const char* what;
    QString from;
    int number;
    QString description;
    bool readOnlyDst;
    int heldOpen;  // 0 none, 1 source, 2 destination
  };
  const Case cases[] = {
      {"missing source", dir.file("missing.mdb"), ENOENT, QString::fromLocal8Bit(std::strerror(ENOENT)), false, 0},
      {"read-only destination", src, EACCES, QString::fromLocal8Bit(std::strerror(EACCES)), true, 0},
      {"source written by another program", src, EBUSY, kInUse, false, 1},
      {"destination written by another program", src, EBUSY, kInUse, false, 2},
  };
  for (const Case& c : cases) {
    QFile(dst).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    ASSERT_TRUE(test::writeFile(dst, "yesterday"));
    if (c.readOnlyDst) makeReadOnly(dst);
    std::unique_ptr<test::OpenFileChild> writer;
    if (c.heldOpen) {
      writer = std::make_unique<test::OpenFileChild>(c.heldOpen == 1 ? src : dst);
      ASSERT_TRUE(writer->ready());
    }
    QString desc;
    int32_t num = 0;
    EXPECT_FALSE(CopyFile(c.from, dst, desc, num)) << c.what;
    EXPECT_EQ(num, c.number) << c.what;
    EXPECT_EQ(desc, c.description) << c.what;
    EXPECT_EQ(test::readFile(dst), QByteArray("yesterday")) << c.what;
  }
}

TEST(CopyFile, HiddenDestinationIsNotPresentSoTheCopyIsNotASuccess) {
  test::TempDir dir;
  ASSERT_TRUE(test::writeFile(dir.file("kestrova.mdb"), "database"));
  QString desc;
  int32_t num = -1;
  EXPECT_FALSE(CopyFile(dir.file("kestrova.mdb"), dir.file(".hidden.mdb"), desc, num));
  EXPECT_EQ(num, 0);
  EXPECT_TRUE(desc.isEmpty());
}

}  // namespace
