// The backup commands as the command line calls them: exit statuses, the
// JSON a script reads, and the text an operator reads.
#include <gtest/gtest.h>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <unistd.h>

#include "cli/backup_commands.h"
#include "platform/core/clock.h"
#include "platform/filesafety/run_lock.h"
#include "support/file_ops_support.h"
#include "support/sandbox.h"

namespace {

class BackupCommands : public ::testing::Test {
 protected:
  void SetUp() override {
    sysclock::setClock([] { return QDateTime(QDate(2026, 12, 7), QTime(9, 0)); });
    db = dir.file("kestrova.mdb");
    ASSERT_TRUE(test::makeShopCopy(db, 20));
    ASSERT_TRUE(test::makeShopCopy(dir.file("kvbackup01112026.mdb"), 5));
    ASSERT_TRUE(test::makeShopCopy(dir.file("kvbackup07122026.mdb"), 6));
  }
  void TearDown() override { sysclock::setClock({}); }
  // The one JSON object written to `out`.
  QJsonObject json() const { return QJsonDocument::fromJson(outText.toUtf8()).object(); }

  test::TempDir dir;
  QString db, outText, errText;
  QTextStream out{&outText}, err{&errText};
};

TEST_F(BackupCommands, ListGivesOneJsonObjectAndFailsWhenABackupIsDamaged) {
  EXPECT_EQ(cli::listBackupsCommand(db, true, true, out, err), cli::kExitSuccess);
  const QJsonArray list = json().value("backups").toArray();
  ASSERT_EQ(list.size(), 2);
  EXPECT_EQ(list[0].toObject().value("date").toString(), "2026-12-07");
  EXPECT_EQ(list[1].toObject().value("path").toString(), dir.file("kvbackup01112026.mdb"));
  EXPECT_TRUE(list[1].toObject().value("ok").toBool());
  EXPECT_EQ(json().value("checkedWith").toString(), "integrity_check");

  ASSERT_TRUE(test::writeFile(dir.file("kvbackup01102026.mdb"), "text"));
  outText.clear();
  EXPECT_EQ(cli::listBackupsCommand(db, false, false, out, err), cli::kExitFailed);
  EXPECT_EQ(outText.count('\n'), 4) << outText.toStdString();
  EXPECT_TRUE(outText.contains("not a database")) << outText.toStdString();

  EXPECT_EQ(cli::listBackupsCommand(dir.file("gone/kestrova.mdb"), false, false, out, err), cli::kExitNoDatabase);
}

// A kept pre-restore copy is listed as such; the database under a backup's
// name is listed as no backup, never as a good one.
TEST_F(BackupCommands, ListMarksKeptCopiesAndFailsTheDatabaseUnderABackupsName) {
  ASSERT_TRUE(test::makeShopCopy(dir.file("kvbeforerestore20261201101500.mdb"), 4));
  EXPECT_EQ(cli::listBackupsCommand(db, false, true, out, err), cli::kExitSuccess);
  QJsonArray list = json().value("backups").toArray();
  ASSERT_EQ(list.size(), 3);
  EXPECT_EQ(list[0].toObject().value("kind").toString(), "backup");
  EXPECT_EQ(list[1].toObject().value("kind").toString(), "before restore");
  EXPECT_EQ(list[1].toObject().value("date").toString(), "2026-12-01");
  EXPECT_EQ(list[1].toObject().value("time").toString(), "2026-12-01T10:15:00");
  EXPECT_TRUE(list[1].toObject().value("ok").toBool());

  ASSERT_EQ(::link(QFile::encodeName(db).constData(), QFile::encodeName(dir.file("kvbackup02122026.mdb")).constData()),
            0);
  outText.clear();
  EXPECT_EQ(cli::listBackupsCommand(db, false, false, out, err), cli::kExitFailed);
  EXPECT_TRUE(outText.contains("the database itself")) << outText.toStdString();
  EXPECT_TRUE(outText.contains("kvbeforerestore20261201101500.mdb  (before restore)")) << outText.toStdString();
}

TEST_F(BackupCommands, RestoreExitStatusSaysWhatHappened) {
  ASSERT_TRUE(test::writeFile(dir.file("kvbackup01102026.mdb"), "text"));
  EXPECT_EQ(cli::restoreCommand(db, "32102026", false, out, err), cli::kExitUsage);
  EXPECT_EQ(cli::restoreCommand(db, "01102026", false, out, err), cli::kExitNoDatabase);
  EXPECT_EQ(cli::restoreCommand(db, "02102026", false, out, err), cli::kExitNoDatabase);
  {
    test::OpenFileChild shop(db);
    ASSERT_TRUE(shop.ready());
    EXPECT_EQ(cli::restoreCommand(db, "01112026", false, out, err), cli::kExitInUse);
  }
  EXPECT_EQ(errText.count(QStringLiteral("Restore refused, nothing changed: ")), 4) << errText.toStdString();
  EXPECT_TRUE(outText.isEmpty());

  EXPECT_EQ(cli::restoreCommand(db, "2026-11-01", true, out, err), cli::kExitSuccess);
  EXPECT_TRUE(json().value("restored").toBool());
  EXPECT_EQ(json().value("kept").toString(), dir.file("kvbeforerestore20261207090000.mdb"));
  EXPECT_EQ(test::queryText(db, "SELECT count(*) FROM Contacts"), "5");
}

TEST_F(BackupCommands, KeepListsInADryRunAndRemovesOtherwise) {
  ASSERT_TRUE(test::makeShopCopy(dir.file("kvbackup01102026.mdb"), 5));
  EXPECT_EQ(cli::keepBackupsCommand(db, 0, QDate(2026, 12, 7), false, nullptr, out, err), cli::kExitUsage);

  QJsonObject summary;
  EXPECT_EQ(cli::keepBackupsCommand(db, 1, QDate(2026, 12, 7), true, &summary, out, err), cli::kExitSuccess);
  EXPECT_EQ(summary.value("wouldRemove").toArray().size(), 2);
  EXPECT_TRUE(QFile::exists(dir.file("kvbackup01102026.mdb")));
  EXPECT_TRUE(outText.isEmpty()) << "the object is the caller's to write";

  EXPECT_EQ(cli::keepBackupsCommand(db, 2, QDate(2026, 12, 7), false, nullptr, out, err), cli::kExitSuccess);
  EXPECT_EQ(outText, "Removed " + dir.file("kvbackup01102026.mdb") + "\n");
  EXPECT_TRUE(QFile::exists(dir.file("kvbackup01112026.mdb")));
}

// Retention outside a purge is a run of its own: it waits for no other run
// and removes nothing while one holds the run lock; a dry run, or a purge
// that holds the lock itself, goes on.
TEST_F(BackupCommands, KeepTakesTheRunLockUnlessItsCallerHoldsIt) {
  ASSERT_TRUE(test::makeShopCopy(dir.file("kvbackup01102026.mdb"), 5));
  runlock::RunLock purge;
  ASSERT_TRUE(purge.acquire(db).ok());
  QJsonObject summary;
  EXPECT_EQ(cli::keepBackupsCommand(db, 1, QDate(2026, 12, 7), false, &summary, out, err), cli::kExitInUse);
  EXPECT_FALSE(summary.value("error").toString().isEmpty());
  EXPECT_TRUE(QFile::exists(dir.file("kvbackup01102026.mdb")));
  EXPECT_EQ(cli::keepBackupsCommand(db, 1, QDate(2026, 12, 7), true, nullptr, out, err), cli::kExitSuccess);
  EXPECT_EQ(cli::keepBackupsCommand(db, 1, QDate(2026, 12, 7), false, nullptr, out, err, false, true),
            cli::kExitSuccess);
  EXPECT_FALSE(QFile::exists(dir.file("kvbackup01102026.mdb")));
}

// Told that the purge would make today's backup, a dry run counts it.
TEST_F(BackupCommands, ADryRunCountsTheBackupThePurgeWouldMake) {
  ASSERT_TRUE(QFile::remove(dir.file("kvbackup07122026.mdb")));
  ASSERT_TRUE(test::makeShopCopy(dir.file("kvbackup01102026.mdb"), 5));
  QJsonObject summary;
  EXPECT_EQ(cli::keepBackupsCommand(db, 2, QDate(2026, 12, 7), true, &summary, out, err, true), cli::kExitSuccess);
  const QJsonArray named = summary.value("wouldRemove").toArray();
  ASSERT_EQ(named.size(), 1);
  EXPECT_EQ(named[0].toObject().value("path").toString(), dir.file("kvbackup01102026.mdb"));
  EXPECT_EQ(cli::keepBackupsCommand(db, 2, QDate(2026, 12, 7), true, &summary, out, err), cli::kExitSuccess);
  EXPECT_TRUE(summary.value("wouldRemove").toArray().isEmpty()) << "without it, nothing is beyond two";
}

}  // namespace
