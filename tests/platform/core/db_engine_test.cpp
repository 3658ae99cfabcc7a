// The engine on real SQLite files: opening without creating, statements,
// client-side result sets with their type codes, and a locked database.
#include <gtest/gtest.h>

#include <sqlite3.h>

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

#include "platform/core/db_engine.h"
#include "support/sandbox.h"
#include "support/shop_db.h"
#include "support/test_helpers.h"

namespace {

QString source(const QString& path) { return QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") + path; }

TEST(EngineOpen, MissingFileFailsAndCreatesNothing) {
  test::TempDir dir;
  const QString missing = dir.file(QStringLiteral("kestrova.mdb"));
  db::Connection c;
  const Status s = c.open(source(missing));
  EXPECT_FALSE(s.ok());
  EXPECT_EQ(s.number(), SQLITE_CANTOPEN);
  EXPECT_EQ(s.description(), QStringLiteral("unable to open database file"));
  EXPECT_EQ(c.state(), db::kStateClosed);
  EXPECT_TRUE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty());
}

TEST(EngineOpen, OddDataSourcesNeverOpenSomethingElse) {
  const QString texts[] = {QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source="),
                           QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0"), QStringLiteral("Data Source=:memory:"),
                           QStringLiteral("Data Source=file:x.mdb?mode=memory")};
  for (const QString& t : texts) {
    db::Connection c;
    EXPECT_FALSE(c.open(t).ok()) << t.toStdString();
    EXPECT_EQ(c.state(), db::kStateClosed);
  }
  EXPECT_FALSE(QFileInfo::exists(QStringLiteral(":memory:")));
  db::Connection c;
  const Status s = c.open(QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0"));
  EXPECT_EQ(s.number(), db::kErrConnectionText);
  EXPECT_EQ(s.description(), QStringLiteral("The connection text does not name a database file (Data Source=...)."));
}

TEST(EngineOpen, DrivePathsGoThroughTheResolver) {
  const QString real = qEnvironmentVariable("KESTROVA_DRIVE_C") + QStringLiteral("/kestrova/drv.mdb");
  ASSERT_TRUE(test::createShopDb(real));
  db::Connection c;
  ASSERT_TRUE(c.open(source(QStringLiteral("C:\\kestrova\\drv.mdb"))).ok());
  EXPECT_EQ(c.state(), db::kStateOpen);
  EXPECT_TRUE(c.execute(QStringLiteral("Delete From [Setup]")).ok());
  c.close();
  EXPECT_EQ(c.state(), db::kStateClosed);
  QFile::remove(real);
}

class EngineDb : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(test::createShopDb(m_db));
    ASSERT_TRUE(c.open(source(m_db)).ok());
  }
  test::TempDir m_dir;
  QString m_db = m_dir.file(QStringLiteral("shop.mdb"));
  db::Connection c;
};

TEST_F(EngineDb, StatementFailuresCarryTheEngineMessage) {
  Status s = c.execute(QStringLiteral("Delete From [Nothing]"));
  EXPECT_EQ(s.number(), SQLITE_ERROR);
  EXPECT_EQ(s.description(), QStringLiteral("no such table: Nothing"));
  s = c.execute(QStringLiteral("Delete From [Payments] Where Nope = 1"));
  EXPECT_EQ(s.description(), QStringLiteral("no such column: Nope"));
}

TEST_F(EngineDb, OnlyOneStatementIsEverRun) {
  ASSERT_TRUE(test::sqlExec(m_db, QStringLiteral("INSERT INTO Contacts(ID) VALUES (1),(2)")));
  const Status s = c.execute(QStringLiteral("Delete From [Setup]; Delete From [Contacts]"));
  EXPECT_FALSE(s.ok());
  EXPECT_EQ(s.number(), db::kErrTrailingText);
  EXPECT_EQ(s.description(), QStringLiteral("The statement has more text after its end; nothing was run."));
  EXPECT_EQ(test::sqlScalar(m_db, QStringLiteral("SELECT COUNT(*) FROM Contacts")), 2);
  EXPECT_TRUE(c.execute(QStringLiteral("Delete From [Setup];")).ok());
}

