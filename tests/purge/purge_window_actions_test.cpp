// The purge run end to end: the main window's Purge button on a shop database
// in the sandbox drive, with the progress texts and boxes the operator sees.
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <thread>

#include <gtest/gtest.h>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLocale>

#include "platform/core/app.h"
#include "platform/core/db_engine.h"
#include "platform/core/locale_dates.h"
#include "platform/core/runtime_error.h"
#include "platform/core/settings_store.h"
#include "purge/calendar_control.h"
#include "purge/forms_.h"
#include "purge/purge_window.h"
#include "purge_run_support.h"
#include "support/file_ops_support.h"
#include "support/sandbox.h"
#include "support/shop_db.h"
#include "support/test_helpers.h"

namespace {

using test::drivePath;
using test::progressOf;

const QString kBackupText = QStringLiteral("backing up kestrova.mdb databse...");
using test::kFailure;
using test::kSuccess;
const QString kBackupToday = QStringLiteral("kvbackup07122026.mdb");

// Rows on both sides of the cut-off of 5 March 2004, and bulk old shipments
// that make a compaction worth its while.
const char* kRows = R"(
INSERT INTO InvoiceNumbers(InvoiceNum, [Date]) VALUES
  ('I1', '2004-03-04 23:59:59'), ('I2', '2004-03-05'), ('I3', '2004-03-05 08:00:00'), ('I4', '2003-01-01');
INSERT INTO Payments(AcctNum, [Date]) VALUES
  ('Cash', '2004-03-04 23:59:59'), ('Cash', '2004-03-05'), ('A100', '2003-01-01'), (NULL, '2003-01-01'),
  ('Cash', '2002-06-01 12:00:00');
INSERT INTO Transactions(AcctNum, [Date]) VALUES
  ('Cash', '2004-03-04 23:59:59'), ('Cash', '2004-03-05'), ('A100', '2003-01-01'), (NULL, '2003-01-01'),
  ('Cash', '2002-06-01 12:00:00');
INSERT INTO Manifest(TrackingNum, [Date]) VALUES ('T1', '2004-03-04 23:59:59'), ('T2', '2004-03-05'), ('T3', '2001-01-01');
INSERT INTO Contacts(ID, Name, AR, LastContactDate) VALUES
  (1, 'Shop itself', NULL, NULL), (2, 'Old walk-in', NULL, '2003-05-01'), (3, 'Old account', 'A100', '2003-05-01'),
  (4, 'Account never contacted', 'A200', NULL), (5, 'Recent walk-in', NULL, '2004-03-05');
INSERT INTO Setup(ShopName, DefaultShipFrom) VALUES ('Corner Shop', 1);
WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 3000)
  INSERT INTO Manifest(TrackingNum, ShipToName, [Date])
  SELECT 'BULK' || i, printf('%.300c', 'x'), '2000-01-01' FROM n;
)";

struct Counts {
  long long invoices, payments, transactions, manifest, contacts;
  bool operator==(const Counts&) const = default;
};

Counts counts(const QString& db) {
  return {test::sqlScalar(db, "SELECT count(*) FROM InvoiceNumbers"),
          test::sqlScalar(db, "SELECT count(*) FROM Payments"),
          test::sqlScalar(db, "SELECT count(*) FROM Transactions"),
          test::sqlScalar(db, "SELECT count(*) FROM Manifest"), test::sqlScalar(db, "SELECT count(*) FROM Contacts")};
}

const Counts kBefore{4, 5, 5, 3003, 5};

class PurgeRun : public ::testing::Test {
 protected:
  void SetUp() override { fresh(); }
  void TearDown() override { MainWindow().unload(); }
  test::LocaleScope m_locale{"en_US"};  // fresh() sets it again for each database

  // A new shop database alone in its folder, the main window not loaded.
  void fresh() {
    MainWindow().unload();
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QDir folder(drivePath(QString()));
    for (const QString& name : folder.entryList(QDir::Files | QDir::Hidden)) folder.remove(name);
    run.events.clear();
    db = drivePath("kestrova.mdb");
    QString error;
    ASSERT_TRUE(test::createShopDbWithRows(db, kRows, &error)) << error.toStdString();
    ASSERT_EQ(counts(db), kBefore);
    original = test::fileHash(db);
  }

  QStringList folder() const { return QDir(drivePath(QString())).entryList(QDir::Files | QDir::Hidden, QDir::Name); }

