// The table purges on real shop databases: what each deletes and keeps, the
// statements that reach the engine, the default ship-from contact, and the
// failure boxes.
#include <gtest/gtest.h>

#include <sqlite3.h>

#include <QFileInfo>
#include <QLocale>

#include "platform/core/db_engine.h"
#include "purge/purge_db_tables.h"
#include "support/recording_presenter.h"
#include "support/sandbox.h"
#include "support/shop_db.h"
#include "support/test_helpers.h"

namespace {

const QString kCr = QStringLiteral("\r");

using test::LocaleScope;

using PurgeFn = bool (*)(const QString&, const QDate&, QString&, int32_t&);

QString failedBox(const QString& header, const QString& desc) {
  return header + kCr + kCr + QStringLiteral("The following error has occurred:") + kCr + desc;
}

class PurgeTables : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(test::createShopDb(m_db));
    db::setStatementObserver([this](const QString& s) { statements << s; });
  }
  void TearDown() override { db::setStatementObserver(nullptr); }
  void sql(const QString& s) { ASSERT_TRUE(test::sqlExec(m_db, s)) << s.toStdString(); }
  QStringList ids(const QString& table) const {
    return test::sqlColumn(m_db, QStringLiteral("SELECT ID FROM %1 ORDER BY ID").arg(table));
  }
  // The statements that ran, without the Setup read of the contacts purge.
  QStringList deletes() const { return statements.filter(QStringLiteral("Delete From")); }

  test::TempDir m_dir;
  QString m_db = m_dir.file(QStringLiteral("kestrova.mdb"));
  test::RecordingPresenter rec{true};
  QStringList statements;
  QString desc;
  int32_t num = 0;
  const QDate cutOff{2004, 3, 5};
};

// Rows around the cut-off of 5 March 2004, by ID: which a purge deletes.
const char* const kDatedRows =
    "(1,'2004-03-04 23:59:59'),(2,'2004-03-05'),(3,'2004-03-05 00:00:00'),(4,'2004-03-05 12:00:00'),"
    "(5,'1990-01-01'),(6,NULL),(7,'03/05/2004'),(8,'yesterday'),(9,38000),(10,'2004-03-04')";

TEST_F(PurgeTables, InvoiceNumbersAndManifestDeleteEveryRowBeforeTheCutOff) {
  struct Case {
    const char* table;
    PurgeFn fn;
  };
  const Case cases[] = {{"InvoiceNumbers", PurgeInvoiceNumbers}, {"Manifest", PurgeManifest}};
  struct Loc {
    const char* name;
    const char* text;
  };
  const Loc locales[] = {{"en_US", "3/5/2004"}, {"en_GB", "05/03/2004"}, {"de_DE", "05.03.2004"}};
  for (const Loc& loc : locales) {
    LocaleScope scope(loc.name);
    for (const Case& c : cases) {
      const QString table = QString::fromLatin1(c.table);
      sql(QStringLiteral("DELETE FROM %1; INSERT INTO %1(ID,[Date]) VALUES %2")
              .arg(table, QString::fromLatin1(kDatedRows)));
      statements.clear();
      desc = QStringLiteral("stale");
      num = 7;
      EXPECT_TRUE(c.fn(m_db, cutOff, desc, num)) << c.table << " " << loc.name;
      EXPECT_EQ(num, 0);
      EXPECT_EQ(desc, QString());
      EXPECT_EQ(deletes(),
                QStringList(
                    QStringLiteral("Delete From [%1] Where [Date] < #%2#").arg(table, QString::fromLatin1(loc.text))));
      EXPECT_EQ(ids(table), QStringList({"2", "3", "4", "6", "7", "8", "9"})) << c.table << " " << loc.name;
      // Rows 7, 8 and 9 stay because their dates cannot be read, and are told.
      ASSERT_FALSE(rec.boxes.empty());
      EXPECT_TRUE(rec.boxes.back().prompt.startsWith(
          QStringLiteral("3 rows of the %1 table were kept because their Date could not be read").arg(table)));
      rec.boxes.clear();
    }
  }
  EXPECT_TRUE(rec.boxes.empty());
}

