// The sample-database maker's handling of the file system: it never replaces
// anything, leaves nothing behind, and writes the same bytes for the same options.
#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "sampledb/prng.h"
#include "sampledb/sample_db.h"
#include "sqlite_query.h"
#include "support/sandbox.h"

namespace {

sampledb::Options fixedOptions(std::uint64_t seed = 7, double scale = 1.0) {
  sampledb::Options options;
  options.seed = seed;
  options.scale = scale;
  options.today = QDate(2024, 6, 15);
  return options;
}

QStringList entries(const QString& folder) {
  return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

TEST(SampleDbRefusal, ExistingFileIsLeftUntouched) {
  test::TempDir dir;
  const QString path = dir.file(QStringLiteral("kestrova.mdb"));
  ASSERT_TRUE(test::writeFile(path, "the shop's real data"));
  const QString error = sampledb::make(path, fixedOptions());
  EXPECT_FALSE(error.isEmpty());
  EXPECT_EQ(test::readFile(path), QByteArray("the shop's real data"));
  EXPECT_EQ(entries(dir.path()), QStringList{QStringLiteral("kestrova.mdb")});
}

TEST(SampleDbRefusal, ExistingFolderIsLeftUntouched) {
  test::TempDir dir;
  const QString path = dir.file(QStringLiteral("target"));
  ASSERT_TRUE(QDir().mkpath(path + QStringLiteral("/inside")));
  EXPECT_FALSE(sampledb::make(path, fixedOptions()).isEmpty());
  EXPECT_TRUE(QFileInfo(path).isDir());
  EXPECT_EQ(entries(path), QStringList{QStringLiteral("inside")});
  EXPECT_EQ(entries(dir.path()), QStringList{QStringLiteral("target")});
}

TEST(SampleDbRefusal, LinksAreRefusedEvenWhenDangling) {
  test::TempDir dir;
  const QString real = dir.file(QStringLiteral("real.mdb"));
  ASSERT_TRUE(test::writeFile(real, "keep me"));
  const QString live = dir.file(QStringLiteral("live.mdb"));
  const QString dangling = dir.file(QStringLiteral("dangling.mdb"));
  ASSERT_TRUE(QFile::link(real, live));
  ASSERT_TRUE(QFile::link(dir.file(QStringLiteral("nowhere.mdb")), dangling));

  EXPECT_FALSE(sampledb::make(live, fixedOptions()).isEmpty());
  EXPECT_FALSE(sampledb::make(dangling, fixedOptions()).isEmpty());
  EXPECT_EQ(test::readFile(real), QByteArray("keep me"));
  EXPECT_FALSE(QFileInfo::exists(dir.file(QStringLiteral("nowhere.mdb"))));
  EXPECT_TRUE(QFileInfo(dangling).isSymLink());
  EXPECT_EQ(entries(dir.path()).size(), 3);
}

TEST(SampleDbRefusal, BadRequestsCreateNothing) {
  test::TempDir dir;
  struct Case {
    const char* name;
    QString path;
    double scale;
  } cases[] = {
      {"missing folder", dir.file(QStringLiteral("no/such/folder/x.mdb")), 1.0},
      {"zero scale", dir.file(QStringLiteral("x.mdb")), 0.0},
      {"negative scale", dir.file(QStringLiteral("x.mdb")), -3.0},
      {"not a number", dir.file(QStringLiteral("x.mdb")), std::nan("")},
      {"empty path", QString(), 1.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_FALSE(sampledb::make(c.path, fixedOptions(7, c.scale)).isEmpty());
    EXPECT_TRUE(entries(dir.path()).isEmpty()) << entries(dir.path()).join(QLatin1Char(' ')).toStdString();
  }
}

TEST(SampleDbFile, LeavesOnlyTheDatabaseInRollbackJournalModeAndIntact) {
  test::TempDir dir;
  const QString path = dir.file(QStringLiteral("kestrova.mdb"));
  ASSERT_EQ(sampledb::make(path, fixedOptions()), QString());
  EXPECT_EQ(entries(dir.path()), QStringList{QStringLiteral("kestrova.mdb")});
  EXPECT_EQ(test::column(path, QStringLiteral("PRAGMA journal_mode")), QStringList{QStringLiteral("delete")});
  EXPECT_EQ(test::column(path, QStringLiteral("PRAGMA integrity_check")), QStringList{QStringLiteral("ok")});
  // Bytes 18 and 19 of the header: 1 and 1 for a rollback-journal file (2 would mean WAL).
  const QByteArray header = test::readFile(path).left(20);
  ASSERT_EQ(header.size(), 20);
  EXPECT_EQ(header[18], 1);
  EXPECT_EQ(header[19], 1);
  EXPECT_TRUE(QFileInfo(path).permissions() & QFileDevice::ReadOther);
}

TEST(SampleDbFile, SameOptionsGiveTheSameBytesAndOtherSeedsOrDaysDoNot) {
  test::TempDir dir;
  auto build = [&](const QString& name, const sampledb::Options& options) {
    const QString path = dir.file(name);
    EXPECT_EQ(sampledb::make(path, options), QString()) << name.toStdString();
    return test::readFile(path);
  };
  const QByteArray first = build(QStringLiteral("a.mdb"), fixedOptions(7));
  const QByteArray again = build(QStringLiteral("b.mdb"), fixedOptions(7));
  ASSERT_FALSE(first.isEmpty());
  EXPECT_TRUE(first == again);

  EXPECT_FALSE(first == build(QStringLiteral("c.mdb"), fixedOptions(8)));
  sampledb::Options laterDay = fixedOptions(7);
  laterDay.today = QDate(2024, 6, 16);
  EXPECT_FALSE(first == build(QStringLiteral("d.mdb"), laterDay));
}

// splitmix64 with seed 0 starts with these outputs on every platform.
TEST(SampleDbRandom, SequenceIsTheStandardOneForAGivenSeed) {
  sampledb::Prng rng(0);
  EXPECT_EQ(rng.next(), 0xE220A8397B1DCDAFULL);
  EXPECT_EQ(rng.next(), 0x6E789E6AA1B965F4ULL);
  EXPECT_EQ(rng.next(), 0x06C45D188009454FULL);
}

}  // namespace
