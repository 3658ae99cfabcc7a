// What the sample-database maker writes: the shop schema, dates in the ISO
// text convention, and the mix of rows a purge has to tell apart.
#include <cmath>
#include <memory>

#include <gtest/gtest.h>

#include "sampledb/sample_db.h"
#include "sqlite_query.h"
#include "support/sandbox.h"

namespace {

const QDate kToday(2024, 6, 15);
const QString kCutOff = QStringLiteral("'2021-06-15'");  // middle of the six years

// One generated database per test suite, at a small scale.
class SampleDbContent : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    s_dir = std::make_unique<test::TempDir>();
    s_path = s_dir->file(QStringLiteral("kestrova.mdb"));
    sampledb::Options options;
    options.seed = 42;
    options.today = kToday;
    s_error = sampledb::make(s_path, options);
  }
  static void TearDownTestSuite() { s_dir.reset(); }
  void SetUp() override { ASSERT_EQ(s_error, QString()); }

  static std::int64_t count(const QString& table, const QString& where = QString()) {
    QString sql = QStringLiteral("SELECT count(*) FROM ") + table;
    if (!where.isEmpty()) sql += QStringLiteral(" WHERE ") + where;
    return test::scalar(s_path, sql);
  }

  static std::unique_ptr<test::TempDir> s_dir;
  static QString s_path;
  static QString s_error;
};

std::unique_ptr<test::TempDir> SampleDbContent::s_dir;
QString SampleDbContent::s_path;
QString SampleDbContent::s_error;

struct DateColumn {
  const char* table;
  const char* column;
};
const DateColumn kDateColumns[] = {{"InvoiceNumbers", "[Date]"},
                                   {"Payments", "[Date]"},
                                   {"Transactions", "[Date]"},
                                   {"Manifest", "[Date]"},
                                   {"Contacts", "LastContactDate"}};

const QString kDayGlob = QStringLiteral("'[12][0-9][0-9][0-9]-[01][0-9]-[0-3][0-9]'");
const QString kStampGlob =
    QStringLiteral("'[12][0-9][0-9][0-9]-[01][0-9]-[0-3][0-9] [0-2][0-9]:[0-5][0-9]:[0-5][0-9]'");

TEST_F(SampleDbContent, TablesHaveTheShopColumnsInOrder) {
  const struct {
    const char* table;
    QStringList columns;
  } tables[] = {
      {"InvoiceNumbers", {"ID", "InvoiceNum", "AcctNum", "Amount", "Date"}},
      {"Payments", {"ID", "InvoiceNum", "AcctNum", "PayType", "Amount", "Date"}},
      {"Transactions", {"ID", "InvoiceNum", "AcctNum", "Description", "Amount", "Date"}},
      {"Manifest",
       {"ID", "TrackingNum", "Carrier", "ShipToName", "ShipToAddress", "Weight", "Charge", "Exported", "Date"}},
      {"Contacts", {"ID", "Name", "Company", "Address", "City", "State", "Zip", "Phone", "AR", "LastContactDate"}},
      {"Setup", {"ID", "ShopName", "DefaultShipFrom"}},
  };
  for (const auto& t : tables) {
    SCOPED_TRACE(t.table);
    const QString info = QStringLiteral("PRAGMA table_info(%1)").arg(QLatin1String(t.table));
    EXPECT_EQ(test::column(s_path, info, 1), t.columns);
  }
  EXPECT_EQ(count(QStringLiteral("sqlite_schema"), QStringLiteral("type = 'table'")), 6);
  // Date columns are declared DATETIME, money CURRENCY.
  EXPECT_EQ(
      count(QStringLiteral("pragma_table_info('Payments')"), QStringLiteral("name IN ('Date') AND type = 'DATETIME'")),
      1);
  EXPECT_EQ(count(QStringLiteral("pragma_table_info('Contacts')"),
                  QStringLiteral("name = 'LastContactDate' AND type = 'DATETIME'")),
            1);
  EXPECT_EQ(
      count(QStringLiteral("pragma_table_info('Manifest')"), QStringLiteral("name = 'Charge' AND type = 'CURRENCY'")),
      1);
}