TEST_F(PurgeTables, PaymentsAndTransactionsDeleteOnlyCash) {
  struct Case {
    const char* table;
    PurgeFn fn;
  };
  const Case cases[] = {{"Payments", PurgePayments}, {"Transactions", PurgeTransactions}};
  for (const char* locale : {"en_US", "en_GB"}) {
    LocaleScope scope(locale);
    for (const Case& c : cases) {
      const QString table = QString::fromLatin1(c.table);
      sql(QStringLiteral("DELETE FROM %1; INSERT INTO %1(ID,AcctNum,[Date]) VALUES "
                         "(1,'Cash','2004-03-04 23:59:59'),(2,'A100','1990-01-01'),(3,NULL,'1990-01-01'),"
                         "(4,'Cash','2004-03-05'),(5,'Cash','1999-12-31'),(6,'Cash ','1990-01-01'),"
                         "(7,'Cash','04/03/2004'),(8,'Cash',NULL)")
              .arg(table));
      statements.clear();
      EXPECT_TRUE(c.fn(m_db, cutOff, desc, num)) << c.table;
      ASSERT_EQ(deletes().size(), 1);
      EXPECT_TRUE(
          deletes()[0].startsWith(QStringLiteral("Delete From [%1] Where AcctNum = 'Cash' And [Date] < #").arg(table)));
      EXPECT_EQ(ids(table), QStringList({"2", "3", "4", "6", "7", "8"})) << c.table << " " << locale;
    }
  }
}

TEST_F(PurgeTables, ContactsKeepAccountHoldersRecentOnesAndTheShipFrom) {
  LocaleScope scope("en_GB");
  sql(QStringLiteral(
      "INSERT INTO Contacts(ID,AR,LastContactDate) VALUES "
      "(1,NULL,'2004-03-04 23:59:59'),(2,'Y','1990-01-01'),(3,'Y',NULL),(4,NULL,NULL),"
      "(5,NULL,'2004-03-05'),(6,NULL,'2010-01-01'),(7,NULL,'not a date'),(12,NULL,NULL),(13,NULL,'1990-01-01');"
      "INSERT INTO Setup VALUES (1,'Shop',12)"));
  EXPECT_TRUE(PurgeContacts(m_db, cutOff, desc, num));
  EXPECT_EQ(deletes(), QStringList(QStringLiteral(
                           "Delete From [Contacts] Where ((LastContactDate < #05/03/2004# And AR Is Null) Or "
                           "LastContactDate Is Null) And [ID] <> 12")));
  EXPECT_EQ(ids(QStringLiteral("Contacts")), QStringList({"2", "5", "6", "7", "12"}));
  // Contact 7 stays because its date cannot be read, and is told.
  ASSERT_EQ(rec.boxes.size(), 1u);
  EXPECT_TRUE(rec.boxes[0].prompt.startsWith(
      QStringLiteral("1 row of the Contacts table was kept because its LastContactDate could not be read")));
}