TEST_F(EngineDb, BadDateLiteralRunsNothing) {
  ASSERT_TRUE(test::sqlExec(m_db, QStringLiteral("INSERT INTO Manifest(ID,[Date]) VALUES (1,'1990-01-01')")));
  const Status s = c.execute(QStringLiteral("Delete From [Manifest] Where [Date] < #99/99/2004#"));
  EXPECT_FALSE(s.ok());
  EXPECT_NE(s.number(), 0);
  EXPECT_EQ(test::sqlScalar(m_db, QStringLiteral("SELECT COUNT(*) FROM Manifest")), 1);
}

TEST_F(EngineDb, ResultSetTypeCodesAndValues) {
  ASSERT_TRUE(test::sqlExec(
      m_db,
      QStringLiteral("CREATE TABLE Kinds(t TEXT, v VARCHAR(20), m MEMO, d DATETIME, b BOOLEAN, s SMALLINT, i INTEGER, "
                     "r DOUBLE PRECISION, c CURRENCY, n NUMERIC(10,2), bl BLOB, u);"
                     "INSERT INTO Kinds VALUES ('a','b','c','2004-03-05 10:11:12',1,2,3,4.5,6.25,7,x'00ff',NULL);"
                     "INSERT INTO Kinds VALUES (NULL,NULL,NULL,'2004-03-05',0,NULL,NULL,NULL,NULL,NULL,NULL,'x');"
                     "INSERT INTO Kinds VALUES (NULL,NULL,NULL,'03/05/2004',NULL,NULL,NULL,NULL,NULL,NULL,NULL,12)")));
  db::Recordset rs;
  ASSERT_TRUE(c.query(QStringLiteral("Select * From Kinds Order By rowid"), rs).ok());
  EXPECT_EQ(rs.state(), db::kStateOpen);
  c.close();  // the row stays readable without the connection

  struct Expect {
    const char* name;
    int type;
  };
  const Expect codes[] = {{"t", 202}, {"v", 202}, {"m", 203}, {"d", 7},   {"b", 11},  {"s", 2},
                          {"i", 3},   {"r", 5},   {"c", 6},   {"n", 131}, {"bl", 205}};
  db::Field f;
  for (const Expect& e : codes) {
    ASSERT_TRUE(rs.field(QString::fromLatin1(e.name), f).ok()) << e.name;
    EXPECT_EQ(f.type, e.type) << e.name;
  }
  ASSERT_TRUE(rs.field(QStringLiteral("D"), f).ok());  // names are case-insensitive
  EXPECT_EQ(f.value, QVariant(QDateTime(QDate(2004, 3, 5), QTime(10, 11, 12))));
  ASSERT_TRUE(rs.field(QStringLiteral("b"), f).ok());
  EXPECT_EQ(f.value, QVariant(true));
  ASSERT_TRUE(rs.field(QStringLiteral("u"), f).ok());
  EXPECT_EQ(f.type, 0);
  EXPECT_TRUE(f.value.isNull());

  ASSERT_TRUE(c.open(source(m_db)).ok());
  ASSERT_TRUE(c.query(QStringLiteral("Select * From Kinds Where rowid = 2"), rs).ok());
  ASSERT_TRUE(rs.field(QStringLiteral("d"), f).ok());
  EXPECT_EQ(f.value, QVariant(QDateTime(QDate(2004, 3, 5), QTime(0, 0))));
  ASSERT_TRUE(rs.field(QStringLiteral("t"), f).ok());
  EXPECT_FALSE(f.value.isValid());
  EXPECT_EQ(f.type, 202);
  ASSERT_TRUE(rs.field(QStringLiteral("u"), f).ok());
  EXPECT_EQ(f.type, 202);

  ASSERT_TRUE(c.query(QStringLiteral("Select * From Kinds Where rowid = 3"), rs).ok());
  ASSERT_TRUE(rs.field(QStringLiteral("d"), f).ok());
  EXPECT_EQ(f.value, QVariant(QStringLiteral("03/05/2004")));  // not the convention: left as text
  ASSERT_TRUE(rs.field(QStringLiteral("u"), f).ok());
  EXPECT_EQ(f.type, 3);
  EXPECT_EQ(rs.field(QStringLiteral("zz"), f).number(), 3265);

  rs.close();
  EXPECT_EQ(rs.state(), db::kStateClosed);
  EXPECT_TRUE(rs.eof());
  EXPECT_EQ(rs.field(QStringLiteral("t"), f).number(), 3021);
}