TEST_F(SampleDbContent, DateAndAccountColumnsAreIndexed) {
  const struct {
    const char* table;
    const char* column;
  } indexed[] = {{"InvoiceNumbers", "Date"},     {"Payments", "Date"},        {"Payments", "AcctNum"},
                 {"Transactions", "Date"},       {"Transactions", "AcctNum"}, {"Manifest", "Date"},
                 {"Contacts", "LastContactDate"}};
  for (const auto& ix : indexed) {
    SCOPED_TRACE(std::string(ix.table) + "." + ix.column);
    const QString sql = QStringLiteral(
                            "SELECT count(*) FROM pragma_index_list('%1') AS l, "
                            "pragma_index_info(l.name) AS i WHERE i.name = '%2'")
                            .arg(QLatin1String(ix.table), QLatin1String(ix.column));
    EXPECT_EQ(test::scalar(s_path, sql), 1);
  }
}

TEST_F(SampleDbContent, RowCountsAreThePlannedOnes) {
  sampledb::Options options;
  const sampledb::RowCounts planned = sampledb::plannedRows(options);
  EXPECT_EQ(count(QStringLiteral("Contacts")), planned.contacts);
  EXPECT_EQ(count(QStringLiteral("InvoiceNumbers")), planned.invoiceNumbers);
  EXPECT_EQ(count(QStringLiteral("Payments")), planned.payments);
  EXPECT_EQ(count(QStringLiteral("Transactions")), planned.transactions);
  EXPECT_EQ(count(QStringLiteral("Manifest")), planned.manifest);
  EXPECT_EQ(count(QStringLiteral("Setup")), 1);
  EXPECT_GE(planned.purged(), 200);
  EXPECT_LE(planned.purged(), 900);
}

TEST_F(SampleDbContent, EveryDateIsIsoTextOfARealDayWithinTheSixYears) {
  for (const DateColumn& c : kDateColumns) {
    SCOPED_TRACE(std::string(c.table) + "." + c.column);
    const QString col = QLatin1String(c.column);
    const QString table = QLatin1String(c.table);
    EXPECT_EQ(count(table,
                    QStringLiteral("%1 IS NOT NULL AND NOT (%1 GLOB %2 OR %1 GLOB %3)").arg(col, kDayGlob, kStampGlob)),
              0);
    // The round trip through a day number turns an impossible day such as
    // 2023-02-30 into another one.
    EXPECT_EQ(count(table, QStringLiteral("%1 IS NOT NULL AND "
                                          "date(julianday(%1)) IS NOT substr(%1, 1, 10)")
                               .arg(col)),
              0);
    EXPECT_EQ(count(table, QStringLiteral("%1 < '2018-06-15' OR %1 >= '2024-06-15'").arg(col)), 0);
    // Midnight is written as the day alone, never with a zero time.
    EXPECT_EQ(count(table, col + QStringLiteral(" LIKE '% 00:00:00'")), 0);
    // Rows reach both ends of the span.
    EXPECT_GT(count(table, col + QStringLiteral(" < '2019-06-15'")), 0);
    EXPECT_GT(count(table, col + QStringLiteral(" >= '2023-06-15'")), 0);
  }
  EXPECT_EQ(count(QStringLiteral("Contacts"), QStringLiteral("length(LastContactDate) <> 10")), 0);
}

