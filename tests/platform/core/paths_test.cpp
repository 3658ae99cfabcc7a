// Drive letters, backslashes and POSIX paths through the resolver.
#include <optional>

#include <gtest/gtest.h>

#include "platform/core/paths.h"
#include "support/test_helpers.h"

namespace {

TEST(PathResolver, DriveLettersOfEitherCaseLandInTheDriveRoot) {
  std::optional<test::EnvScope> drive;
  drive.emplace("KESTROVA_DRIVE_C", "/tmp/rootc");
  EXPECT_EQ(paths::resolve(QStringLiteral("C:\\kestrova\\kestrova.mdb")),
            QStringLiteral("/tmp/rootc/kestrova/kestrova.mdb"));
  EXPECT_EQ(paths::resolve(QStringLiteral("c:\\kestrova\\kvTemp.mdb")),
            QStringLiteral("/tmp/rootc/kestrova/kvTemp.mdb"));
  EXPECT_EQ(paths::resolve(QStringLiteral("C:kestrova.mdb")), QStringLiteral("/tmp/rootc/kestrova.mdb"));
  EXPECT_EQ(paths::resolve(QStringLiteral("C:")), QStringLiteral("/tmp/rootc"));
  drive.emplace("KESTROVA_DRIVE_C", "/tmp/rootc/");
  EXPECT_EQ(paths::resolve(QStringLiteral("C:\\a")), QStringLiteral("/tmp/rootc/a"));
}

TEST(PathResolver, EachDriveHasItsOwnVariableAndDefault) {
  test::EnvScope driveD("KESTROVA_DRIVE_D", "/mnt/d");
  EXPECT_EQ(paths::resolve(QStringLiteral("d:\\x.txt")), QStringLiteral("/mnt/d/x.txt"));
  test::EnvScope driveE("KESTROVA_DRIVE_E", nullptr);
  test::EnvScope data("XDG_DATA_HOME", "/home/u/.data");
  EXPECT_EQ(paths::resolve(QStringLiteral("E:\\y")), QStringLiteral("/home/u/.data/kestrova/drive_e/y"));
}

TEST(PathResolver, PosixAndRelativePathsPassThrough) {
  EXPECT_EQ(paths::resolve(QStringLiteral("/var/tmp/kestrova.mdb")), QStringLiteral("/var/tmp/kestrova.mdb"));
  EXPECT_EQ(paths::resolve(QStringLiteral("rel/dir/file")), QStringLiteral("rel/dir/file"));
  EXPECT_EQ(paths::resolve(QString()), QString());
  // A colon elsewhere is no drive.
  EXPECT_EQ(paths::resolve(QStringLiteral("/tmp/a:b")), QStringLiteral("/tmp/a:b"));
}

// Outside a drive path a backslash is a character of a file name, so
// "odd\name.mdb" never becomes another file, odd/name.mdb.
TEST(PathResolver, BackslashesSeparateOnlyInDrivePaths) {
  test::EnvScope drive("KESTROVA_DRIVE_Q", "/tmp/rootq");
  EXPECT_EQ(paths::resolve(QStringLiteral("odd\\name.mdb")), QStringLiteral("odd\\name.mdb"));
  EXPECT_EQ(paths::resolve(QStringLiteral("/srv/shop\\x\\kv.mdb")), QStringLiteral("/srv/shop\\x\\kv.mdb"));
  EXPECT_EQ(paths::resolve(QStringLiteral("\\kestrova\\kv.mdb")), QStringLiteral("\\kestrova\\kv.mdb"));
  EXPECT_EQ(paths::resolve(QStringLiteral("q:/mixed\\sep")), QStringLiteral("/tmp/rootq/mixed/sep"));
  EXPECT_FALSE(paths::isDrivePath(QStringLiteral("1:\\x")));
  EXPECT_FALSE(paths::isDrivePath(QStringLiteral("\u00e9:\\x")));
}

}  // namespace
