// Database access on real SQLite files: connection text, result sets handed
// back on every path, statements, closing, and the field-value rules.
#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>

#include "data/connection.h"
#include "data/dbquery.h"
#include "platform/core/clock.h"
#include "support/sandbox.h"
#include "support/shop_db.h"
#include "support/test_helpers.h"

namespace {

TEST(ConnectionText, PathIsAppendedVerbatim) {
  EXPECT_EQ(GetConnectionString(QString()), QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source="));
  EXPECT_EQ(GetConnectionString(QStringLiteral("C:\\my shop\\kestrova.mdb")),
            QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=C:\\my shop\\kestrova.mdb"));
}

TEST(DeleteStatement, TableConditionAndDateQuoting) {
  const QString cond = QStringLiteral("AcctNum = 'Cash' And [Date] < #3/5/2004#");
  EXPECT_EQ(BuildDeleteSql(QStringLiteral("Manifest"), QString(), false), QStringLiteral("Delete From [Manifest]"));
  EXPECT_EQ(BuildDeleteSql(QStringLiteral("Manifest"), QString(), true), QStringLiteral("Delete From [Manifest]"));
  EXPECT_EQ(BuildDeleteSql(QStringLiteral("Payments"), cond, false),
            QStringLiteral("Delete From [Payments] Where AcctNum = 'Cash' And [Date] < #3/5/2004#"));
  EXPECT_EQ(BuildDeleteSql(QStringLiteral("Payments"), cond, true),
            QStringLiteral("Delete From [Payments] Where AcctNum = 'Cash' And [Date] < '3/5/2004'"));
}

class ConnectionDb : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(test::createShopDb(m_db)); }
  test::TempDir m_dir;
  QString m_db = m_dir.file(QStringLiteral("kestrova.mdb"));
  QString desc = QStringLiteral("stale");
  int32_t num = 99;
};

TEST_F(ConnectionDb, ExecuteMatchingNothingSucceedsAndClearsOutputs) {
  EXPECT_TRUE(ExecuteSql(m_db, QStringLiteral("Delete From [Manifest] Where [ID] = 5"), desc, num));
  EXPECT_EQ(num, 0);
  EXPECT_EQ(desc, QString());
}

TEST_F(ConnectionDb, ExecuteFailureReportsTheEngine) {
  EXPECT_FALSE(ExecuteSql(m_db, QStringLiteral("Delete From [Payment]"), desc, num));
  EXPECT_EQ(num, 1);
  EXPECT_EQ(desc, QStringLiteral("no such table: Payment"));
}

TEST_F(ConnectionDb, MissingFileFailsEverywhereAndCreatesNothing) {
  const QString missing = m_dir.file(QStringLiteral("gone/kestrova.mdb"));
  const QString missing2 = m_dir.file(QStringLiteral("other.mdb"));
  EXPECT_FALSE(ExecuteSql(missing2, QStringLiteral("Delete From [Manifest]"), desc, num));
  EXPECT_NE(num, 0);
  EXPECT_EQ(desc, QStringLiteral("unable to open database file"));
  EXPECT_FALSE(QFileInfo::exists(missing2));

  RecordsetRef rs;
  desc.clear();
  num = 0;
  EXPECT_FALSE(OpenRecordset(missing, QStringLiteral("Select * From Setup"), rs, desc, num));
  EXPECT_NE(num, 0);
  EXPECT_FALSE(desc.isEmpty());
  ASSERT_TRUE(rs);  // a result set comes back even on failure
  EXPECT_NE(rs->state(), db::kStateOpen);
  EXPECT_FALSE(QFileInfo::exists(m_dir.file(QStringLiteral("gone"))));
  EXPECT_TRUE(CloseRecordset(rs));
  EXPECT_FALSE(rs);
}

TEST_F(ConnectionDb, RecordsetReplacesTheCallersAndOutlivesItsConnection) {
  ASSERT_TRUE(test::sqlExec(m_db, QStringLiteral("INSERT INTO Setup VALUES (1,'Shop',12),(2,'Other',13)")));
  RecordsetRef rs = std::make_unique<db::Recordset>();
  db::Recordset* callers = rs.get();
  ASSERT_TRUE(OpenRecordset(m_db, QStringLiteral("Select DefaultShipFrom From Setup Order By ID"), rs, desc, num));
  EXPECT_EQ(num, 0);
  EXPECT_TRUE(desc.isEmpty());
  ASSERT_TRUE(rs);
  EXPECT_NE(rs.get(), callers);
  EXPECT_EQ(rs->state(), db::kStateOpen);
  // The connection is released: another writer can change the file at once.
  ASSERT_TRUE(test::sqlExec(m_db, QStringLiteral("DELETE FROM Setup")));
  db::Field f;
  ASSERT_FALSE(rs->eof());
  ASSERT_TRUE(rs->field(QStringLiteral("DefaultShipFrom"), f).ok());
  EXPECT_EQ(f.value.toLongLong(), 12);  // the first row is the current one
  EXPECT_TRUE(CloseRecordset(rs));
  EXPECT_FALSE(rs);
}

TEST_F(ConnectionDb, EmptyQueryIsOpenAtEndOfData) {
  RecordsetRef rs;
  ASSERT_TRUE(OpenRecordset(m_db, QStringLiteral("Select DefaultShipFrom From Setup"), rs, desc, num));
  ASSERT_TRUE(rs);
  EXPECT_EQ(rs->state(), db::kStateOpen);
  EXPECT_TRUE(rs->eof());
}

TEST_F(ConnectionDb, FailedQueryHandsBackAClosedResultSet) {
  RecordsetRef rs;
  EXPECT_FALSE(OpenRecordset(m_db, QStringLiteral("Select DefaultShipFrom From Setups"), rs, desc, num));
  EXPECT_EQ(desc, QStringLiteral("no such table: Setups"));
  ASSERT_TRUE(rs);
  EXPECT_EQ(rs->state(), db::kStateClosed);
}

TEST(CloseReferences, NoneIsFineAndOpenOnesAreClosed) {
  RecordsetRef rs;
  ConnectionRef conn;
  EXPECT_TRUE(CloseRecordset(rs));
  EXPECT_TRUE(CloseConnection(conn));
  test::TempDir dir;
  ASSERT_TRUE(test::createShopDb(dir.file(QStringLiteral("x.mdb"))));
  conn = std::make_unique<db::Connection>();
  ASSERT_TRUE(conn->open(GetConnectionString(dir.file(QStringLiteral("x.mdb")))).ok());
  EXPECT_TRUE(CloseConnection(conn));
  EXPECT_FALSE(conn);
}

// GetFieldValue: null and trimming rules by type code.
TEST(FieldValue, NullsTakeTheDefaultOrTheTypeDefault) {
  const QDateTime fixed(QDate(2004, 3, 5), QTime(9, 30, 0));
  test::SeamScope clock(sysclock::setClock, [fixed] { return fixed; });
  struct Case {
    int type;
    QVariant def;
    QVariant expected;
  };
  const Case cases[] = {
      {202, QStringLiteral("0"), QStringLiteral("0")},
      {202, QString(), QString()},
      {0, QVariant(), QString()},
      {203, QString(), QString()},
      {7, QString(), fixed},
      {135, QVariant(), fixed},
      {7, QStringLiteral("n/a"), QStringLiteral("n/a")},
      {11, QString(), false},
      {3, QString(), QVariant::fromValue<qint16>(0)},
      {6, QString(), QVariant::fromValue<qint16>(0)},
      {205, QString(), QVariant::fromValue<qint16>(0)},
      {3, 5, 5},
  };
  for (const Case& c : cases) {
    const QVariant v = GetFieldValue(db::Field{QStringLiteral("f"), c.type, QVariant()}, c.def);
    EXPECT_EQ(v, c.expected) << "type " << c.type;
    EXPECT_EQ(v.typeId(), c.expected.typeId()) << "type " << c.type;
  }
}

TEST(FieldValue, OnlyTextIsTrimmedAndOnlyOfSpaces) {
  struct Case {
    int type;
    QVariant value;
    QVariant expected;
  };
  const QDateTime dt(QDate(2004, 3, 5), QTime(0, 0));
  const Case cases[] = {
      {202, QStringLiteral("  12 "), QStringLiteral("12")},
      {203, QStringLiteral("\t12\n "), QStringLiteral("\t12\n")},
      {202, QStringLiteral("   "), QString()},
      {3, 12LL, 12LL},
      {5, 1.5, 1.5},
      {7, dt, dt},
      {11, true, true},
      {131, QStringLiteral(" 7 "), QStringLiteral(" 7 ")},
  };
  for (const Case& c : cases)
    EXPECT_EQ(GetFieldValue(db::Field{QStringLiteral("f"), c.type, c.value}, QStringLiteral("0")), c.expected)
        << "type " << c.type;
}

}  // namespace