TEST_F(PurgeTables, ContactsExclusionFollowsTheSetupValue) {
  struct Case {
    const char* setup;   // rows for Setup, "" for none
    const char* clause;  // what ends the statement after the condition
    QStringList kept;
  };
  const QString plain = QStringLiteral(
      "Delete From [Contacts] Where (LastContactDate < #3/5/2004# And AR Is Null) Or "
      "LastContactDate Is Null");
  const Case cases[] = {
      {"", "", {"2"}},
      {"(1,'S',NULL)", "", {"2"}},
      {"(1,'S',0)", "", {"2"}},
      {"(1,'S',-12)", "", {"2"}},
      {"(1,'S','abc')", "", {"2"}},
      {"(1,'S',12)", " And [ID] <> 12", {"2", "12"}},
      {"(1,'S','  12 ')", " And [ID] <> 12", {"2", "12"}},
      {"(1,'S','12 Or 1=1')", " And [ID] <> 12", {"2", "12"}},
      {"(1,'S','12) Or (1=1')", " And [ID] <> 12", {"2", "12"}},
      {"(1,'S',12),(2,'T',1)", " And [ID] <> 12", {"2", "12"}},
  };
  LocaleScope scope("en_US");
  for (const Case& c : cases) {
    sql(
        QStringLiteral("DELETE FROM Contacts; DELETE FROM Setup;"
                       "INSERT INTO Contacts(ID,AR,LastContactDate) VALUES (1,NULL,NULL),(2,'Y','1990-01-01'),"
                       "(12,NULL,'1990-01-01'),(20,NULL,'1991-01-01')"));
    if (*c.setup) sql(QStringLiteral("INSERT INTO Setup VALUES %1").arg(QString::fromLatin1(c.setup)));
    statements.clear();
    EXPECT_TRUE(PurgeContacts(m_db, cutOff, desc, num)) << c.setup;
    const QString expected = *c.clause ? QStringLiteral(
                                             "Delete From [Contacts] Where ((LastContactDate < #3/5/2004# "
                                             "And AR Is Null) Or LastContactDate Is Null)") +
                                             QString::fromLatin1(c.clause)
                                       : plain;
    EXPECT_EQ(deletes(), QStringList(expected)) << c.setup;
    EXPECT_EQ(ids(QStringLiteral("Contacts")), c.kept) << c.setup;
  }
  EXPECT_TRUE(rec.boxes.empty());
}

TEST_F(PurgeTables, ContactsGoOnWithoutSetupTable) {
  sql(QStringLiteral(
      "DROP TABLE Setup; INSERT INTO Contacts(ID,AR,LastContactDate) VALUES (12,NULL,NULL),(2,'Y',NULL)"));
  EXPECT_TRUE(PurgeContacts(m_db, cutOff, desc, num));
  EXPECT_EQ(num, 0);
  EXPECT_TRUE(rec.boxes.empty());
  EXPECT_TRUE(ids(QStringLiteral("Contacts")).isEmpty());
}

TEST_F(PurgeTables, DefaultShipFromReadsTheFirstRowAsText) {
  QString id = QStringLiteral("stale");
  EXPECT_FALSE(GetDefaultShipFrom(m_db, id, desc, num));  // empty Setup
  EXPECT_EQ(id, QString());
  sql(QStringLiteral("INSERT INTO Setup VALUES (1,'S',NULL)"));
  EXPECT_FALSE(GetDefaultShipFrom(m_db, id, desc, num));
  EXPECT_EQ(id, QStringLiteral("0"));
  // The column is a number column: a text in it comes back as stored.
  sql(QStringLiteral("UPDATE Setup SET DefaultShipFrom = ' 12 Or 1=1 '"));
  EXPECT_TRUE(GetDefaultShipFrom(m_db, id, desc, num));
  EXPECT_EQ(id, QStringLiteral(" 12 Or 1=1 "));
  // Declared as text, the value comes trimmed.
  sql(
      QStringLiteral("DROP TABLE Setup; CREATE TABLE Setup(ID INTEGER PRIMARY KEY, DefaultShipFrom TEXT);"
                     "INSERT INTO Setup VALUES (1,'  12 '),(2,'5')"));
  EXPECT_TRUE(GetDefaultShipFrom(m_db, id, desc, num));
  EXPECT_EQ(id, QStringLiteral("12"));
  sql(QStringLiteral("DROP TABLE Setup"));
  EXPECT_FALSE(GetDefaultShipFrom(m_db, id, desc, num));
  EXPECT_EQ(desc, QStringLiteral("no such table: Setup"));
  EXPECT_NE(num, 0);
  EXPECT_TRUE(rec.boxes.empty());
}

TEST(LeadingNumber, OnlyAPositiveNumberAtTheStartCounts) {
  const std::pair<const char*, const char*> cases[] = {
      {"12", "12"}, {"  12abc", "12"}, {"12 Or 1=1", "12"}, {"+7", "7"}, {"007", "7"}, {"0", ""}, {"-3", ""},
      {"abc", ""},  {"", ""},          {"0.50", "0.5"},     {"3.", "3"}, {"000", ""},
  };
  for (const auto& [in, out] : cases)
    EXPECT_EQ(leadingPositiveNumber(QString::fromLatin1(in)), QString::fromLatin1(out)) << in;
}

