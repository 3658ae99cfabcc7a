// Purge runs on databases that are missing, damaged, incomplete, read-only,
// or that hold dates the program cannot read: every one ends in a clear box
// and leaves the database as it was found, apart from what was asked.
#include <grp.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <functional>

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "platform/core/db_engine.h"
#include "platform/filesafety/run_lock.h"
#include "purge/forms_.h"
#include "purge/purge_date_guard.h"
#include "purge/purge_db_tables.h"
#include "purge/purge_window.h"
#include "purge_run_support.h"
#include "support/file_ops_support.h"
#include "support/sandbox.h"
#include "support/shop_db.h"
#include "support/test_helpers.h"

namespace {

using test::drivePath;
using test::progressOf;

const QString kCr = QStringLiteral("\r");
using test::kFailure;
using test::kSuccess;
const QString kBackupHeader =
    QStringLiteral("Please close the 'Kestrova.mdb' database file and all the programs that might use it...");
const QString kCompactHeader = QStringLiteral("Failed to compact the database...");
const QString kBackupToday = QStringLiteral("kvbackup07122026.mdb");  // the recorder's clock: 7 Dec 2026
const QString kReadOnlyWrite = QStringLiteral("attempt to write a readonly database");

// A warning box of a failed step as the recorder writes it.
QString failedBox(const QString& header, const QString& desc) {
  return QStringLiteral("box 48: ") + header + kCr + kCr + QStringLiteral("The following error has occurred:") + kCr +
         desc;
}
QString tableBox(const QString& table, const QString& desc) {
  return failedBox(QStringLiteral("Failed to purge %1 table...").arg(table), desc);
}

// Rows on both sides of the cut-off of 5 March 2004, and bulk old shipments
// so that the file spans many pages.
const char* kRows = R"(
INSERT INTO InvoiceNumbers(InvoiceNum, [Date]) VALUES ('I1', '2004-03-04 23:59:59'), ('I2', '2004-03-05'), ('I3', '2003-01-01');
INSERT INTO Payments(AcctNum, [Date]) VALUES ('Cash', '2004-03-04'), ('Cash', '2004-03-05'), ('A100', '2003-01-01');
INSERT INTO Transactions(AcctNum, [Date]) VALUES ('Cash', '2004-03-04'), ('Cash', '2004-03-05'), ('A100', '2003-01-01');
INSERT INTO Manifest(TrackingNum, [Date]) VALUES ('T1', '2004-03-04 23:59:59'), ('T2', '2004-03-05');
INSERT INTO Contacts(ID, Name, AR, LastContactDate) VALUES
  (1, 'Shop itself', NULL, NULL), (2, 'Old walk-in', NULL, '2003-05-01'), (3, 'Old account', 'A100', '2003-05-01'),
  (5, 'Recent walk-in', NULL, '2004-03-05');
INSERT INTO Setup(ShopName, DefaultShipFrom) VALUES ('Corner Shop', 1);
WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 2000)
  INSERT INTO Manifest(TrackingNum, ShipToName, [Date]) SELECT 'BULK' || i, printf('%.300c', 'x'), '2010-01-01' FROM n;
)";

struct Counts {
  long long invoices, payments, transactions, manifest, contacts;
  bool operator==(const Counts&) const = default;
};
std::ostream& operator<<(std::ostream& os, const Counts& c) {
  return os << "{" << c.invoices << "," << c.payments << "," << c.transactions << "," << c.manifest << "," << c.contacts
            << "}";
}

Counts counts(const QString& db) {
  return {test::sqlScalar(db, "SELECT count(*) FROM InvoiceNumbers"),
          test::sqlScalar(db, "SELECT count(*) FROM Payments"),
          test::sqlScalar(db, "SELECT count(*) FROM Transactions"),
          test::sqlScalar(db, "SELECT count(*) FROM Manifest"), test::sqlScalar(db, "SELECT count(*) FROM Contacts")};
}

const Counts kBefore{3, 3, 3, 2002, 4};

// Every name in a folder (hidden ones too) with a hash of its bytes, "<dir>"
// for a folder: what a run must leave as it was.
QMap<QString, QByteArray> folderState(const QString& dir) {
  QMap<QString, QByteArray> out;
  for (const QFileInfo& fi :
       QDir(dir).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot))
    out[fi.fileName()] = fi.isDir() ? QByteArray("<dir>") : test::fileHash(fi.filePath());
  return out;
}

QString joined(const QStringList& events) {
  QString s = events.join(QStringLiteral("\n"));
  return s.replace(kCr, QStringLiteral("|"));
}

class BadDatabase : public ::testing::Test {
 protected:
  test::LocaleScope m_locale{"en_US"};  // fresh() sets it again for each database
  void SetUp() override { fresh(); }
  void TearDown() override {
    MainWindow().unload();
    QDir folder(drivePath(QString()));
    ::chmod(QFile::encodeName(folder.path()).constData(), 0755);
    for (const QFileInfo& fi :
         folder.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)) {
      ::chmod(QFile::encodeName(fi.filePath()).constData(), 0755);
      if (fi.isDir()) QDir(fi.filePath()).removeRecursively();
    }
  }

  // A shop database alone in its folder.
  void fresh() {
    MainWindow().unload();
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QDir folder(drivePath(QString()));
    for (const QFileInfo& fi :
         folder.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)) {
      ::chmod(QFile::encodeName(fi.filePath()).constData(), 0755);
      if (fi.isDir())
        QDir(fi.filePath()).removeRecursively();
      else
        folder.remove(fi.fileName());
    }
    run.events.clear();
    db = drivePath("kestrova.mdb");
    QString error;
    ASSERT_TRUE(test::createShopDbWithRows(db, kRows, &error)) << error.toStdString();
    ASSERT_EQ(counts(db), kBefore);
  }

  QMap<QString, QByteArray> state() const { return folderState(drivePath(QString())); }

  QString db;
  test::PurgeRunRecorder run;
};

// ---------------------------------------------------------------------------
// Files that are no shop database at all.

struct NotADatabase {
  const char* name;
  std::function<void(const QString& db)> make;
  bool backupWorks;     // the backup copies whatever is there
  QString backupDesc;   // the backup's failure when it does not
  QString purgeDesc;    // every table purge's failure, %1 the table when named
  QString compactDesc;  // the compaction's failure
};