TEST_F(SampleDbContent, DatedTablesHoldMidnightAndDayClosingRows) {
  for (const DateColumn& c : kDateColumns) {
    if (QLatin1String(c.table) == QLatin1String("Contacts")) continue;
    SCOPED_TRACE(c.table);
    const QString table = QLatin1String(c.table);
    const std::int64_t midnight = count(table, QStringLiteral("length([Date]) = 10"));
    EXPECT_GT(midnight, 1);
    // Midnight rows are month openings (the first row may open the span instead).
    EXPECT_GE(count(table, QStringLiteral("length([Date]) = 10 AND substr([Date], 9) = '01'")), midnight - 1);
    EXPECT_GT(count(table, QStringLiteral("[Date] LIKE '% 23:59:59'")), 0);
    EXPECT_GT(count(table, QStringLiteral("length([Date]) = 19")), midnight);
  }
}

TEST_F(SampleDbContent, MoneyTablesMixCashAccountsAndNullBeforeTheCutOff) {
  for (const char* name : {"Payments", "Transactions"}) {
    SCOPED_TRACE(name);
    const QString table = QLatin1String(name);
    const QString old = QStringLiteral("[Date] < ") + kCutOff;
    const std::int64_t cash = count(table, old + QStringLiteral(" AND AcctNum = 'Cash'"));
    const std::int64_t account = count(table, old + QStringLiteral(" AND AcctNum <> 'Cash'"));
    const std::int64_t none = count(table, old + QStringLiteral(" AND AcctNum IS NULL"));
    EXPECT_GT(cash, 0);
    EXPECT_GT(account, 0);
    EXPECT_GT(none, 0);
    EXPECT_GT(cash, account + none);  // most are cash
    EXPECT_GT(count(table, QStringLiteral("[Date] >= ") + kCutOff + QStringLiteral(" AND AcctNum = 'Cash'")), 0);
    // Account numbers belong to account holders among the contacts.
    EXPECT_EQ(count(table, QStringLiteral("AcctNum <> 'Cash' AND AcctNum NOT IN "
                                          "(SELECT AR FROM Contacts WHERE AR IS NOT NULL)")),
              0);
    // Every row belongs to an invoice that exists.
    EXPECT_EQ(count(table, QStringLiteral("InvoiceNum NOT IN (SELECT InvoiceNum FROM InvoiceNumbers)")), 0);
  }
  EXPECT_EQ(count(QStringLiteral("Payments"), QStringLiteral("AcctNum <> 'Cash' AND PayType <> 'On Account'")), 0);
}

