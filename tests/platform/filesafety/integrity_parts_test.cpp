// The integrity check split over threads finds what the one-connection
// check finds, whatever holds the file.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <QFile>

#include "platform/filesafety/db_health.h"
#include "platform/filesafety/integrity_parts.h"
#include "platform/filesafety/sqlite_handle.h"
#include "support/file_ops_support.h"
#include "support/sandbox.h"

namespace {

const QStringList kTables = {"Setup", "Contacts", "InvoiceNumbers", "Payments", "Transactions", "Manifest"};

class SplitCheck : public ::testing::Test {
 protected:
  // The shop's tables, Contacts with 400 rows and a date index; then the
  // index entries of rows 3 and 5 (both 2003) swapped for each other's.
  void SetUp() override {
    ASSERT_TRUE(test::makeShopCopy(db, 400));
    ASSERT_TRUE(test::execSql(db,
                              "CREATE INDEX Contacts_Date ON Contacts([Date]);"
                              "INSERT INTO Manifest SELECT ID FROM Contacts;"
                              "CREATE TABLE ManifestDates(ID INTEGER PRIMARY KEY, [Date] DATETIME);"
                              "CREATE INDEX ManifestDates_Date ON ManifestDates([Date]);"
                              "INSERT INTO ManifestDates SELECT ID, [Date] FROM Contacts;"));
    ASSERT_EQ(test::replaceBytes(db, test::dateIndexEntry("2003-01-01", 3), test::dateIndexEntry("2003-01-01", 4)), 2);
  }
  test::TempDir dir;
  QString db = dir.file("kestrova.mdb");
};

TEST_F(SplitCheck, FindsWhatTheOneConnectionCheckFindsInTheSameOrder) {
  const QStringList tables = kTables + QStringList{"ManifestDates"};
  QStringList alone, split;
  ASSERT_TRUE(db::checkTables(db, tables, alone, 1).ok());
  ASSERT_TRUE(db::checkTables(db, tables, split, 3).ok());
  ASSERT_FALSE(alone.isEmpty());
  EXPECT_TRUE(alone.first().contains("Contacts_Date")) << alone.join('\n').toStdString();
  EXPECT_TRUE(alone.last().contains("ManifestDates_Date")) << alone.join('\n').toStdString();
  EXPECT_EQ(split, alone);
}

TEST_F(SplitCheck, AWriterHoldingItsLockLeavesTheCheckToOneConnection) {
  db::RawConnection writer;
  ASSERT_TRUE(writer.open(QFile::encodeName(db), SQLITE_OPEN_READWRITE).ok());
  ASSERT_TRUE(writer.run("BEGIN IMMEDIATE").ok());
  QStringList findings;
  const Status s = db::checkTables(db, kTables, findings, 3);
  ASSERT_TRUE(s.ok()) << s.description().toStdString();
  ASSERT_FALSE(findings.isEmpty());
  EXPECT_TRUE(findings.first().contains("Contacts_Date")) << findings.join('\n').toStdString();
}

TEST_F(SplitCheck, TheWholeFileSplitStillFindsAPageNoTableUses) {
  // The freelist emptied in the header: its pages belong to nothing.
  ASSERT_TRUE(test::execSql(db, "DROP TABLE ManifestDates"));
  ASSERT_GT(test::queryText(db, "PRAGMA freelist_count").toInt(), 0);
  {
    QFile f(db);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite) && f.seek(32) && f.write(QByteArray(8, 0)) == 8);
  }
  QStringList findings;
  const Status s = integrity::checkWhole({QFile::encodeName(db), SQLITE_OPEN_READONLY, nullptr, false}, 2, findings);
  ASSERT_TRUE(s.ok()) << s.description().toStdString();
  EXPECT_TRUE(findings.join('\n').contains("never used")) << findings.join('\n').toStdString();
  EXPECT_TRUE(findings.join('\n').contains("Contacts_Date")) << findings.join('\n').toStdString();
  // Tables known whole are spared their index comparison, never the pages.
  ASSERT_TRUE(
      integrity::checkWhole({QFile::encodeName(db), SQLITE_OPEN_READONLY, nullptr, false}, 1, findings, kTables).ok());
  EXPECT_TRUE(findings.join('\n').contains("never used")) << findings.join('\n').toStdString();
}

}  // namespace