std::vector<NotADatabase> notADatabase() {
  return {
      {"missing", [](const QString& db) { QFile::remove(db); }, false,
       "No such file or directory: " + drivePath("kestrova.mdb"), "unable to open database file",
       "No such file or directory"},
      {"zero bytes", [](const QString& db) { test::writeFile(db, QByteArray()); }, true, "", "no such table: %1",
       "file is not a database"},
      {"text",
       [](const QString& db) { test::writeFile(db, QByteArray("Shop notes\r\nnothing to see here\r\n").repeated(40)); },
       true, "", "file is not a database", "file is not a database"},
      {"short text", [](const QString& db) { test::writeFile(db, "SQLite"); }, true, "", "file is not a database",
       "file is not a database"},
      {"truncated to half",
       [](const QString& db) {
         QFile f(db);
         f.resize(f.size() / 2);
       },
       true, "", "database disk image is malformed", "database disk image is malformed"},
  };
}

TEST_F(BadDatabase, ABackupOfWhateverIsThereOrItsFailureThenNoPretendedSuccess) {
  for (const NotADatabase& c : notADatabase()) {
    fresh();
    c.make(db);
    const auto before = state();
    run.purge({});
    QStringList expected{"progress: backing up kestrova.mdb databse..."};
    if (c.backupWorks)
      expected << "progress: compacting the database..." << failedBox(kCompactHeader, c.compactDesc);
    else
      expected << failedBox(kBackupHeader, c.backupDesc);
    expected << kFailure;
    EXPECT_EQ(run.events, expected) << c.name << "\n" << joined(run.events).toStdString();

    auto after = state();
    if (c.backupWorks) {
      EXPECT_EQ(after.take(kBackupToday), before.value("kestrova.mdb")) << c.name << ": the backup is a true copy";
    }
    EXPECT_EQ(after, before) << c.name;
    EXPECT_FALSE(IsFormLoaded("frmPleaseWait"));
  }
}

TEST_F(BadDatabase, EveryTickedTableSaysWhyAndNothingIsWritten) {
  for (const NotADatabase& c : notADatabase()) {
    fresh();
    ASSERT_TRUE(test::writeFile(drivePath(kBackupToday), test::backupStandIn("made this morning")));
    c.make(db);
    const auto before = state();
    run.purge({.contacts = true, .invoices = true, .shipments = true});
    auto desc = [&](const char* table) { return c.purgeDesc.contains("%1") ? c.purgeDesc.arg(table) : c.purgeDesc; };
    const QStringList expected{"progress: purging contacts...",
                               tableBox("Contacts", desc("Contacts")),
                               "progress: purging invoices...",
                               tableBox("InvoiceNumbers", desc("InvoiceNumbers")),
                               "progress: purging manifest...",
                               tableBox("Manifest", desc("Manifest")),
                               kFailure};
    EXPECT_EQ(run.events, expected) << c.name << "\n" << joined(run.events).toStdString();
    EXPECT_EQ(state(), before) << c.name << ": no database was created, written or compacted";
  }
}

TEST_F(BadDatabase, ACompactionAloneRefusesWhatIsNoDatabase) {
  for (const NotADatabase& c : notADatabase()) {
    fresh();
    ASSERT_TRUE(test::writeFile(drivePath(kBackupToday), test::backupStandIn("made this morning")));
    c.make(db);
    const auto before = state();
    run.purge({});
    EXPECT_EQ(run.events,
              (QStringList{"progress: compacting the database...", failedBox(kCompactHeader, c.compactDesc), kFailure}))
        << c.name << "\n"
        << joined(run.events).toStdString();
    EXPECT_EQ(state(), before) << c.name;
  }
}

// ---------------------------------------------------------------------------
// Shop databases that lack a table or a column.

TEST_F(BadDatabase, AMissingTableFailsOnlyItsOwnPurge) {
  struct Case {
    const char* table;
    QStringList boxes;  // the warnings, in order
    Counts after;
  };
  const std::vector<Case> cases = {
      {"InvoiceNumbers", {tableBox("InvoiceNumbers", "no such table: InvoiceNumbers")}, {-1, 3, 3, 2001, 3}},
      {"Payments", {tableBox("Payments", "no such table: Payments")}, {1, -1, 3, 2001, 3}},
      {"Transactions", {tableBox("Transactions", "no such table: Transactions")}, {1, 2, -1, 2001, 3}},
      {"Manifest", {tableBox("Manifest", "no such table: Manifest")}, {1, 2, 2, -1, 3}},
      {"Contacts", {tableBox("Contacts", "no such table: Contacts")}, {1, 2, 2, 2001, -1}},
      // Without Setup no contact is known to be the shop's own: the purge
      // goes on without sparing one, and the shop's contact (never
      // contacted) goes with the others.
      {"Setup", {}, {1, 2, 2, 2001, 2}},
  };
  for (const Case& c : cases) {
    fresh();
    ASSERT_TRUE(test::writeFile(drivePath(kBackupToday), test::backupStandIn("b")));
    ASSERT_TRUE(test::sqlExec(db, QStringLiteral("DROP TABLE %1").arg(c.table)));
    run.purge({.contacts = true, .invoices = true, .shipments = true});
    QStringList boxes = run.events.filter(QRegularExpression("^box 48"));
    EXPECT_EQ(boxes, c.boxes) << c.table << "\n" << joined(run.events).toStdString();
    EXPECT_EQ(run.events.last(), c.boxes.isEmpty() ? kSuccess : kFailure) << c.table;
    EXPECT_EQ(counts(db), c.after) << c.table;
    EXPECT_EQ(test::queryText(db, "PRAGMA integrity_check"), "ok") << c.table;
    EXPECT_FALSE(QFile::exists(drivePath("kvTemp.mdb")));
  }
}

