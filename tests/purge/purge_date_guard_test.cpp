// The purge's comparisons with a cut-off date: they never match a value
// outside the ISO convention, yet the date index still serves them; and the
// engine's count of unreadable dates, offered only under the guard.
#include "purge/purge_date_guard.h"

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <QLocale>

#include "platform/core/db_engine.h"
#include "platform/core/jet_dialect.h"
#include "support/sandbox.h"
#include "support/shop_db.h"
#include "support/test_helpers.h"

namespace {

using purge_guard::DateGuardScope;
using test::LocaleScope;

QString translated(const QString& in) {
  QString out;
  const Status s = purge_guard::guardedTranslate(in, out);
  EXPECT_TRUE(s.ok()) << s.description().toStdString();
  return out;
}

const QString kGuard = QStringLiteral("kv_iso_date([Date])");

TEST(PurgeDateGuard, DateLiteralsFollowTheLocaleThatWroteThem) {
  struct Case {
    const char* locale;
    const char* literal;
    const char* iso;
  };
  const Case cases[] = {{"en_US", "#3/5/2004#", "'2004-03-05'"},
                        {"en_GB", "#05/03/2004#", "'2004-03-05'"},
                        {"de_DE", "#05.03.2004#", "'2004-03-05'"},
                        {"ja_JP", "#2004/03/05#", "'2004-03-05'"},
                        {"en_GB", "#05/03/2004 13:45:00#", "'2004-03-05 13:45:00'"},
                        {"en_GB", "#05/03/2004 00:00:00#", "'2004-03-05'"}};
  for (const Case& c : cases) {
    LocaleScope scope(c.locale);
    EXPECT_EQ(translated(QStringLiteral("Select %1").arg(QString::fromLatin1(c.literal))),
              QStringLiteral("Select %1").arg(QString::fromLatin1(c.iso)))
        << c.locale;
    EXPECT_EQ(translated(QStringLiteral("Delete From [T] Where [Date] < %1").arg(QString::fromLatin1(c.literal))),
              QStringLiteral("Delete From [T] Where ([Date] < %1 AND %2)").arg(QString::fromLatin1(c.iso), kGuard))
        << c.locale;
  }
}

TEST(PurgeDateGuard, NegatableContextsMakeForeignDatesNull) {
  LocaleScope scope("en_US");
  EXPECT_EQ(translated(QStringLiteral("Delete From [T] Where Not [Date] < #3/5/2004#")),
            QStringLiteral("Delete From [T] Where Not (CASE WHEN %1 THEN [Date] < '2004-03-05' END)").arg(kGuard));
  // A comparison that is itself compared is not a plain term either.
  EXPECT_EQ(translated(QStringLiteral("Select [Date] < #3/5/2004# = 0")),
            QStringLiteral("Select (CASE WHEN %1 THEN [Date] < '2004-03-05' END) = 0").arg(kGuard));
}

TEST(PurgeDateGuard, FailsAsTheDialectDoes) {
  LocaleScope scope("en_GB");
  QString out = QStringLiteral("stale");
  const Status s = purge_guard::guardedTranslate(QStringLiteral("Delete From [T] Where [Date] < #31/02/2004#"), out);
  EXPECT_EQ(s.number(), jet::kErrDateLiteral);
  EXPECT_TRUE(out.isEmpty());
}

class ForeignDates : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(test::createShopDb(m_db));
    ASSERT_TRUE(test::sqlExec(
        m_db, QStringLiteral(
                  "INSERT INTO Manifest(ID, [Date]) VALUES"
                  "(1,'2004-03-04 23:59:59'),(2,'2004-03-05'),(3,'2004-03-05 00:00:00'),(4,'2004-03-04'),"
                  "(5,'03/05/2004'),(6,'yesterday'),(7,38000),(8,'2004-3-1'),(9,''),(10,NULL),"
                  "(11,'2003-12-31T08:00:00'),(12,'1999-01-01 garbage'),(13, 38000.5),(14,'2004-03-05 10:00:00')")));
  }
  QStringList left() const { return test::sqlColumn(m_db, QStringLiteral("SELECT ID FROM Manifest ORDER BY ID")); }
  // Runs `statement` in the US locale on a connection that has the guard.
  void runGuarded(const QString& statement) {
    LocaleScope scope("en_US");
    const DateGuardScope guard;
    db::Connection c;
    ASSERT_TRUE(c.open(QStringLiteral("Data Source=") + m_db).ok());
    ASSERT_TRUE(c.execute(statement).ok());
  }
  test::TempDir m_dir;
  QString m_db = m_dir.file(QStringLiteral("shop.mdb"));
};

TEST_F(ForeignDates, OnlyIsoDatesBeforeTheCutOffAreDeleted) {
  ASSERT_NO_FATAL_FAILURE(runGuarded(QStringLiteral("Delete From [Manifest] Where [Date] < #3/5/2004#")));
  EXPECT_EQ(left(), QStringList({"2", "3", "5", "6", "7", "8", "9", "10", "12", "13", "14"}));
}

TEST_F(ForeignDates, NegatedComparisonLeavesForeignDatesToo) {
  ASSERT_NO_FATAL_FAILURE(runGuarded(QStringLiteral("Delete From [Manifest] Where Not [Date] < #3/5/2004#")));
  EXPECT_EQ(left(), QStringList({"1", "4", "5", "6", "7", "8", "9", "10", "11", "12", "13"}));
}

