// The real purge-database binary on its command line, as a timer runs it:
// no display variables, a sample shop database in a temporary folder, the
// exit status, the summary and the files left behind.
#include <sys/stat.h>

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include "sampledb/sample_db.h"
#include "support/sandbox.h"
#include "support/shop_db.h"

namespace {

struct Outcome {
  int exit = -1;
  QString out;
  QString err;
  QJsonObject json() const { return QJsonDocument::fromJson(out.toUtf8()).object(); }
};

// Every file of a folder: its bytes and its modification time.
struct FileState {
  QByteArray bytes;
  qint64 mtimeNs = 0;
  bool operator==(const FileState&) const = default;
};
using FolderState = std::map<QString, FileState>;

class CommandLine : public ::testing::Test {
 protected:
  void SetUp() override {
    db = dir.file(QStringLiteral("kestrova.mdb"));
    sampledb::Options options;
    options.seed = 11;
    options.today = QDate::currentDate();
    ASSERT_EQ(sampledb::make(db, options), QString());
    // Rows whose date cannot be read: kept by every purge, and counted.
    ASSERT_TRUE(
        test::sqlExec(db,
                      "UPDATE Manifest SET [Date] = '03/01/2001' WHERE ID IN (1, 2);"
                      "UPDATE Payments SET [Date] = 'soon' WHERE ID = 1 AND AcctNum = 'Cash';"));
  }

  // purge-database with `args`, with DISPLAY, WAYLAND_DISPLAY and
  // QT_QPA_PLATFORM unset.
  Outcome run(const QStringList& args) {
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
      env.remove(QLatin1String(name));
    child.setProcessEnvironment(env);
    child.start(QStringLiteral(PURGE_DATABASE), args);
    Outcome r;
    if (!child.waitForFinished(120000) || child.exitStatus() != QProcess::NormalExit) return r;
    r.exit = child.exitCode();
    r.out = QString::fromUtf8(child.readAllStandardOutput());
    r.err = QString::fromUtf8(child.readAllStandardError());
    return r;
  }

  FolderState state() const {
    FolderState s;
    for (const QFileInfo& fi : QDir(dir.path()).entryInfoList(QDir::Files | QDir::Hidden))
      s[fi.fileName()] = {test::readFile(fi.filePath()), mtimeNs(fi.filePath())};
    return s;
  }

  // Nanosecond modification time, which QFileInfo rounds to milliseconds.
  static qint64 mtimeNs(const QString& path) {
    struct stat st {};
    ::stat(QFile::encodeName(path).constData(), &st);
    return qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  }