TEST_F(BadDatabase, AMissingColumnFailsItsPurgeAndDeletesNothing) {
  using PurgeFn = bool (*)(const QString&, const QDate&, QString&, int32_t&);
  struct Case {
    const char* table;
    const char* alter;  // takes the column away
    PurgeFn purge;
    const char* desc;
  };
  const Case cases[] = {
      {"Payments", "DROP INDEX Payments_AcctNum; ALTER TABLE Payments DROP COLUMN AcctNum", PurgePayments,
       "no such column: AcctNum"},
      {"Transactions", "DROP INDEX Transactions_AcctNum; ALTER TABLE Transactions DROP COLUMN AcctNum",
       PurgeTransactions, "no such column: AcctNum"},
      {"Payments", "DROP INDEX Payments_Date; ALTER TABLE Payments DROP COLUMN [Date]", PurgePayments,
       "no such column: Date"},
      {"InvoiceNumbers", "DROP INDEX InvoiceNumbers_Date; ALTER TABLE InvoiceNumbers DROP COLUMN [Date]",
       PurgeInvoiceNumbers, "no such column: Date"},
      {"Manifest", "DROP INDEX Manifest_Date; ALTER TABLE Manifest DROP COLUMN [Date]", PurgeManifest,
       "no such column: Date"},
      {"Contacts", "ALTER TABLE Contacts DROP COLUMN AR", PurgeContacts, "no such column: AR"},
      {"Contacts", "DROP INDEX Contacts_LastContactDate; ALTER TABLE Contacts DROP COLUMN LastContactDate",
       PurgeContacts, "no such column: LastContactDate"},
  };
  for (const Case& c : cases) {
    fresh();
    ASSERT_TRUE(test::sqlExec(db, c.alter)) << c.alter;
    const Counts before = counts(db);
    const QByteArray bytes = test::fileHash(db);
    run.boxes.boxes.clear();
    QString desc;
    int32_t num = 0;
    EXPECT_FALSE(c.purge(db, QDate(2004, 3, 5), desc, num)) << c.alter;
    EXPECT_EQ(desc, c.desc);
    EXPECT_NE(num, 0);
    ASSERT_EQ(run.boxes.boxes.size(), 1u) << c.alter;
    EXPECT_EQ("box 48: " + run.boxes.boxes[0].prompt, tableBox(c.table, c.desc));
    EXPECT_EQ(counts(db), before);
    EXPECT_EQ(test::fileHash(db), bytes) << c.alter;
  }
}

TEST_F(BadDatabase, SetupWithoutItsColumnOnlyDropsTheExclusion) {
  ASSERT_TRUE(test::sqlExec(db, "ALTER TABLE Setup DROP COLUMN DefaultShipFrom"));
  QString desc;
  int32_t num = 0;
  EXPECT_TRUE(PurgeContacts(db, QDate(2004, 3, 5), desc, num));
  EXPECT_TRUE(run.boxes.boxes.empty());
  EXPECT_EQ(test::sqlColumn(db, "SELECT ID FROM Contacts ORDER BY ID"), (QStringList{"3", "5"}));
}

// ---------------------------------------------------------------------------
// Dates the convention cannot read: kept, and told.

// Values a shop application might have stored instead of ISO text.
const char* const kUnreadable[] = {"'03/05/2004'", "'5 March 2004'", "'2004-3-4'", "'2004-03-04 9:00'",
                                   "''",           "'yesterday'",    "20040101",   "38000.5",
                                   "x'2004'"};

TEST_F(BadDatabase, RowsWithAnUnreadableDateAreKeptAndCounted) {
  using PurgeFn = bool (*)(const QString&, const QDate&, QString&, int32_t&);
  struct Case {
    const char* table;
    PurgeFn purge;
    const char* column;
    const char* counted;    // other columns of a row that would go if its date were old
    const char* uncounted;  // other columns of a row that stays whatever its date
    int oldRows;            // rows of the shop data that go
  };
  const Case cases[] = {
      {"InvoiceNumbers", PurgeInvoiceNumbers, "Date", "InvoiceNum = 'X'", nullptr, 2},
      {"Manifest", PurgeManifest, "Date", "TrackingNum = 'X'", nullptr, 1},
      {"Payments", PurgePayments, "Date", "AcctNum = 'Cash'", "AcctNum = 'A100'", 1},
      {"Transactions", PurgeTransactions, "Date", "AcctNum = 'Cash'", "AcctNum = 'A100'", 1},
      {"Contacts", PurgeContacts, "LastContactDate", "AR = NULL", "AR = 'A100'", 1},
  };
  const int n = int(std::size(kUnreadable));
  for (const Case& c : cases) {
    fresh();
    const QString table = QString::fromLatin1(c.table);
    const QString col = QString::fromLatin1(c.column);
    auto insert = [&](const char* set, const QString& date) {
      // A copy of an existing row with the date and columns given.
      ASSERT_TRUE(test::sqlExec(db, QStringLiteral("INSERT INTO %1 DEFAULT VALUES; UPDATE %1 SET [%2] = %3, %4 "
                                                   "WHERE rowid = last_insert_rowid()")
                                        .arg(table, col, date, QString::fromLatin1(set))));
    };
    for (const char* value : kUnreadable) insert(c.counted, QString::fromLatin1(value));
    if (c.uncounted)
      for (const char* value : kUnreadable) insert(c.uncounted, QString::fromLatin1(value));
    const long long rowsBefore = test::sqlScalar(db, QStringLiteral("SELECT count(*) FROM %1").arg(table));

    run.boxes.boxes.clear();
    QString desc;
    int32_t num = 0;
    EXPECT_TRUE(c.purge(db, QDate(2004, 3, 5), desc, num)) << c.table;
    EXPECT_EQ(num, 0);
    // Every row with an unreadable date is still there; the readable old rows went.
    const long long unreadableLeft = test::sqlScalar(
        db, QStringLiteral("SELECT count(*) FROM %1 WHERE typeof([%2]) <> 'null' AND NOT ([%2] GLOB "
                           "'[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9]*' AND length([%2]) IN (10, 19))")
                .arg(table, col));
    EXPECT_EQ(unreadableLeft, c.uncounted ? 2 * n : n) << c.table;
    EXPECT_EQ(test::sqlScalar(db, QStringLiteral("SELECT count(*) FROM %1").arg(table)), rowsBefore - c.oldRows)
        << c.table;

    ASSERT_EQ(run.boxes.boxes.size(), 1u) << c.table;
    EXPECT_EQ(run.boxes.boxes[0].style, 48);
    EXPECT_EQ(run.boxes.boxes[0].title, "Purge Database");
    EXPECT_EQ(run.boxes.boxes[0].prompt,
              QStringLiteral("%1 rows of the %2 table were kept because their %3 could not be read as a date.")
                      .arg(n)
                      .arg(table, col) +
                  kCr + kCr + "Dates are read in the form YYYY-MM-DD, with an optional time HH:MM:SS.");
  }
}

