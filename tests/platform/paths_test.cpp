// Drive letters, backslashes and POSIX paths through the resolver.
#include <optional>

#include <gtest/gtest.h>

#include "platform/paths.h"
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
  EXPECT_EQ(paths::resolve(QStringLiteral("rel\\dir")), QStringLiteral("rel/dir"));
  EXPECT_EQ(paths::resolve(QString()), QString());
  // A colon elsewhere is no drive.
  EXPECT_EQ(paths::resolve(QStringLiteral("/tmp/a:b")), QStringLiteral("/tmp/a:b"));
}

}  // namespace