  test::TempDir dir;
  QString db;
};

// The rows per table a summary gives under `key`.
std::map<QString, qint64> perTable(const QJsonObject& summary, const char* key) {
  std::map<QString, qint64> out;
  for (const QJsonValue& t : summary.value("tables").toArray())
    out[t.toObject().value("table").toString()] =
        t.toObject().value(QLatin1String(key)).toInteger(-1);
  return out;
}

TEST_F(CommandLine, HelpVersionAndUsageErrorsNeedNoDisplayAndTouchNothing) {
  const FolderState before = state();
  const Outcome help = run({"--help"});
  EXPECT_EQ(help.exit, 0) << help.err.toStdString();
  EXPECT_TRUE(help.out.contains("--older-than") && help.out.contains("Exit status"))
      << help.out.toStdString();

  const Outcome version = run({"--version"});
  EXPECT_EQ(version.exit, 0);
  EXPECT_EQ(version.out, QStringLiteral("purge-database 1.0.1\n"));

  const Outcome usage = run({"--all", "--older-than", "24w", "--database", db});
  EXPECT_EQ(usage.exit, 2);
  EXPECT_TRUE(usage.err.contains("--help")) << usage.err.toStdString();
  EXPECT_TRUE(usage.out.isEmpty());
  EXPECT_EQ(state(), before);
}

TEST_F(CommandLine, DryRunChangesNothingAndCountsWhatTheRunThenRemoves) {
  const QStringList purge{"--all", "--older-than", "30m", "--database", db, "--json", "--quiet"};
  const FolderState before = state();
  const qint64 mtime = mtimeNs(db);

  const Outcome dry = run(QStringList(purge) << "--dry-run");
  ASSERT_EQ(dry.exit, 0) << dry.err.toStdString();
  EXPECT_EQ(state(), before) << "no backup, journal or temporary file, no byte changed";
  EXPECT_EQ(mtimeNs(db), mtime);
  const QJsonObject plan = dry.json();
  EXPECT_TRUE(plan.value("backup").toObject().value("wouldBeMade").toBool());
  EXPECT_EQ(plan.value("size").toInteger(), QFileInfo(db).size());
  const auto wouldRemove = perTable(plan, "wouldRemove");
  const auto rows = perTable(plan, "rows");
  ASSERT_EQ(wouldRemove.size(), 5u);
  for (const auto& [table, n] : wouldRemove) {
    EXPECT_GT(n, 0) << table.toStdString();
    EXPECT_LT(n, rows.at(table)) << table.toStdString();
  }
  EXPECT_EQ(perTable(plan, "keptUnreadableDate").at("Manifest"), 2);
  EXPECT_EQ(perTable(plan, "keptUnreadableDate").at("Payments"), 1);

  const Outcome real = run(purge);
  ASSERT_EQ(real.exit, 0) << real.err.toStdString() << real.out.toStdString();
  EXPECT_FALSE(real.err.contains(QStringLiteral("Please wait,")))
      << "--quiet: " << real.err.toStdString();
  EXPECT_TRUE(real.err.endsWith(
      QStringLiteral("Purge Database: Purge has been finished successfully !\n")));
  const QJsonObject done = real.json();
  EXPECT_TRUE(done.value("success").toBool());
  EXPECT_EQ(perTable(done, "removed"), wouldRemove);
  EXPECT_EQ(perTable(done, "rowsBefore"), rows);
  EXPECT_EQ(perTable(done, "keptUnreadableDate"), perTable(plan, "keptUnreadableDate"));
  for (const auto& [table, n] : rows)
    EXPECT_EQ(test::sqlScalar(db, QStringLiteral("SELECT COUNT(*) FROM [%1]").arg(table)),
              n - wouldRemove.at(table));
  const QJsonObject backup = done.value("backup").toObject();
  EXPECT_TRUE(backup.value("made").toBool());
  EXPECT_EQ(test::readFile(backup.value("path").toString()), before.at("kestrova.mdb").bytes);
  EXPECT_EQ(done.value("sizeAfter").toInteger(), QFileInfo(db).size());
  EXPECT_EQ(done.value("steps").toArray().size(), 8);  // backup, check, five tables, compaction
  EXPECT_FALSE(QFileInfo::exists(dir.file("kvTemp.mdb")));
}

TEST_F(CommandLine, AHeldMissingOrForeignDatabaseStopsBeforeAnyChange) {
  const QStringList purge{"--all", "--older-than", "30m", "--quiet"};
  FolderState before = state();
  {
    QFile writer(db);
    ASSERT_TRUE(writer.open(QIODevice::ReadWrite));
    const Outcome held = run(QStringList(purge) << "--database" << db);
    EXPECT_EQ(held.exit, 3) << held.err.toStdString();
    EXPECT_TRUE(held.err.contains(db)) << held.err.toStdString();
  }
  EXPECT_EQ(state(), before);

  const QString missing = dir.file(QStringLiteral("elsewhere.mdb"));
  const Outcome gone = run(QStringList(purge) << "--database" << missing << "--json");
  EXPECT_EQ(gone.exit, 4);
  EXPECT_TRUE(gone.err.contains(QStringLiteral("No such file or directory: ") + missing))
      << gone.err.toStdString();
  EXPECT_EQ(gone.json().value("exitStatus").toInt(), 4);

  // The program's own database, through the drive mapping, on a first run.
  const Outcome firstRun = run(purge);
  EXPECT_EQ(firstRun.exit, 4);
  EXPECT_TRUE(firstRun.err.contains(qEnvironmentVariable("KESTROVA_DRIVE_C") +
                                    QStringLiteral("/kestrova/kestrova.mdb")))
      << firstRun.err.toStdString();

  ASSERT_TRUE(test::writeFile(db, QByteArray("Shop notes\nnothing to see here\n").repeated(40)));
  before = state();
  for (const QString& mode : {QStringLiteral("--quiet"), QStringLiteral("--dry-run")}) {
    const Outcome foreign = run(QStringList(purge) << "--database" << db << mode);
    EXPECT_EQ(foreign.exit, 4) << mode.toStdString() << foreign.err.toStdString();
  }
  EXPECT_EQ(state(), before);
}

TEST_F(CommandLine, AFailedStepIsStatusOneWithTheWindowsBoxesAsLines) {
  ASSERT_TRUE(test::sqlExec(db, "DROP TABLE Manifest;"));
  const Outcome dry = run({"--shipments", "--before", "2004-03-05", "--database", db, "--dry-run"});
  EXPECT_EQ(dry.exit, 1) << "a purge that would fail is not foretold as fine";
  EXPECT_TRUE(dry.err.contains("Manifest")) << dry.err.toStdString();
  const Outcome r = run({"--shipments", "--contacts", "--before", "2004-03-05", "--database", db});
  EXPECT_EQ(r.exit, 1);
  EXPECT_TRUE(r.out.startsWith(QStringLiteral("Purge failed (exit status 1).\n")))
      << r.out.toStdString();
  EXPECT_TRUE(r.err.contains(QStringLiteral("Please wait, purging contacts...\n")))
      << r.err.toStdString();
  EXPECT_TRUE(r.err.contains(
      QStringLiteral("Process has failed !: Failed to purge Manifest table... /  / "
                     "The following error has occurred: / no such table: Manifest\n")))
      << r.err.toStdString();
  EXPECT_TRUE(r.err.endsWith(QStringLiteral("Purge Database: Purge has failed to complete...\n")))
      << r.err.toStdString();
}

// The backup commands through the real binary: a purge that keeps only the
// newest backup, the list, and a restore that brings every row back.
TEST_F(CommandLine, BackupsAreKeptListedAndRestoredFromTheCommandLine) {
  const QString old = dir.file(QStringLiteral("kvbackup01012020.mdb"));
  ASSERT_TRUE(QFile::copy(db, old));
  const qint64 manifestRows = test::sqlScalar(db, QStringLiteral("SELECT COUNT(*) FROM Manifest"));

  const Outcome purge =
      run({"--shipments", "--older-than", "30m", "--database", db, "--keep-backups", "1", "--json", "--quiet"});
  ASSERT_EQ(purge.exit, 0) << purge.err.toStdString();
  EXPECT_FALSE(QFileInfo::exists(old));
  EXPECT_EQ(purge.json().value("keepBackups").toObject().value("removed").toArray().size(), 1);
  ASSERT_LT(test::sqlScalar(db, QStringLiteral("SELECT COUNT(*) FROM Manifest")), manifestRows);

  const Outcome list = run({"--list-backups", "--database", db, "--json"});
  ASSERT_EQ(list.exit, 0) << list.err.toStdString();
  const QJsonArray backups = list.json().value("backups").toArray();
  ASSERT_EQ(backups.size(), 1);
  const QString today = QDate::currentDate().toString(QStringLiteral("ddMMyyyy"));
  EXPECT_TRUE(backups[0].toObject().value("path").toString().endsWith("kvbackup" + today + ".mdb"));

  const Outcome restore = run({"--restore", today, "--database", db});
  ASSERT_EQ(restore.exit, 0) << restore.err.toStdString();
  EXPECT_EQ(test::sqlScalar(db, QStringLiteral("SELECT COUNT(*) FROM Manifest")), manifestRows);
}

}  // namespace