  QString db;
  QByteArray original;
  test::PurgeRunRecorder run;
};

TEST_F(PurgeRun, NoOptionBacksUpCompactsAndReportsSuccess) {
  run.purge({});
  EXPECT_EQ(run.events, (QStringList{"progress: " + kBackupText, "progress: compacting the database...", kSuccess}));
  EXPECT_EQ(folder(), (QStringList{"kestrova.mdb", kBackupToday}));
  EXPECT_EQ(test::fileHash(drivePath(kBackupToday)), original);
  EXPECT_EQ(counts(db), kBefore);
  EXPECT_EQ(test::queryText(db, "PRAGMA integrity_check"), "ok");
  EXPECT_TRUE(run.busyWhileWorking);
  EXPECT_FALSE(IsFormLoaded("frmPleaseWait"));
}

TEST_F(PurgeRun, TodaysBackupPresentMeansNoBackupStep) {
  ASSERT_TRUE(test::writeFile(drivePath(kBackupToday), test::backupStandIn("made this morning")));
  run.purge({.shipments = true});
  EXPECT_EQ(progressOf(run.events), (QStringList{"purging manifest...", "compacting the database..."}));
  EXPECT_EQ(test::readFile(drivePath(kBackupToday)), test::backupStandIn("made this morning"));
  EXPECT_EQ(run.events.last(), kSuccess);
}

TEST_F(PurgeRun, AFullRunDeletesExactlyTheOldRowsAndShrinksTheFile) {
  const qint64 sizeBefore = QFileInfo(db).size();
  run.purge({.contacts = true, .invoices = true, .shipments = true});
  EXPECT_EQ(progressOf(run.events),
            (QStringList{kBackupText, "purging contacts...", "purging invoices...", "purging payments...",
                         "purging transactions...", "purging manifest...", "compacting the database..."}));
  EXPECT_EQ(run.events.last(), kSuccess);
  EXPECT_EQ(run.events.size(), 8);
  EXPECT_EQ(test::sqlColumn(db, "SELECT InvoiceNum FROM InvoiceNumbers ORDER BY ID"), (QStringList{"I2", "I3"}));
  EXPECT_EQ(test::sqlColumn(db, "SELECT ifnull(AcctNum, 'null') || ' ' || [Date] FROM Payments ORDER BY ID"),
            (QStringList{"Cash 2004-03-05", "A100 2003-01-01", "null 2003-01-01"}));
  EXPECT_EQ(test::sqlScalar(db, "SELECT count(*) FROM Transactions"), 3);
  EXPECT_EQ(test::sqlColumn(db, "SELECT TrackingNum FROM Manifest ORDER BY ID"), (QStringList{"T2"}));
  EXPECT_EQ(test::sqlColumn(db, "SELECT ID FROM Contacts ORDER BY ID"), (QStringList{"1", "3", "5"}));
  EXPECT_LT(QFileInfo(db).size(), sizeBefore / 2);
  EXPECT_EQ(test::queryText(db, "PRAGMA integrity_check"), "ok");
  EXPECT_EQ(test::fileHash(drivePath(kBackupToday)), original);
  EXPECT_EQ(folder(), (QStringList{"kestrova.mdb", kBackupToday}));
}

// The user's setting makes the window's Purge archive what it removes; the
// window shows the very same run.
TEST_F(PurgeRun, ArchiveSettingCopiesTheRemovedRowsIntoTheArchive) {
  ASSERT_TRUE(settings::SaveSetting(app::title(), "Purge", "ArchiveRemovedRows", "1").ok());
  run.purge({.shipments = true});
  ASSERT_TRUE(settings::SaveSetting(app::title(), "Purge", "ArchiveRemovedRows", "0").ok());
  EXPECT_EQ(progressOf(run.events), (QStringList{kBackupText, "purging manifest...", "compacting the database..."}));
  EXPECT_EQ(run.events.last(), kSuccess);
  EXPECT_EQ(test::sqlColumn(db, "SELECT TrackingNum FROM Manifest"), (QStringList{"T2"}));
  const QString archive = drivePath("kvarchive.mdb");
  EXPECT_EQ(test::sqlScalar(archive, "SELECT count(*) FROM Manifest"), 3002);
  EXPECT_EQ(test::sqlColumn(archive, "SELECT TrackingNum FROM Manifest WHERE TrackingNum NOT LIKE 'BULK%' ORDER BY ID"),
            (QStringList{"T1", "T3"}));
}

