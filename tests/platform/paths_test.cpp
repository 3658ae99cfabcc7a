// Drive letters, backslashes and POSIX paths through the resolver.
#include <cstdlib>

#include <gtest/gtest.h>

#include "platform/paths.h"

namespace {

TEST(PathResolver, DriveLettersOfEitherCaseLandInTheDriveRoot) {
  setenv("KESTROVA_DRIVE_C", "/tmp/rootc", 1);
  EXPECT_EQ(paths::resolve(QStringLiteral("C:\\kestrova\\kestrova.mdb")),
            QStringLiteral("/tmp/rootc/kestrova/kestrova.mdb"));
  EXPECT_EQ(paths::resolve(QStringLiteral("c:\\kestrova\\kvTemp.mdb")),
            QStringLiteral("/tmp/rootc/kestrova/kvTemp.mdb"));
  EXPECT_EQ(paths::resolve(QStringLiteral("C:kestrova.mdb")), QStringLiteral("/tmp/rootc/kestrova.mdb"));
  EXPECT_EQ(paths::resolve(QStringLiteral("C:")), QStringLiteral("/tmp/rootc"));
  setenv("KESTROVA_DRIVE_C", "/tmp/rootc/", 1);
  EXPECT_EQ(paths::resolve(QStringLiteral("C:\\a")), QStringLiteral("/tmp/rootc/a"));
}

TEST(PathResolver, EachDriveHasItsOwnVariableAndDefault) {
  setenv("KESTROVA_DRIVE_D", "/mnt/d", 1);
  EXPECT_EQ(paths::resolve(QStringLiteral("d:\\x.txt")), QStringLiteral("/mnt/d/x.txt"));
  unsetenv("KESTROVA_DRIVE_E");
  setenv("XDG_DATA_HOME", "/home/u/.data", 1);
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