TEST_F(BadDatabase, OneUnreadableDateIsToldInTheSingular) {
  ASSERT_TRUE(test::sqlExec(db, "INSERT INTO Manifest(TrackingNum, [Date]) VALUES ('X', '3/4/2004')"));
  QString desc;
  int32_t num = 0;
  EXPECT_TRUE(PurgeManifest(db, QDate(2004, 3, 5), desc, num));
  ASSERT_EQ(run.boxes.boxes.size(), 1u);
  EXPECT_TRUE(run.boxes.boxes[0].prompt.startsWith(
      "1 row of the Manifest table was kept because its Date could not be read as a date."));
  EXPECT_EQ(test::sqlColumn(db, "SELECT [Date] FROM Manifest WHERE TrackingNum = 'X'"), QStringList{"3/4/2004"});
}

TEST_F(BadDatabase, TheDefaultShipFromAndNullDatesAreNotCountedAsUnreadable) {
  // The shop's own contact is spared anyway; Null dates are no unreadable
  // text (a contact never contacted goes, an undated invoice simply stays).
  ASSERT_TRUE(test::sqlExec(db,
                            "UPDATE Contacts SET LastContactDate = 'someday' WHERE ID = 1;"
                            "INSERT INTO InvoiceNumbers(InvoiceNum, [Date]) VALUES ('U', NULL)"));
  QString desc;
  int32_t num = 0;
  EXPECT_TRUE(PurgeContacts(db, QDate(2004, 3, 5), desc, num));
  EXPECT_TRUE(PurgeInvoiceNumbers(db, QDate(2004, 3, 5), desc, num));
  EXPECT_TRUE(run.boxes.boxes.empty()) << run.boxes.boxes.front().prompt.toStdString();
  EXPECT_EQ(test::sqlColumn(db, "SELECT ID FROM Contacts ORDER BY ID"), (QStringList{"1", "3", "5"}));
  EXPECT_EQ(test::sqlColumn(db, "SELECT InvoiceNum FROM InvoiceNumbers ORDER BY ID"), (QStringList{"I2", "U"}));
}

TEST_F(BadDatabase, UnreadableDatesAreCountedFromTheDateIndexAlone) {
  // The first count of a table must not read the table itself: with the
  // shop's index on the date column it scans only that index.
  QStringList statements;
  {
    test::SeamScope observer(db::setStatementObserver, [&](const QString& s) { statements << s; });
    QString desc;
    int32_t num = 0;
    EXPECT_TRUE(PurgePayments(db, QDate(2004, 3, 5), desc, num));
    EXPECT_TRUE(PurgeContacts(db, QDate(2004, 3, 5), desc, num));
  }
  const QStringList countsRun = statements.filter("Count(*)");
  ASSERT_EQ(countsRun.size(), 2) << statements.join("\n").toStdString();
  sqlite3* h = nullptr;
  ASSERT_EQ(sqlite3_open_v2(QFile::encodeName(db).constData(), &h, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
  // The plan does not depend on what the engine's date function answers.
  sqlite3_create_function_v2(
      h, purge_guard::kUnreadableDateFunction, 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
      [](sqlite3_context* context, int, sqlite3_value**) { sqlite3_result_int(context, 0); }, nullptr, nullptr,
      nullptr);
  for (const QString& s : countsRun) {
    sqlite3_stmt* st = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(h, ("EXPLAIN QUERY PLAN " + s).toUtf8().constData(), -1, &st, nullptr), SQLITE_OK)
        << s.toStdString();
    QStringList plan;
    while (sqlite3_step(st) == SQLITE_ROW)
      plan << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 3)));
    sqlite3_finalize(st);
    EXPECT_TRUE(plan.join(" ").contains("COVERING INDEX")) << s.toStdString() << " -> " << plan.join(" ").toStdString();
  }
  sqlite3_close(h);
}

TEST_F(BadDatabase, AFullRunWithUnreadableDatesStillSucceeds) {
  ASSERT_TRUE(
      test::sqlExec(db, "INSERT INTO Manifest(TrackingNum, [Date]) VALUES ('X', '5 March 2003'), ('Y', 37000)"));
  run.purge({.shipments = true});
  EXPECT_EQ(run.events,
            (QStringList{"progress: backing up kestrova.mdb databse...", "progress: purging manifest...",
                         "progress: compacting the database...",
                         "box 48: 2 rows of the Manifest table were kept because their Date could not be read as a "
                         "date.\r\rDates are read in the form YYYY-MM-DD, with an optional time HH:MM:SS.",
                         kSuccess}));
  EXPECT_EQ(test::sqlColumn(db, "SELECT TrackingNum FROM Manifest WHERE TrackingNum IN ('X','Y') ORDER BY 1"),
            (QStringList{"X", "Y"}));
}

// ---------------------------------------------------------------------------
// A read-only database file, a folder where the backup goes.