TEST_F(ForeignDates, TheDateIndexStillServesTheComparison) {
  LocaleScope scope("en_GB");
  const std::pair<const char*, const char*> cases[] = {
      {"SELECT ID FROM [Manifest] WHERE [Date] < #05/03/2004#", "INDEX Manifest_Date (Date<?)"},
      {"SELECT ID FROM [Contacts] WHERE (LastContactDate < #05/03/2004# And AR Is Null) Or LastContactDate Is Null",
       "INDEX Contacts_LastContactDate (LastContactDate<?)"}};
  for (const auto& [stmt, index] : cases) {
    QString sql;
    ASSERT_TRUE(purge_guard::guardedTranslate(QString::fromLatin1(stmt), sql).ok());
    sqlite3* dbh = nullptr;
    ASSERT_EQ(sqlite3_open_v2(m_db.toUtf8().constData(), &dbh, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    // Only the plan is asked for, so any function of that name will do.
    sqlite3_create_function_v2(
        dbh, purge_guard::kIsoDateFunction, 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
        [](sqlite3_context* c, int, sqlite3_value**) { sqlite3_result_int(c, 1); }, nullptr, nullptr, nullptr);
    sqlite3_stmt* st = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(dbh, ("EXPLAIN QUERY PLAN " + sql).toUtf8().constData(), -1, &st, nullptr), SQLITE_OK)
        << sqlite3_errmsg(dbh);
    QString plan;
    while (sqlite3_step(st) == SQLITE_ROW)
      plan += QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 3))) + "\n";
    sqlite3_finalize(st);
    sqlite3_close_v2(dbh);
    EXPECT_TRUE(plan.contains(QString::fromLatin1(index))) << plan.toStdString();
    EXPECT_FALSE(plan.contains(QStringLiteral("SCAN"))) << plan.toStdString();
  }
}

// Outside the guard a connection neither compares under it nor offers its
// function: the plain engine is the dialect's alone.
TEST_F(ForeignDates, WithoutTheGuardTheEngineOnlyTranslates) {
  LocaleScope scope("en_US");
  db::Connection c;
  ASSERT_TRUE(c.open(QStringLiteral("Data Source=") + m_db).ok());
  db::Recordset rs;
  EXPECT_FALSE(c.query(QStringLiteral("SELECT kv_unreadable_date('x')"), rs).ok());
  ASSERT_TRUE(c.execute(QStringLiteral("Delete From [Manifest] Where [Date] < #3/5/2004#")).ok());
  // A plain comparison: '03/05/2004', '' and numbers sort before the cut-off.
  EXPECT_EQ(left(), QStringList({"2", "3", "6", "8", "10", "14"}));
  {
    const DateGuardScope outer;
    { const DateGuardScope inner; }
    db::Connection guarded;
    ASSERT_TRUE(guarded.open(QStringLiteral("Data Source=") + m_db).ok());
    EXPECT_TRUE(guarded.query(QStringLiteral("SELECT kv_unreadable_date('x')"), rs).ok());
  }
  db::Connection after;
  ASSERT_TRUE(after.open(QStringLiteral("Data Source=") + m_db).ok());
  EXPECT_FALSE(after.query(QStringLiteral("SELECT kv_unreadable_date('x')"), rs).ok());
}

// The engine's native tests of a stored date give exactly the answers of
// the plain GLOB condition, for every kind of value.
TEST(PurgeDateGuard, NativeDateTestsAgreeWithTheGlobCondition) {
  test::TempDir dir;
  const QString db = dir.file(QStringLiteral("dates.mdb"));
  ASSERT_TRUE(test::sqlExec(db, QStringLiteral("CREATE TABLE T(v)")));
  ASSERT_TRUE(test::sqlExec(
      db, QStringLiteral(
              "INSERT INTO T VALUES ('2004-03-05'), ('2004-03-05 00:00:00'), ('2004-03-05T23:59'), ('2004-03-05 9:00'),"
              "('2004-3-5'), ('2004-03-05 '), ('2004-03-05x'), ('2004-13-05'), ('2004-03-45'), ('03/05/2004'),"
              "('5 March 2004'), (''), ('yesterday'), (20040305), (38000.5), (x'323030342d30332d3035'), (NULL),"
              "('9999-19-39 29:59:99 trailing'), ('2004-03-05 24:00'), ('2004-03-05 23:60'), ('2004-03-05\u00e9')")));
  const DateGuardScope guard;
  db::Connection c;
  ASSERT_TRUE(c.open(QStringLiteral("Data Source=") + db).ok());
  db::Recordset rs;
  const QString each =
      QStringLiteral(
          "SELECT quote(v) AS v, %1(v) AS unreadable, %2 AS iso, %3 AS glob, "
          "(v IS NOT NULL AND NOT %3) AS unglobbed FROM T")
          .arg(QString::fromLatin1(purge_guard::kUnreadableDateFunction), purge_guard::isoGuard(QStringLiteral("v")),
               purge_guard::isoGuardGlob(QStringLiteral("v")));
  ASSERT_TRUE(c.query(QStringLiteral("SELECT count(*) AS n, sum(unreadable) AS unreadable, ifnull(group_concat("
                                     "CASE WHEN unreadable IS NOT unglobbed OR iso IS NOT glob THEN v END, ' '), '') "
                                     "AS differ FROM (") +
                          each + QLatin1Char(')'),
                      rs)
                  .ok());
  db::Field rows, unreadable, differ;
  ASSERT_TRUE(rs.field(QStringLiteral("n"), rows).ok());
  ASSERT_TRUE(rs.field(QStringLiteral("unreadable"), unreadable).ok());
  ASSERT_TRUE(rs.field(QStringLiteral("differ"), differ).ok());
  EXPECT_EQ(differ.value.toString(), QString()) << "the values on which they differ";
  EXPECT_EQ(rows.value.toInt(), 21);
  EXPECT_EQ(unreadable.value.toInt(), 14);
}

}  // namespace