// The query runs to its end: a failure on a row after the first fails it.
TEST_F(EngineDb, FailureOnALaterRowFailsTheQuery) {
  ASSERT_TRUE(test::sqlExec(m_db, QStringLiteral("INSERT INTO Contacts(ID) VALUES (1),(2),(3)")));
  db::Recordset rs;
  const Status s = c.query(
      QStringLiteral("Select ID, abs(CASE WHEN ID = 3 THEN -9223372036854775807 - 1 ELSE 1 END) AS a From Contacts "
                     "Order By ID"),
      rs);
  EXPECT_EQ(s.number(), SQLITE_ERROR);
  EXPECT_EQ(s.description(), QStringLiteral("integer overflow"));
  EXPECT_EQ(rs.state(), db::kStateClosed);
}

TEST_F(EngineDb, EmptyResultIsOpenAtEndOfData) {
  db::Recordset rs;
  ASSERT_TRUE(c.query(QStringLiteral("Select DefaultShipFrom From Setup"), rs).ok());
  EXPECT_EQ(rs.state(), db::kStateOpen);
  EXPECT_TRUE(rs.eof());
  db::Field f;
  const Status none = rs.field(QStringLiteral("DefaultShipFrom"), f);
  EXPECT_EQ(none.number(), 3021);
  EXPECT_EQ(none.description(),
            QStringLiteral("There is no current row: the result set is before its first row or past its last."));
  EXPECT_FALSE(c.query(QStringLiteral("Select x From Missing"), rs).ok());
  EXPECT_EQ(rs.state(), db::kStateClosed);
}