TEST_F(PurgeTables, MissingTableFailsOnlyItsRoutine) {
  sql(
      QStringLiteral("DROP TABLE Payments;"
                     "INSERT INTO InvoiceNumbers(ID,[Date]) VALUES (1,'1990-01-01'),(2,'2010-01-01');"
                     "INSERT INTO Manifest(ID,[Date]) VALUES (1,'1990-01-01')"));
  EXPECT_TRUE(PurgeInvoiceNumbers(m_db, cutOff, desc, num));
  EXPECT_FALSE(PurgePayments(m_db, cutOff, desc, num));
  EXPECT_EQ(desc, QStringLiteral("no such table: Payments"));
  EXPECT_EQ(num, 1);
  EXPECT_TRUE(PurgeManifest(m_db, cutOff, desc, num));
  ASSERT_EQ(rec.boxes.size(), 1u);
  EXPECT_EQ(rec.boxes[0].prompt,
            failedBox(QStringLiteral("Failed to purge Payments table..."), QStringLiteral("no such table: Payments")));
  EXPECT_EQ(rec.boxes[0].style, 48);
  EXPECT_EQ(rec.boxes[0].title, QStringLiteral("Process has failed !"));
  EXPECT_EQ(ids(QStringLiteral("InvoiceNumbers")), QStringList({"2"}));
  EXPECT_TRUE(ids(QStringLiteral("Manifest")).isEmpty());
}

TEST_F(PurgeTables, EachRoutineNamesItsTableWhenTheDatabaseIsMissing) {
  const QString missing = m_dir.file(QStringLiteral("nothing.mdb"));
  struct Case {
    PurgeFn fn;
    const char* header;
  };
  const Case cases[] = {{PurgeInvoiceNumbers, "Failed to purge InvoiceNumbers table..."},
                        {PurgePayments, "Failed to purge Payments table..."},
                        {PurgeTransactions, "Failed to purge Transactions table..."},
                        {PurgeManifest, "Failed to purge Manifest table..."},
                        {PurgeContacts, "Failed to purge Contacts table..."}};
  for (const Case& c : cases) {
    rec.boxes.clear();
    desc.clear();
    num = 0;
    EXPECT_FALSE(c.fn(missing, cutOff, desc, num)) << c.header;
    EXPECT_NE(num, 0);
    EXPECT_EQ(desc, QStringLiteral("unable to open database file"));
    ASSERT_EQ(rec.boxes.size(), 1u) << c.header;
    EXPECT_EQ(rec.boxes[0].prompt, failedBox(QString::fromLatin1(c.header), desc));
    EXPECT_FALSE(QFileInfo::exists(missing));
  }
}

TEST_F(PurgeTables, LockedDatabaseDeletesNothing) {
  sql(QStringLiteral("INSERT INTO Manifest(ID,[Date]) VALUES (1,'1990-01-01')"));
  sqlite3* other = nullptr;
  ASSERT_EQ(sqlite3_open_v2(m_db.toUtf8().constData(), &other, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE; UPDATE Setup SET ShopName='x';", nullptr, nullptr, nullptr),
            SQLITE_OK);
  EXPECT_FALSE(PurgeManifest(m_db, cutOff, desc, num));
  sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close_v2(other);
  EXPECT_EQ(num & 0xff, SQLITE_BUSY);
  EXPECT_EQ(desc, QStringLiteral("database is locked"));
  ASSERT_EQ(rec.boxes.size(), 1u);
  EXPECT_EQ(rec.boxes[0].prompt, failedBox(QStringLiteral("Failed to purge Manifest table..."), desc));
  EXPECT_EQ(ids(QStringLiteral("Manifest")), QStringList({"1"}));
}

}  // namespace