TEST_F(BadDatabase, AReadOnlyDatabaseIsBackedUpButNeverChanged) {
  ASSERT_EQ(::chmod(QFile::encodeName(db).constData(), 0444), 0);
  const QByteArray original = test::fileHash(db);
  run.purge({.contacts = true, .invoices = true, .shipments = true});
  EXPECT_EQ(run.events, (QStringList{"progress: backing up kestrova.mdb databse...", "progress: purging contacts...",
                                     tableBox("Contacts", kReadOnlyWrite), "progress: purging invoices...",
                                     tableBox("InvoiceNumbers", kReadOnlyWrite), "progress: purging manifest...",
                                     tableBox("Manifest", kReadOnlyWrite), kFailure}))
      << joined(run.events).toStdString();
  EXPECT_EQ(test::fileHash(db), original);
  EXPECT_EQ(test::fileHash(drivePath(kBackupToday)), original);

  // With today's backup made, nothing ticked: the compaction may not put its
  // copy over the read-only file.
  run.events.clear();
  run.purge({});
  ASSERT_EQ(run.events.size(), 3) << joined(run.events).toStdString();
  EXPECT_EQ(run.events[1], failedBox(kCompactHeader, "Permission denied"));
  EXPECT_EQ(run.events[2], kFailure);
  EXPECT_EQ(test::fileHash(db), original);
  struct stat st;
  ASSERT_EQ(::stat(QFile::encodeName(db).constData(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0444u);
  EXPECT_EQ(test::queryText(db, "PRAGMA integrity_check"), "ok");
}

TEST_F(BadDatabase, AReadOnlyDatabaseCanStillBeRead) {
  ASSERT_EQ(::chmod(QFile::encodeName(db).constData(), 0444), 0);
  QString id, desc;
  int32_t num = 0;
  EXPECT_TRUE(GetDefaultShipFrom(db, id, desc, num));
  EXPECT_EQ(id, "1");
  EXPECT_FALSE(PurgeManifest(db, QDate(2004, 3, 5), desc, num));
  EXPECT_EQ(desc, kReadOnlyWrite);
  EXPECT_EQ(num & 0xff, SQLITE_READONLY);
}

TEST_F(BadDatabase, AFolderAtTheBackupPathIsNeitherReplacedNorPurgedPast) {
  ASSERT_TRUE(QDir().mkpath(drivePath(kBackupToday)));
  ASSERT_TRUE(test::writeFile(drivePath(kBackupToday + "/inside.txt"), "keep me"));
  const auto before = state();
  run.purge({.contacts = true, .invoices = true, .shipments = true});
  EXPECT_EQ(run.events, (QStringList{"progress: backing up kestrova.mdb databse...",
                                     failedBox(kBackupHeader, "Is a directory"), kFailure}));
  EXPECT_EQ(state(), before);
  EXPECT_EQ(test::readFile(drivePath(kBackupToday + "/inside.txt")), QByteArray("keep me"));
  EXPECT_EQ(counts(db), kBefore);
}

// ---------------------------------------------------------------------------
// Damaged files made by byte edits: refused before the first delete.

const QString kDamagedHeader =
    QStringLiteral("The database is damaged and was not purged. Restore it from a backup...");

TEST_F(BadDatabase, ADamagedDatabaseIsBackedUpAsItIsButNeverPurged) {
  struct Case {
    const char* name;
    std::function<void()> damage;
    QString findings;  // the box's lines, "" for any
  };
  // Overwrites the file from `at` with `bytes`.
  auto overwrite = [&](qint64 at, const QByteArray& bytes) {
    QFile f(db);
    ASSERT_TRUE(at > 0 && f.open(QIODevice::ReadWrite) && f.seek(at) && f.write(bytes) == bytes.size());
  };
  const long long setupPage = test::sqlScalar(db, "SELECT rootpage FROM sqlite_schema WHERE name = 'Setup'");
  const long long contactsPage = test::sqlScalar(db, "SELECT rootpage FROM sqlite_schema WHERE name = 'Contacts'");
  const long long pageSize = test::sqlScalar(db, "PRAGMA page_size");
  const std::vector<Case> cases = {
      // I3, Payments and Transactions row 3 (2003) pointing at row 2
      // (2004-03-05): a delete through the index would take row 2.
      {"date index entries pointing at a kept row",
       [&] {
         ASSERT_EQ(test::replaceBytes(db, test::dateIndexEntry("2003-01-01", 3), test::dateIndexEntry("2003-01-01", 2)),
                   3);
       },
       "row 3 missing from index InvoiceNumbers_Date\rrow 3 missing from index Payments_Date\r"
       "row 3 missing from index Transactions_Date"},
      // Without Setup the shop's own contact would not be spared.
      {"the Setup table's page zeroed", [&] { overwrite((setupPage - 1) * pageSize, QByteArray(pageSize, 0)); },
       QStringLiteral("Page %1: btreeInitPage() returns error code 11\rdatabase disk image is malformed")
           .arg(setupPage)},
      // The first cell pointer of the Contacts page into the page's header:
      // the tree's own findings, which come under a heading of their own.
      {"a cell of the Contacts table out of its page",
       [&] { overwrite((contactsPage - 1) * pageSize + 8, QByteArray("\x00\x05", 2)); }, ""},
      {"random bytes in an index leaf",
       [&] {
         // Over the Manifest_Date entries from the one of row 100 on.
         QByteArray noise(64, 0);
         for (int i = 0; i < noise.size(); ++i) noise[i] = char((i * 151 + 7) ^ 0x5a);
         overwrite(test::readFile(db).indexOf(test::dateIndexEntry("2010-01-01", 100)), noise);
       },
       ""},
  };
  for (const Case& c : cases) {
    fresh();
    c.damage();
    const QByteArray damaged = test::fileHash(db);
    run.purge({.contacts = true, .invoices = true, .shipments = true});
    ASSERT_EQ(run.events.size(), 3) << c.name << "\n" << joined(run.events).toStdString();
    EXPECT_EQ(run.events[0], "progress: backing up kestrova.mdb databse...");
    if (c.findings.isEmpty())
      EXPECT_TRUE(run.events[1].startsWith(failedBox(kDamagedHeader, QString())))
          << c.name << run.events[1].toStdString();
    else
      EXPECT_EQ(run.events[1], failedBox(kDamagedHeader, c.findings)) << c.name << joined(run.events).toStdString();
    EXPECT_EQ(run.events[2], kFailure);
    EXPECT_EQ(test::fileHash(db), damaged) << c.name << ": nothing deleted or compacted";
    EXPECT_EQ(test::fileHash(drivePath(kBackupToday)), damaged) << c.name;
    EXPECT_FALSE(QFile::exists(drivePath("kvTemp.mdb")));
  }
}

// ---------------------------------------------------------------------------
// What a writer killed mid-write left, links, a WAL-mode database.

TEST_F(BadDatabase, WhatAKilledWriterLeftIsRecoveredAndThenBackedUp) {
  struct Case {
    const char* name;
    const char* setup;
    const char* sql;
    const char* sidecar;
    long long manifestBackedUp;
    const char* mode;
  };
  const Case cases[] = {
      {"a hot journal", "", "DELETE FROM Manifest; ", "-journal", 2002, "delete"},
      {"a WAL holding a commit", "PRAGMA journal_mode=WAL; ",
       "INSERT INTO Manifest(TrackingNum, [Date]) VALUES ('W', '2026-12-01'); COMMIT; ", "-wal", 2003, "wal"},
  };
  for (const Case& c : cases) {
    fresh();
    ASSERT_TRUE(test::crashMidTransaction(db, c.sql, c.setup)) << c.name;
    ASSERT_GT(QFileInfo(db + c.sidecar).size(), 0) << c.name;
    run.purge({.shipments = true});
    EXPECT_EQ(run.events, (QStringList{"progress: backing up kestrova.mdb databse...", "progress: purging manifest...",
                                       "progress: compacting the database...", kSuccess}))
        << c.name << "\n"
        << joined(run.events).toStdString();
    EXPECT_EQ(test::sqlScalar(drivePath(kBackupToday), "SELECT count(*) FROM Manifest"), c.manifestBackedUp) << c.name;
    EXPECT_EQ(test::sqlScalar(db, "SELECT count(*) FROM Manifest"), c.manifestBackedUp - 1) << c.name;
    EXPECT_EQ(test::queryText(db, "PRAGMA journal_mode"), c.mode) << c.name << ": the mode is the shop's";
    EXPECT_EQ(test::queryText(db, "PRAGMA integrity_check"), "ok");
  }
}

// A hot journal of another database beside this one (left from before a
// backup was copied over the file by hand): SQLite would play it back and
// damage the database, so the run refuses and leaves everything as it was.
TEST_F(BadDatabase, AJournalOfAnotherDatabaseIsNeverPlayedBack) {
  const QString other = drivePath("store/other.mdb");
  ASSERT_TRUE(QDir().mkpath(drivePath("store")));
  ASSERT_TRUE(test::makeContactsDb(other, 3000));
  ASSERT_TRUE(test::crashMidTransaction(other, "DELETE FROM Contacts; "));
  ASSERT_TRUE(QFile::rename(other + "-journal", db + "-journal"));
  QDir(drivePath("store")).removeRecursively();
  const auto before = state();

  run.purge({.contacts = true, .invoices = true, .shipments = true});
  ASSERT_EQ(run.events.size(), 2) << joined(run.events).toStdString();
  EXPECT_TRUE(
      run.events.first().startsWith(failedBox("The database is damaged and was not purged. Restore it from a backup...",
                                              "What an interrupted program left beside the database")))
      << joined(run.events).toStdString();
  EXPECT_EQ(run.events.last(), kFailure);
  EXPECT_EQ(state(), before) << "the database, the journal and the folder as they were";
}

// One run at a time per database: while another process holds the run,
// this one refuses before changing anything; the holder's death frees it.
TEST_F(BadDatabase, ASecondRunRefusesUntilTheFirstIsGone) {
  QProcess holder;  // the first run: the folder's lock, in a process of its own
  holder.start("flock", {"-n", "-o", drivePath(QString()), "sh", "-c", "echo ready; exec cat"});
  ASSERT_TRUE(holder.waitForReadyRead(10000)) << holder.readAllStandardError().toStdString();
  const auto before = state();
  run.purge({.contacts = true, .invoices = true, .shipments = true});
  EXPECT_EQ(run.events, (QStringList{failedBox(kBackupHeader, runlock::kBusyText), kFailure}))
      << joined(run.events).toStdString();
  EXPECT_EQ(state(), before);

  holder.kill();
  ASSERT_TRUE(holder.waitForFinished(10000));
  run.events.clear();
  run.purge({.contacts = true, .invoices = true, .shipments = true});
  EXPECT_EQ(run.events.last(), kSuccess) << joined(run.events).toStdString();
}

// In WAL mode everything goes through SQLite's locks: the shop application
// keeps its connection open, the run backs up through SQLite, purges and
// compacts in place, and the shop's next commit lands in the same file.
TEST_F(BadDatabase, AWalDatabaseTheShopHoldsOpenIsPurgedThroughSqlite) {
  ASSERT_TRUE(test::execSql(db, "PRAGMA journal_mode=WAL"));
  sqlite3* shop = nullptr;
  ASSERT_EQ(sqlite3_open(QFile::encodeName(db).constData(), &shop), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(shop, "INSERT INTO Manifest(TrackingNum, [Date]) VALUES ('W1', '2026-12-07')", nullptr,
                         nullptr, nullptr),
            SQLITE_OK);
  run.purge({.shipments = true});
  EXPECT_EQ(run.events.last(), kSuccess) << joined(run.events).toStdString();
  EXPECT_EQ(test::sqlScalar(drivePath(kBackupToday), "SELECT count(*) FROM Manifest"), 2003) << "W1 is in the backup";
  EXPECT_EQ(sqlite3_exec(shop, "INSERT INTO Manifest(TrackingNum, [Date]) VALUES ('W2', '2026-12-07')", nullptr,
                         nullptr, nullptr),
            SQLITE_OK);
  EXPECT_EQ(sqlite3_close(shop), SQLITE_OK);
  EXPECT_EQ(test::sqlScalar(db, "SELECT count(*) FROM Manifest WHERE TrackingNum IN ('W1', 'W2')"), 2);
  EXPECT_EQ(test::sqlScalar(db, "SELECT count(*) FROM Manifest"), 2003);
  EXPECT_EQ(test::queryText(db, "PRAGMA integrity_check"), "ok");
}

TEST_F(BadDatabase, ADatabaseReachedThroughALinkIsReplacedBehindTheLink) {
  const QString real = drivePath("store/kestrova.mdb");
  ASSERT_TRUE(QDir().mkpath(drivePath("store")));
  ASSERT_TRUE(QFile::rename(db, real));
  ASSERT_EQ(::symlink(QFile::encodeName(real).constData(), QFile::encodeName(db).constData()), 0);
  run.purge({.contacts = true, .invoices = true, .shipments = true});
  EXPECT_EQ(run.events.last(), kSuccess) << joined(run.events).toStdString();
  EXPECT_EQ(QFileInfo(db).symLinkTarget(), real) << "the link stays a link";
  EXPECT_EQ(counts(real), (Counts{1, 2, 2, 2001, 3}));
  EXPECT_LT(QFileInfo(real).size(), QFileInfo(drivePath(kBackupToday)).size()) << "compacted";
  EXPECT_FALSE(QFileInfo(drivePath(kBackupToday)).isSymLink());
  EXPECT_EQ(counts(drivePath(kBackupToday)), kBefore);
  EXPECT_EQ(QDir(drivePath("store")).entryList(QDir::Files | QDir::Hidden), QStringList{"kestrova.mdb"});
}

TEST_F(BadDatabase, OnlyADatabaseFileCountsAsTodaysBackup) {
  const QString backup = drivePath(kBackupToday);
  const std::vector<std::pair<const char*, std::function<bool()>>> cases = {
      {"a text file", [&] { return test::writeFile(backup, "made this morning"); }},
      {"a link to a text file",
       [&] {
         return test::writeFile(drivePath("notes.txt"), "shop notes") &&
                ::symlink("notes.txt", QFile::encodeName(backup).constData()) == 0;
       }},
      {"a dangling link", [&] { return ::symlink("gone.mdb", QFile::encodeName(backup).constData()) == 0; }},
      {"a hard link to the database",
       [&] { return ::link(QFile::encodeName(db).constData(), QFile::encodeName(backup).constData()) == 0; }},
      {"a link to another shop database",
       [&] {
         return test::createShopDb(drivePath("other.mdb")) &&
                ::symlink("other.mdb", QFile::encodeName(backup).constData()) == 0;
       }},
      {"a database of another schema", [&] { return test::makeContactsDb(backup, 3); }},
  };
  for (const auto& [name, make] : cases) {
    fresh();
    ASSERT_TRUE(make()) << name;
    const auto before = state();
    run.purge({.contacts = true, .invoices = true, .shipments = true});
    EXPECT_EQ(run.events,
              (QStringList{"progress: backing up kestrova.mdb databse...",
                           failedBox(kBackupHeader,
                                     "C:\\kestrova\\kvbackup07122026.mdb is there but is no backup of the database."),
                           kFailure}))
        << name << "\n"
        << joined(run.events).toStdString();
    EXPECT_EQ(state(), before) << name;
    EXPECT_EQ(counts(db), kBefore) << name;
  }
}

// ---------------------------------------------------------------------------
// Runs in a process of their own: a file-size limit, an unprivileged user.

// A drive of its own that any user may walk into, with a shop database.
class ChildDrive {
 public:
  ChildDrive() : m_root(QDir::tempPath() + QStringLiteral("/kestrova-bad-XXXXXX")) {
    ::chmod(QFile::encodeName(m_root.path()).constData(), 0755);
    QDir(m_root.path()).mkpath(QStringLiteral("kestrova"));
    m_ok = test::createShopDbWithRows(file("kestrova.mdb"), kRows);
  }
  ~ChildDrive() { ::chmod(QFile::encodeName(folder()).constData(), 0755); }
  bool ok() const { return m_ok && m_root.isValid(); }
  QString folder() const { return m_root.path() + QStringLiteral("/kestrova"); }
  QString file(const QString& name) const { return folder() + QLatin1Char('/') + name; }

  // Runs a purge in purge-run-child on this drive, the day being 7 Dec 2026;
  // `limit` caps the size of any file it writes (0: none); `asNobody` drops
  // root for an unprivileged user. Its output lines, or a note why none.
  QStringList purge(const QStringList& options, qint64 limit, bool asNobody) const {
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("KESTROVA_DRIVE_C"), m_root.path());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_root.path());
    env.insert(QStringLiteral("XDG_DATA_HOME"), m_root.path());
    env.insert(QStringLiteral("HOME"), m_root.path());
    env.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    child.setProcessEnvironment(env);
    child.setChildProcessModifier([limit, asNobody] {
      // SIGXFSZ is left as it is: the child must ignore it itself.
      if (limit > 0) {
        const rlimit rl{rlim_t(limit), rlim_t(limit)};
        ::setrlimit(RLIMIT_FSIZE, &rl);
      }
      if (asNobody) {
        if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(97);
      }
    });
    child.start(QStringLiteral(PURGE_RUN_CHILD), QStringList{"--today", "2026-12-07"} + options);
    if (!child.waitForFinished(60000)) {
      child.kill();
      child.waitForFinished();
      return {"timed out"};
    }
    QStringList lines = QString::fromUtf8(child.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    if (child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0)
      lines << QStringLiteral("exit %1: %2").arg(child.exitCode()).arg(QString::fromUtf8(child.readAllStandardError()));
    return lines;
  }

 private:
  QTemporaryDir m_root;
  bool m_ok = false;
};

QString childBox(const QString& header, const QString& desc) {
  return failedBox(header, desc).replace(kCr, QStringLiteral("|"));
}

// A file-size limit below the database's size: the run refuses before the
// backup or the compaction would fail half way, and says why, with figures.
TEST(BadDatabaseChild, AFileSizeLimitBelowTheDatabaseIsRefusedBeforeAnyChange) {
  ChildDrive drive;
  ASSERT_TRUE(drive.ok());
  const QString db = drive.file("kestrova.mdb");
  for (const bool backupToday : {false, true}) {
    if (backupToday) {
      ASSERT_TRUE(test::writeFile(drive.file(kBackupToday), test::backupStandIn("made this morning")));
    }
    const auto before = folderState(drive.folder());
    const QStringList out = drive.purge({"--contacts", "--invoices", "--shipments"}, QFileInfo(db).size() / 2, false);
    ASSERT_EQ(out.size(), 3) << out.join("\n").toStdString();
    EXPECT_TRUE(out[0].startsWith(childBox("There is not enough room for the purge. Nothing was changed...",
                                           "This program may write no file larger than")))
        << out[0].toStdString();
    EXPECT_EQ(out[1], kFailure);
    EXPECT_EQ(folderState(drive.folder()), before) << "no backup, no temporary file, the database as it was";
    EXPECT_EQ(counts(db), kBefore);
  }
}

TEST(BadDatabaseChild, AReadOnlyFolderStopsEveryStepThatWouldWriteInIt) {
  ChildDrive drive;
  ASSERT_TRUE(drive.ok());
  const QString db = drive.file("kestrova.mdb");
  const bool root = ::geteuid() == 0;
  // The database itself is the operator's to write; only its folder is not.
  if (root) {
    ASSERT_EQ(::chown(QFile::encodeName(db).constData(), 65534, 65534), 0);
  }
  ASSERT_EQ(::chmod(QFile::encodeName(drive.folder()).constData(), 0555), 0);
  const auto before = folderState(drive.folder());
  const QString denied = QStringLiteral("Permission denied");

  QStringList out = drive.purge({"--contacts", "--invoices", "--shipments"}, 0, root);
  EXPECT_EQ(out, (QStringList{childBox(kBackupHeader, denied), kFailure, "done"}));
  EXPECT_EQ(folderState(drive.folder()), before);

  // Today's backup made before the folder was closed: each purge and the
  // compaction now fail on their own.
  ASSERT_EQ(::chmod(QFile::encodeName(drive.folder()).constData(), 0755), 0);
  ASSERT_TRUE(test::writeFile(drive.file(kBackupToday), test::backupStandIn("made this morning")));
  ASSERT_EQ(::chmod(QFile::encodeName(drive.folder()).constData(), 0555), 0);
  const auto withBackup = folderState(drive.folder());
  out = drive.purge({"--contacts", "--invoices", "--shipments"}, 0, root);
  ASSERT_EQ(out.size(), 5) << out.join("\n").toStdString();
  // SQLite cannot create the statement's journal beside the database.
  EXPECT_EQ(out[0], childBox("Failed to purge Contacts table...", kReadOnlyWrite));
  EXPECT_EQ(out[1], childBox("Failed to purge InvoiceNumbers table...", kReadOnlyWrite));
  EXPECT_EQ(out[2], childBox("Failed to purge Manifest table...", kReadOnlyWrite));
  EXPECT_EQ(out[3], kFailure);
  EXPECT_EQ(folderState(drive.folder()), withBackup);

  out = drive.purge({}, 0, root);
  ASSERT_EQ(out.size(), 3) << out.join("\n").toStdString();
  EXPECT_EQ(out[0], childBox(kCompactHeader, "unable to open database: " + drive.file("kvTemp.mdb")));
  EXPECT_EQ(out[1], kFailure);
  EXPECT_EQ(folderState(drive.folder()), withBackup);
  EXPECT_EQ(counts(db), kBefore);
}

// A FIFO where the database is: every step refuses it at once instead of
// waiting for a writer that never comes.
TEST(BadDatabaseChild, AFifoAsTheDatabaseIsRefusedWithoutWaiting) {
  ChildDrive drive;
  ASSERT_TRUE(drive.ok());
  const QString db = drive.file("kestrova.mdb");
  ASSERT_TRUE(QFile::remove(db));
  ASSERT_EQ(::mkfifo(QFile::encodeName(db).constData(), 0644), 0);
  const QStringList all{"--contacts", "--invoices", "--shipments"};
  EXPECT_EQ(drive.purge(all, 0, false), (QStringList{childBox(kBackupHeader, "Invalid argument"), kFailure, "done"}));
  ASSERT_TRUE(test::writeFile(drive.file(kBackupToday), test::backupStandIn("made this morning")));
  EXPECT_EQ(drive.purge(all, 0, false),
            (QStringList{childBox(kDamagedHeader, "C:\\kestrova\\kestrova.mdb is not a file that holds a database."),
                         kFailure, "done"}));
  EXPECT_EQ(drive.purge({}, 0, false), (QStringList{childBox(kCompactHeader, "Invalid argument"), kFailure, "done"}));
  EXPECT_EQ(QDir(drive.folder()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
            (QStringList{"kestrova.mdb", kBackupToday}));
}

// The shop application as another user, whose /proc entries an
// unprivileged operator cannot read: seen through the write lease.
TEST(BadDatabaseChild, AnotherUsersProgramHoldingTheDatabaseIsSeen) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to run the operator and the shop as two users";
  ChildDrive drive;
  ASSERT_TRUE(drive.ok());
  const QString db = drive.file("kestrova.mdb");
  for (const QString& path : {drive.folder(), db})
    ASSERT_EQ(::chown(QFile::encodeName(path).constData(), 65534, 65534), 0);
  const QStringList all{"--contacts", "--invoices", "--shipments"};
  const auto before = folderState(drive.folder());
  {
    test::OpenFileChild shop(db);  // root's
    ASSERT_TRUE(shop.ready());
    EXPECT_EQ(drive.purge(all, 0, true),
              (QStringList{childBox(kBackupHeader, "The file is in use by another program."), kFailure, "done"}));
    ASSERT_TRUE(test::writeFile(drive.file(kBackupToday), test::backupStandIn("made this morning")));
    ASSERT_EQ(::chown(QFile::encodeName(drive.file(kBackupToday)).constData(), 65534, 65534), 0);
    const QStringList out = drive.purge({}, 0, true);
    EXPECT_EQ(out.value(0), childBox(kCompactHeader, "The file is in use by another program."))
        << out.join("\n").toStdString();
    ASSERT_TRUE(QFile::remove(drive.file(kBackupToday)));
  }
  EXPECT_EQ(folderState(drive.folder()), before);
  // Once the shop has closed it, the lease is granted and the run goes on.
  EXPECT_EQ(drive.purge(all, 0, true).value(0), kSuccess);
  EXPECT_EQ(counts(db), (Counts{1, 2, 2, 2001, 3}));
}

// Another user's database that no lease can be had on, and processes the
// operator cannot see: the run cannot tell whether the file is in use.
// A database of another account, writable for the operator, whose other
// users' programs cannot be seen: the run works through SQLite's own locks
// (the backup read under its shared lock, the compaction in place), never
// replacing the file another account's program may hold.
TEST(BadDatabaseChild, WhenNoOneCanTellWhetherTheDatabaseIsInUseTheRunWorksThroughSqlite) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to run as another user";
  ChildDrive drive;
  ASSERT_TRUE(drive.ok());
  const QString db = drive.file("kestrova.mdb");
  ASSERT_EQ(::chown(QFile::encodeName(drive.folder()).constData(), 65534, 65534), 0);
  ASSERT_EQ(::chmod(QFile::encodeName(db).constData(), 0666), 0);
  struct stat before;
  ASSERT_EQ(::stat(QFile::encodeName(db).constData(), &before), 0);
  EXPECT_EQ(drive.purge({"--shipments"}, 0, true), (QStringList{kSuccess, "done"}));
  struct stat after;
  ASSERT_EQ(::stat(QFile::encodeName(db).constData(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino) << "the same file, compacted where it is";
  EXPECT_EQ(counts(db), (Counts{3, 3, 3, 2001, 4}));
  EXPECT_EQ(counts(drive.file(kBackupToday)), kBefore);
  EXPECT_EQ(test::queryText(db, "PRAGMA integrity_check"), "ok");
}

}  // namespace