TEST_F(EngineDb, WriteLockedDatabaseRefusesAndKeepsRows) {
  ASSERT_TRUE(test::sqlExec(m_db, QStringLiteral("INSERT INTO Manifest(ID,[Date]) VALUES (1,'1990-01-01')")));
  sqlite3* other = nullptr;
  ASSERT_EQ(sqlite3_open_v2(m_db.toUtf8().constData(), &other, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE; INSERT INTO Setup(ID) VALUES (1);", nullptr, nullptr, nullptr),
            SQLITE_OK);
  const Status s = c.execute(QStringLiteral("Delete From [Manifest]"));
  EXPECT_EQ(s.number() & 0xff, SQLITE_BUSY);
  EXPECT_EQ(s.description(), QStringLiteral("database is locked"));
  sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close_v2(other);
  EXPECT_EQ(test::sqlScalar(m_db, QStringLiteral("SELECT COUNT(*) FROM Manifest")), 1);
}

// Each statement adds the rows it changed itself; a failed one, one of
// another kind and the rows a trigger changes add nothing.
TEST_F(EngineDb, ChangedRowsCountWhatEachStatementChangedItself) {
  ASSERT_TRUE(test::sqlExec(
      m_db,
      QStringLiteral("INSERT INTO Manifest(ID,[Date]) VALUES (1,'1990-01-01'),(2,'1991-01-01'),(3,'2030-01-01');"
                     "CREATE TABLE Gone(ID INTEGER);"
                     "CREATE TRIGGER Keep AFTER DELETE ON Manifest BEGIN INSERT INTO Gone VALUES (old.ID); END;")));
  const qint64 start = db::changedRowsSoFar();
  ASSERT_TRUE(c.execute(QStringLiteral("Delete From [Manifest] Where [Date] < '2000-01-01'")).ok());
  EXPECT_EQ(db::changedRowsSoFar() - start, 2);
  ASSERT_TRUE(c.execute(QStringLiteral("Create Table Other(x Integer)")).ok());
  EXPECT_FALSE(c.execute(QStringLiteral("Delete From [Nothing]")).ok());
  db::Recordset rs;
  ASSERT_TRUE(c.query(QStringLiteral("Select * From Manifest"), rs).ok());
  EXPECT_EQ(db::changedRowsSoFar() - start, 2);
}

// Opening read-only for a dry run leaves no -wal or -shm beside a WAL
// database that has none, and opens the file of that very name.
class ReadOnlyWal : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(test::createShopDbWithRows(
        m_db, QStringLiteral("INSERT INTO Manifest(ID,[Date]) VALUES (1,'1990-01-01'),(2,'1991-01-01')")));
    ASSERT_TRUE(test::sqlExec(m_db, QStringLiteral("PRAGMA journal_mode=WAL")));
    ASSERT_FALSE(QFileInfo::exists(m_db + QStringLiteral("-wal")));
    db::setReadOnlyConnections(true);
  }
  void TearDown() override { db::setReadOnlyConnections(false); }
  QStringList listing() const { return QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden); }
  // The Manifest rows a read-only connection of the engine sees.
  long long manifestRows() const {
    db::Connection c;
    db::Recordset rs;
    db::Field f;
    if (!c.open(source(m_db)).ok() || !c.query(QStringLiteral("Select Count(*) As n From Manifest"), rs).ok() ||
        !rs.field(QStringLiteral("n"), f).ok())
      return -1;
    return f.value.toLongLong();
  }
  test::TempDir m_dir;
  // URI-special characters in the name must not become a query or an escape.
  QString m_db = m_dir.file(QStringLiteral("shop?mode=memory#%41 \u00e9.mdb"));
};

TEST_F(ReadOnlyWal, WithoutAWalTheFileAloneIsReadAndNothingIsMade) {
  const QStringList before = listing();
  EXPECT_EQ(manifestRows(), 2);
  {
    db::Connection c;
    ASSERT_TRUE(c.open(source(m_db)).ok());
    EXPECT_FALSE(c.execute(QStringLiteral("Delete From [Manifest]")).ok());
  }
  EXPECT_EQ(listing(), before);
}

TEST_F(ReadOnlyWal, ALiveWalIsReadWithTheFile) {
  sqlite3* writer = nullptr;
  ASSERT_EQ(sqlite3_open_v2(m_db.toUtf8().constData(), &writer, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
  ASSERT_EQ(
      sqlite3_exec(writer, "PRAGMA wal_autocheckpoint=0; INSERT INTO Manifest(ID,[Date]) VALUES (3,'2030-01-01');",
                   nullptr, nullptr, nullptr),
      SQLITE_OK);
  ASSERT_TRUE(QFileInfo::exists(m_db + QStringLiteral("-wal")));
  EXPECT_EQ(manifestRows(), 3) << "the row committed into the WAL counts";
  sqlite3_close_v2(writer);
}

TEST_F(EngineDb, ObserverSeesTheStatementAsWritten) {
  QStringList seen;
  {
    test::SeamScope observer(db::setStatementObserver, [&](const QString& s) { seen << s; });
    c.execute(QStringLiteral("Delete From [Manifest] Where [Date] < #1/1/2004#"));
    db::Recordset rs;
    c.query(QStringLiteral("Select 1"), rs);
  }
  EXPECT_EQ(seen, QStringList({"Delete From [Manifest] Where [Date] < #1/1/2004#", "Select 1"}));
}

}  // namespace