// Rows kept for an unreadable date in several tables are told in one box,
// a line per table in the order they were purged, before the final box.
TEST_F(PurgeRun, RowsKeptForAnUnreadableDateAreToldOnceBeforeTheFinalBox) {
  ASSERT_TRUE(test::sqlExec(db,
                            "INSERT INTO InvoiceNumbers(InvoiceNum, [Date]) VALUES ('U', '3/4/2004');"
                            "INSERT INTO Manifest(TrackingNum, [Date]) VALUES ('X', 'soon'), ('Y', '2/1/2004')"));
  run.purge({.invoices = true, .shipments = true});
  ASSERT_GE(run.events.size(), 2);
  EXPECT_EQ(run.events.last(), kSuccess);
  EXPECT_EQ(run.events[run.events.size() - 2],
            QStringLiteral(
                "box 48: 1 row of the InvoiceNumbers table was kept because its Date could not be read as a date.\r"
                "2 rows of the Manifest table were kept because their Date could not be read as a date.\r\r"
                "Dates are read in the form YYYY-MM-DD, with an optional time HH:MM:SS."));
  EXPECT_EQ(run.events.filter("box 48").size(), 1);
}

// While a delete works, the window's thread still processes its events: an
// event posted from inside the delete is delivered before the delete ends.
TEST_F(PurgeRun, TheWindowsThreadProcessesEventsWhileADeleteWorks) {
  std::atomic<bool> delivered{false};
  std::atomic<int> deliveredDuringDelete{0};
  db::setStatementObserver([&](const QString& statement) {
    if (!statement.startsWith(QLatin1String("Delete"))) return;
    delivered = false;
    QMetaObject::invokeMethod(
        qApp, [&] { delivered = true; }, Qt::QueuedConnection);
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (!delivered && std::chrono::steady_clock::now() < until)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (delivered) ++deliveredDuringDelete;
  });
  run.purge({.invoices = true, .shipments = true});
  db::setStatementObserver(nullptr);
  EXPECT_EQ(deliveredDuringDelete, 4);
  EXPECT_EQ(run.events.last(), kSuccess);
}

TEST_F(PurgeRun, EachOptionAloneTouchesOnlyItsTables) {
  struct Case {
    test::RunOptions options;
    Counts after;
  };
  const std::vector<Case> cases = {
      {{.contacts = true}, {4, 5, 5, 3003, 3}},
      {{.invoices = true}, {2, 3, 3, 3003, 5}},
      {{.shipments = true}, {4, 5, 5, 1, 5}},
  };
  for (const Case& c : cases) {
    fresh();
    run.purge(c.options);
    EXPECT_EQ(counts(db), c.after);
    EXPECT_EQ(run.events.last(), kSuccess);
  }
}

TEST_F(PurgeRun, TheInvoiceChainStopsAtTheFirstTableThatFails) {
  struct Case {
    const char* dropped;
    QStringList progress;
    Counts after;
  };
  const QString inv = "purging invoices...", pay = "purging payments...", tra = "purging transactions...";
  const std::vector<Case> cases = {
      {"InvoiceNumbers", {inv}, {-1, 5, 5, 3003, 5}},
      {"Payments", {inv, pay}, {2, -1, 5, 3003, 5}},
      {"Transactions", {inv, pay, tra}, {2, 3, -1, 3003, 5}},
  };
  for (const Case& c : cases) {
    fresh();
    ASSERT_TRUE(test::writeFile(drivePath(kBackupToday), test::backupStandIn("b")));
    ASSERT_TRUE(test::sqlExec(db, QStringLiteral("DROP TABLE %1").arg(c.dropped)));
    run.purge({.invoices = true});
    EXPECT_EQ(progressOf(run.events), c.progress) << c.dropped;
    ASSERT_EQ(run.events.size(), c.progress.size() + 2);
    EXPECT_TRUE(run.events[run.events.size() - 2].startsWith(
        QStringLiteral("box 48: Failed to purge %1 table...\r\rThe following error has occurred:\rno such table: %1")
            .arg(c.dropped)));
    EXPECT_EQ(run.events.last(), kFailure);
    EXPECT_EQ(counts(db), c.after) << c.dropped;
    EXPECT_FALSE(QFile::exists(drivePath("kvTemp.mdb")));
  }
}