TEST_F(SampleDbContent, ContactsCoverEveryCombinationOfAccountAndLastContact) {
  const QString old = QStringLiteral("LastContactDate < ") + kCutOff;
  const struct {
    const char* name;
    QString where;
  } cases[] = {
      {"holder, contacted long ago", QStringLiteral("AR IS NOT NULL AND ") + old},
      {"holder, contacted lately", QStringLiteral("AR IS NOT NULL AND LastContactDate >= ") + kCutOff},
      {"holder, never contacted", QStringLiteral("AR IS NOT NULL AND LastContactDate IS NULL")},
      {"walk-in, contacted long ago", QStringLiteral("AR IS NULL AND ") + old},
      {"walk-in, contacted lately", QStringLiteral("AR IS NULL AND LastContactDate >= ") + kCutOff},
      {"walk-in, never contacted", QStringLiteral("AR IS NULL AND LastContactDate IS NULL")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_GT(count(QStringLiteral("Contacts"), c.where), 0);
  }
  EXPECT_EQ(test::scalar(s_path, QStringLiteral("SELECT count(DISTINCT AR) = count(AR) FROM Contacts")), 1);
}

TEST_F(SampleDbContent, SetupNamesAnOldContactThatAPurgeWouldOtherwiseRemove) {
  const QStringList shipFrom = test::column(s_path, QStringLiteral("SELECT DefaultShipFrom FROM Setup"));
  ASSERT_EQ(shipFrom.size(), 1);
  const QString id = shipFrom.first();
  EXPECT_GT(id.toLongLong(), 0);
  EXPECT_EQ(
      count(QStringLiteral("Contacts"), QStringLiteral("ID = %1 AND LastContactDate IS NULL AND AR IS NULL").arg(id)),
      1);
  // The shop's own contact carries the shop's name.
  EXPECT_EQ(test::scalar(s_path, QStringLiteral("SELECT count(*) FROM Setup, Contacts WHERE "
                                                "Contacts.ID = Setup.DefaultShipFrom AND "
                                                "Contacts.Company = Setup.ShopName")),
            1);
}

TEST_F(SampleDbContent, TextLooksLikeAShopsRecords) {
  EXPECT_EQ(count(QStringLiteral("Manifest"), QStringLiteral("TrackingNum IS NULL OR length(TrackingNum) < 10 OR "
                                                             "ShipToName NOT LIKE '% %' OR ShipToAddress NOT GLOB "
                                                             "'[0-9]* *, [A-Z][A-Z] [0-9][0-9][0-9][0-9][0-9], USA*'")),
            0);
  EXPECT_GT(count(QStringLiteral("Manifest"), QStringLiteral("Exported = 1")),
            count(QStringLiteral("Manifest")) * 8 / 10);
  EXPECT_EQ(count(QStringLiteral("Manifest"), QStringLiteral("Exported NOT IN (0, 1)")), 0);
  EXPECT_EQ(
      count(QStringLiteral("Contacts"), QStringLiteral("Zip NOT GLOB '[0-9][0-9][0-9][0-9][0-9]' OR "
                                                       "State NOT GLOB '[A-Z][A-Z]' OR Name IS NULL OR City IS NULL")),
      0);
  EXPECT_EQ(count(QStringLiteral("InvoiceNumbers"),
                  QStringLiteral("InvoiceNum NOT GLOB 'INV[0-9][0-9][0-9][0-9][0-9][0-9][0-9]'")),
            0);
  EXPECT_EQ(test::scalar(s_path, QStringLiteral("SELECT count(DISTINCT InvoiceNum) = count(*) "
                                                "FROM InvoiceNumbers")),
            1);
  // Amounts are money: whole cents.
  EXPECT_EQ(count(QStringLiteral("Payments"), QStringLiteral("abs(Amount * 100 - round(Amount * 100)) > 0.001")), 0);
}

TEST(SampleDbScale, RowsGrowLinearlyWithTheScale) {
  test::TempDir dir;
  std::int64_t rows[2] = {0, 0};
  const double scales[2] = {1.0, 4.0};
  for (int i = 0; i < 2; ++i) {
    sampledb::Options options;
    options.scale = scales[i];
    options.today = kToday;
    const QString path = dir.file(QStringLiteral("s%1.mdb").arg(i));
    ASSERT_EQ(sampledb::make(path, options), QString());
    rows[i] = test::scalar(path, QStringLiteral("SELECT (SELECT count(*) FROM Contacts) + (SELECT count(*) FROM "
                                                "InvoiceNumbers) + (SELECT count(*) FROM Payments) + (SELECT "
                                                "count(*) FROM Transactions) + (SELECT count(*) FROM Manifest)"));
    EXPECT_EQ(rows[i], sampledb::plannedRows(options).purged());
  }
  ASSERT_GT(rows[0], 0);
  const double ratio = static_cast<double>(rows[1]) / static_cast<double>(rows[0]);
  EXPECT_NEAR(ratio, 4.0, 0.2);
}

TEST(SampleDbScale, TinyScalesStillWriteEveryTable) {
  sampledb::Options options;
  options.scale = 0.001;
  const sampledb::RowCounts counts = sampledb::plannedRows(options);
  for (std::int64_t n :
       {counts.contacts, counts.invoiceNumbers, counts.payments, counts.transactions, counts.manifest, counts.setup})
    EXPECT_EQ(n, 1);
  options.scale = 10000;
  EXPECT_GE(sampledb::plannedRows(options).purged(), 3'000'000);
  EXPECT_LE(sampledb::plannedRows(options).purged(), 4'000'000);
}

}  // namespace