TEST_F(PurgeRun, ALaterStepThatWorksNeverHidesAnEarlierFailure) {
  // Contacts fail, shipments work; then invoices fail, shipments work.
  for (const char* dropped : {"Contacts", "InvoiceNumbers"}) {
    fresh();
    ASSERT_TRUE(test::sqlExec(db, QStringLiteral("DROP TABLE %1").arg(dropped)));
    const qint64 sizeBefore = QFileInfo(db).size();
    run.purge({.contacts = true, .invoices = true, .shipments = true});
    EXPECT_FALSE(progressOf(run.events).contains("compacting the database...")) << dropped;
    EXPECT_EQ(run.events.last(), kFailure) << dropped;
    EXPECT_EQ(test::sqlScalar(db, "SELECT count(*) FROM Manifest"), 1) << "shipments were purged all the same";
    EXPECT_EQ(QFileInfo(db).size(), sizeBefore) << "no compaction";
  }
}

TEST_F(PurgeRun, ADatabaseAnotherProgramWritesIsNeitherBackedUpNorPurged) {
  test::OpenFileChild shopApplication(db);
  ASSERT_TRUE(shopApplication.ready());
  run.purge({.contacts = true, .invoices = true, .shipments = true});
  ASSERT_EQ(run.events.size(), 3);
  EXPECT_EQ(run.events[0], "progress: " + kBackupText);
  EXPECT_EQ(run.events[1],
            "box 48: Please close the 'Kestrova.mdb' database file and all the programs that might use it...\r\r"
            "The following error has occurred:\rThe file is in use by another program.");
  EXPECT_EQ(run.events[2], kFailure);
  EXPECT_EQ(test::fileHash(db), original);
  EXPECT_EQ(folder(), QStringList{"kestrova.mdb"});
}

TEST_F(PurgeRun, ACompactionThatFailsIsSaid) {
  // A folder stands where the compaction writes its temporary file.
  ASSERT_TRUE(QDir().mkpath(drivePath("kvTemp.mdb")));
  run.purge({.shipments = true});
  ASSERT_GE(run.events.size(), 2);
  EXPECT_TRUE(run.events[run.events.size() - 2].startsWith(
      "box 48: Failed to compact the database...\r\rThe following error has occurred:\r"));
  EXPECT_EQ(run.events.last(), kFailure);
  EXPECT_EQ(test::sqlScalar(db, "SELECT count(*) FROM Manifest"), 1);
  EXPECT_EQ(test::queryText(db, "PRAGMA integrity_check"), "ok");

  // A leftover the program may not delete: its own box, then the failure.
  ASSERT_TRUE(QDir().rmdir(drivePath("kvTemp.mdb")));
  ASSERT_TRUE(test::writeFile(drivePath("kvTemp.mdb"), "old"));
  ASSERT_EQ(::chmod(QFile::encodeName(drivePath("kvTemp.mdb")).constData(), 0444), 0);
  run.events.clear();
  run.purge({});
  ASSERT_EQ(run.events.size(), 3);
  EXPECT_TRUE(
      run.events[1].startsWith("box 64: Purge Database program has failed to delete:\rc:\\kestrova\\kvTemp.mdb"));
  EXPECT_EQ(run.events[2], kFailure);
}

// A calendar that hands the run whatever a test wants.
class FakeCalendar : public CalendarControl {
 public:
  int16_t first = 5, second = 3, year = 2004;
  bool fails = false;
  int16_t firstPart() const override { return first; }
  int16_t secondPart() const override { return second; }
  int16_t yearPart() const override {
    if (fails) throw RuntimeError(380, QStringLiteral("Invalid property value"));
    return year;
  }
};

TEST_F(PurgeRun, ACutOffThatIsNoDateTouchesNothing) {
  PurgeDatabase* w = MainWindow().get();
  auto fake = std::make_unique<FakeCalendar>();
  fake->second = 13;
  fake->first = 13;
  w->cldRemoveDate = fake.get();
  w->chkShipments->setChecked(true);
  w->btnAction_Click(0);
  EXPECT_EQ(run.events, QStringList{"box 64: Please click on the calender to select a removal Date"});
  EXPECT_EQ(run.boxes.boxes.back().title, "Purge Database");
  EXPECT_EQ(folder(), QStringList{"kestrova.mdb"});
  EXPECT_EQ(test::fileHash(db), original);
}

TEST_F(PurgeRun, ARunTimeErrorEndsTheRunAfterTheProgressWindowIsGone) {
  ASSERT_TRUE(test::writeFile(drivePath(kBackupToday), test::backupStandIn("b")));
  PurgeDatabase* w = MainWindow().get();
  auto fake = std::make_unique<FakeCalendar>();
  fake->fails = true;
  w->cldRemoveDate = fake.get();
  LoadPleaseWait();
  bool progressGoneAtBox = false;
  run.boxes.onShow = [&](const test::Box&) { progressGoneAtBox = !IsFormLoaded("frmPleaseWait"); };
  w->btnAction_Click(0);
  ASSERT_EQ(run.boxes.boxes.size(), 1u);
  EXPECT_EQ(run.boxes.boxes[0].prompt,
            "Purge has failed...\r\rThe following error has occurred:\rInvalid property value");
  EXPECT_EQ(run.boxes.boxes[0].title, "Process has failed !");
  EXPECT_TRUE(progressGoneAtBox);
  EXPECT_EQ(test::fileHash(db), original);
}

TEST_F(PurgeRun, AnUnreachableDriveIsARunTimeErrorOfTheRun) {
  // The backup's file search cannot even be made: a drive root whose name is too long.
  test::EnvScope drive("KESTROVA_DRIVE_C", std::string(300, 'k').c_str());
  run.purge({.shipments = true});
  ASSERT_EQ(run.boxes.boxes.size(), 1u);
  EXPECT_EQ(run.boxes.boxes[0].prompt, "Purge has failed...\r\rThe following error has occurred:\rFile name too long");
  EXPECT_EQ(run.boxes.boxes[0].title, "Process has failed !");
}

TEST_F(PurgeRun, TheFinalBoxIsShownOverTheLastStep) {
  bool progressAtFinalBox = false;
  run.boxes.onShow = [&](const test::Box& box) {
    if (box.style == 64) progressAtFinalBox = IsFormLoaded("frmPleaseWait");
  };
  run.purge({});
  EXPECT_TRUE(progressAtFinalBox);
  EXPECT_FALSE(IsFormLoaded("frmPleaseWait"));
}

TEST_F(PurgeRun, ExitUnloadsTheWindowAndMakesNoBackup) {
  PurgeDatabase* w = MainWindow().get();
  w->show();
  ASSERT_TRUE(IsFormLoaded("PurgeDatabase"));
  w->btnAction_Click(1);
  EXPECT_FALSE(IsFormLoaded("PurgeDatabase"));
  EXPECT_FALSE(MainWindow().isLoaded());
  EXPECT_TRUE(run.boxes.boxes.empty());
  EXPECT_EQ(folder(), QStringList{"kestrova.mdb"});
}

// The cut-off the purges receive is the day picked on the calendar, whatever
// order the user's locale writes day and month in.
TEST_F(PurgeRun, TheCutOffIsTheSelectedDateInEveryLocale) {
  for (const QLocale& locale :
       {QLocale(QLocale::English, QLocale::UnitedStates), QLocale(QLocale::English, QLocale::UnitedKingdom),
        QLocale(QLocale::German, QLocale::Germany), QLocale(QLocale::Japanese, QLocale::Japan)}) {
    fresh();
    QLocale::setDefault(locale);
    ASSERT_TRUE(test::writeFile(drivePath(kBackupToday), test::backupStandIn("b")));
    PurgeDatabase* w = MainWindow().get();
    w->cldRemoveDate->setSelectedDate(QDate(2004, 3, 5));
    const QString text = QStringLiteral("%1/%2/%3")
                             .arg(w->cldRemoveDate->firstPart(), 2, 10, QLatin1Char('0'))
                             .arg(w->cldRemoveDate->secondPart(), 2, 10, QLatin1Char('0'))
                             .arg(w->cldRemoveDate->yearPart());
    EXPECT_EQ(locale_dates::textToDate(text), QDate(2004, 3, 5)) << locale.name().toStdString();
    run.purge({.invoices = true});
    EXPECT_EQ(test::sqlColumn(db, "SELECT InvoiceNum FROM InvoiceNumbers ORDER BY ID"), (QStringList{"I2", "I3"}))
        << locale.name().toStdString();
  }
}

}  // namespace
