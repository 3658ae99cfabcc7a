// The real purge-database binary on its command line, as a timer runs it:
// no display variables, a sample shop database in a temporary folder, the
// exit status, the summary and the files left behind.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include "cli/cli_face.h"
#include "platform/filesafety/run_lock.h"
#include "sampledb/sample_db.h"
#include "support/file_ops_support.h"
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
    ASSERT_TRUE(test::sqlExec(db,
                              "UPDATE Manifest SET [Date] = '03/01/2001' WHERE ID IN (1, 2);"
                              "UPDATE Payments SET [Date] = 'soon' WHERE ID = 1 AND AcctNum = 'Cash';"));
  }

  // purge-database with `args`, with DISPLAY, WAYLAND_DISPLAY and
  // QT_QPA_PLATFORM unset; its standard output into `outputFile` when given.
  Outcome run(const QStringList& args, const QString& outputFile = QString()) {
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) env.remove(QLatin1String(name));
    child.setProcessEnvironment(env);
    if (!outputFile.isEmpty()) child.setStandardOutputFile(outputFile);
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
    out[t.toObject().value("table").toString()] = t.toObject().value(QLatin1String(key)).toInteger(-1);
  return out;
}

// The summary's archived counts are the removed ones, and the dry run's
// would-archive counts the rows it would remove; --list-backups then shows
// the archive with its rows.
TEST_F(CommandLine, ArchiveCountsInTheSummaryAndTheListing) {
  const Outcome dry = run({"--database", db, "--older-than", "24m", "--all", "--archive", "--dry-run", "--json"});
  ASSERT_EQ(dry.exit, 0) << dry.err.toStdString();
  EXPECT_EQ(perTable(dry.json(), "wouldArchive"), perTable(dry.json(), "wouldRemove"));
  EXPECT_FALSE(QFileInfo::exists(dir.file("kvarchive.mdb")));
  const Outcome purge = run({"--database", db, "--older-than", "24m", "--all", "--archive", "--json"});
  ASSERT_EQ(purge.exit, 0) << purge.err.toStdString();
  EXPECT_EQ(perTable(purge.json(), "archived"), perTable(dry.json(), "wouldRemove"));
  EXPECT_EQ(perTable(purge.json(), "removed"), perTable(dry.json(), "wouldRemove"));
  const Outcome list = run({"--database", db, "--list-backups", "--json"});
  ASSERT_EQ(list.exit, 0) << list.err.toStdString();
  const QJsonObject rows = list.json().value("archive").toObject().value("rows").toObject();
  for (const auto& [table, n] : perTable(dry.json(), "wouldRemove")) EXPECT_EQ(rows.value(table).toInteger(-1), n);
}

TEST_F(CommandLine, HelpVersionAndUsageErrorsNeedNoDisplayAndTouchNothing) {
  const FolderState before = state();
  const Outcome help = run({"--help"});
  EXPECT_EQ(help.exit, 0) << help.err.toStdString();
  EXPECT_TRUE(help.out.contains("--older-than") && help.out.contains("Exit status")) << help.out.toStdString();

  const Outcome version = run({"--version"});
  EXPECT_EQ(version.exit, 0);
  EXPECT_EQ(version.out, QStringLiteral("purge-database 1.0.1\n"));

  const Outcome usage = run({"--all", "--older-than", "24w", "--database", db});
  EXPECT_EQ(usage.exit, 2);
  EXPECT_TRUE(usage.err.contains("--help")) << usage.err.toStdString();
  EXPECT_TRUE(usage.out.isEmpty());
  EXPECT_EQ(state(), before);
}

// Over ssh there is no display: the window is not tried, the command line
// is pointed to.
TEST_F(CommandLine, NoArgumentsAndNoDisplayPointToTheCommandLine) {
  const Outcome bare = run({});
  EXPECT_EQ(bare.exit, 2);
  EXPECT_EQ(bare.err, QStringLiteral("purge-database: no display to show the window on; "
                                     "see 'purge-database --help' for the command line.\n"));
}

// Output that cannot be written is a failure, whatever the command.
TEST_F(CommandLine, AFullStandardOutputFailsTheRun) {
  for (const QStringList& args :
       {QStringList{"--version"},
        QStringList{"--shipments", "--older-than", "30m", "--database", db, "--dry-run", "--quiet"},
        QStringList{"--list-backups", "--database", db}}) {
    const Outcome r = run(args, QStringLiteral("/dev/full"));
    EXPECT_EQ(r.exit, 1) << args.join(' ').toStdString();
    EXPECT_TRUE(r.err.endsWith(QStringLiteral("purge-database: cannot write to standard output: ") +
                               QString::fromLocal8Bit(std::strerror(ENOSPC)) + QLatin1Char('\n')))
        << r.err.toStdString();
  }
}

// A backslash outside a drive path is part of the file's name.
TEST_F(CommandLine, ABackslashInAPosixPathNamesThatVeryFile) {
  const QString odd = dir.file(QStringLiteral("odd\\name.mdb"));
  ASSERT_TRUE(QFile::rename(db, odd));
  ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("odd")));
  ASSERT_TRUE(test::writeFile(dir.file(QStringLiteral("odd/name.mdb")), "not the shop's database\n"));
  const Outcome r = run({"--shipments", "--older-than", "30m", "--database", odd, "--dry-run", "--json"});
  ASSERT_EQ(r.exit, 0) << r.err.toStdString();
  EXPECT_EQ(r.json().value("database").toString(), odd);
  EXPECT_EQ(perTable(r.json(), "rows").at("Manifest"),
            test::sqlScalar(odd, QStringLiteral("SELECT COUNT(*) FROM Manifest")));
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
  EXPECT_FALSE(real.err.contains(QStringLiteral("Please wait,"))) << "--quiet: " << real.err.toStdString();
  EXPECT_TRUE(real.err.endsWith(QStringLiteral("Purge Database: Purge has been finished successfully !\n")));
  const QJsonObject done = real.json();
  EXPECT_TRUE(done.value("success").toBool());
  EXPECT_EQ(perTable(done, "removed"), wouldRemove);
  EXPECT_EQ(perTable(done, "rowsBefore"), rows);
  EXPECT_EQ(perTable(done, "keptUnreadableDate"), perTable(plan, "keptUnreadableDate"));
  for (const auto& [table, n] : rows)
    EXPECT_EQ(test::sqlScalar(db, QStringLiteral("SELECT COUNT(*) FROM [%1]").arg(table)), n - wouldRemove.at(table));
  const QJsonObject backup = done.value("backup").toObject();
  EXPECT_TRUE(backup.value("made").toBool());
  EXPECT_EQ(test::readFile(backup.value("path").toString()), before.at("kestrova.mdb").bytes);
  EXPECT_EQ(done.value("sizeAfter").toInteger(), QFileInfo(db).size());
  EXPECT_EQ(done.value("steps").toArray().size(), 8);  // backup, check, five tables, compaction
  EXPECT_FALSE(QFileInfo::exists(dir.file("kvTemp.mdb")));
}

// A reader of a WAL database would leave an empty -wal and -shm beside it.
TEST_F(CommandLine, DryRunOfAWalDatabaseLeavesTheFolderAsItWas) {
  ASSERT_TRUE(test::sqlExec(db, "PRAGMA journal_mode=WAL;"));
  ASSERT_FALSE(QFileInfo::exists(db + "-wal"));
  const QString cutOff = QDate::currentDate().addMonths(-30).toString(Qt::ISODate);
  const FolderState before = state();
  const Outcome dry = run({"--shipments", "--before", cutOff, "--database", db, "--dry-run", "--json"});
  ASSERT_EQ(dry.exit, 0) << dry.err.toStdString();
  EXPECT_EQ(state(), before);
  const QJsonObject plan = dry.json();
  EXPECT_EQ(perTable(plan, "rows").at("Manifest"),
            test::sqlScalar(db, QStringLiteral("SELECT COUNT(*) FROM Manifest")));
  EXPECT_EQ(perTable(plan, "wouldRemove").at("Manifest"),
            test::sqlScalar(db, QStringLiteral("SELECT COUNT(*) FROM Manifest WHERE [Date] < '%1' "
                                               "AND [Date] LIKE '____-__-__%'")
                                    .arg(cutOff)));
  EXPECT_EQ(perTable(plan, "keptUnreadableDate").at("Manifest"), 2);
}

// The summary's "removed" is what the delete removed: rows the shop
// application adds while the step runs are not taken off it.
TEST_F(CommandLine, RemovedCountsTheDeleteNotRowsOthersAddMeanwhile) {
  const QDate cutOff = QDate::currentDate().addMonths(-30);
  const qint64 old = test::sqlScalar(
      db, QStringLiteral("SELECT COUNT(*) FROM InvoiceNumbers WHERE [Date] < '%1'").arg(cutOff.toString(Qt::ISODate)));
  ASSERT_GT(old, 0);
  cli::CommandLineFace face(db, cutOff, true);
  face.stepStarting(PurgeStep::Table, ShopTable::InvoiceNumbers, QStringLiteral("purging invoices..."));
  ASSERT_TRUE(test::sqlExec(db, QStringLiteral("INSERT INTO InvoiceNumbers(InvoiceNum, [Date]) "
                                               "VALUES ('N1', '%1'), ('N2', '%1')")
                                    .arg(QDate::currentDate().toString(Qt::ISODate))));
  QString errDesc;
  int32_t errNum = 0;
  const bool ok = PurgeInvoiceNumbers(db, cutOff, errDesc, errNum);
  ASSERT_TRUE(ok) << errDesc.toStdString();
  face.stepEnded(PurgeStepResult{PurgeStep::Table, ShopTable::InvoiceNumbers, ok, errNum, errDesc});
  ASSERT_EQ(face.tables.size(), 1u);
  EXPECT_EQ(face.tables[0].removed, old);
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
  EXPECT_TRUE(gone.err.contains(QStringLiteral("No such file or directory: ") + missing)) << gone.err.toStdString();
  EXPECT_EQ(gone.json().value("exitStatus").toInt(), 4);

  // The program's own database, through the drive mapping, on a first run.
  const Outcome firstRun = run(purge);
  EXPECT_EQ(firstRun.exit, 4);
  EXPECT_TRUE(
      firstRun.err.contains(qEnvironmentVariable("KESTROVA_DRIVE_C") + QStringLiteral("/kestrova/kestrova.mdb")))
      << firstRun.err.toStdString();

  ASSERT_TRUE(test::writeFile(db, QByteArray("Shop notes\nnothing to see here\n").repeated(40)));
  before = state();
  for (const QString& mode : {QStringLiteral("--quiet"), QStringLiteral("--dry-run")}) {
    const Outcome foreign = run(QStringList(purge) << "--database" << db << mode);
    EXPECT_EQ(foreign.exit, 4) << mode.toStdString() << foreign.err.toStdString();
  }
  EXPECT_EQ(state(), before);
}

// Another run of the same database (the window, a timer) holds it: this one
// refuses with 3 before changing anything, and the same run goes through
// once the other is gone.
TEST_F(CommandLine, ASecondRunOfOneDatabaseRefusesWithThree) {
  const QStringList purge{"--all", "--older-than", "30m", "--quiet", "--database", db};
  const FolderState before = state();
  {
    runlock::RunLock other;
    ASSERT_TRUE(other.acquire(db).ok());
    const Outcome second = run(purge);
    EXPECT_EQ(second.exit, 3) << second.err.toStdString();
    EXPECT_TRUE(second.err.contains(QString::fromLatin1(runlock::kBusyText))) << second.err.toStdString();
    EXPECT_EQ(state(), before);
  }
  EXPECT_EQ(run(purge).exit, 0);
}

// A run killed inside a delete leaves a hot journal no process holds: the
// next command-line run plays it back (on a copy first) and purges.
TEST_F(CommandLine, AJournalOfAKilledRunIsRecoveredNotRefused) {
  const qint64 manifest = test::sqlScalar(db, QStringLiteral("SELECT count(*) FROM Manifest"));
  ASSERT_TRUE(test::crashMidTransaction(db, QStringLiteral("DELETE FROM Manifest; ")));
  ASSERT_GT(QFileInfo(db + QStringLiteral("-journal")).size(), 0);
  const Outcome r = run({"--shipments", "--before", "2004-03-05", "--quiet", "--database", db});
  EXPECT_EQ(r.exit, 0) << r.err.toStdString();
  EXPECT_EQ(test::sqlScalar(db, QStringLiteral("SELECT count(*) FROM Manifest")), manifest);
  EXPECT_FALSE(QFileInfo::exists(db + QStringLiteral("-journal")));
}

// True once process `pid` has a handler for SIGTERM, within ten seconds.
bool catchesTerm(pid_t pid) {
  for (int i = 0; i < 10000; ++i) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (status.open(QIODevice::ReadOnly))
      for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("SigCgt:") && (line.mid(7).trimmed().toULongLong(nullptr, 16) >> (SIGTERM - 1)) & 1)
          return true;
    ::usleep(1000);
  }
  return false;
}

// SIGTERM while the run is held at its first progress line (its standard
// error is a full pipe): the run stops before the next step, says what was
// done, ends 143, and leaves a whole database and no temporary file.
TEST_F(CommandLine, ASignalStopsTheRunBetweenTwoSteps) {
  int err[2];
  ASSERT_EQ(::pipe2(err, O_CLOEXEC), 0);
  ::fcntl(err[1], F_SETPIPE_SZ, 4096);
  ::fcntl(err[1], F_SETFL, O_NONBLOCK);
  const char fill[512] = {};
  while (::write(err[1], fill, sizeof fill) > 0) {
  }
  ::fcntl(err[1], F_SETFL, 0);
  const QByteArray program(PURGE_DATABASE), path = QFile::encodeName(db);
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::dup2(err[1], 2);
    ::unsetenv("QT_QPA_PLATFORM");
    ::execl(program.constData(), program.constData(), "--all", "--older-than", "30m", "--database", path.constData(),
            static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(err[1]);
  const bool caught = catchesTerm(pid);
  ::kill(pid, SIGTERM);
  QByteArray said;
  char buf[4096];
  for (ssize_t n; (n = ::read(err[0], buf, sizeof buf)) > 0;) said.append(buf, n);
  ::close(err[0]);
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  said.replace('\0', "");
  ASSERT_TRUE(caught) << said.toStdString();
  ASSERT_TRUE(WIFEXITED(status)) << said.toStdString();
  EXPECT_EQ(WEXITSTATUS(status), 143) << said.toStdString();
  EXPECT_TRUE(said.contains("stopped by SIGTERM before the next step")) << said.toStdString();
  EXPECT_FALSE(said.contains("purging")) << said.toStdString();
  EXPECT_EQ(test::sqlColumn(db, QStringLiteral("PRAGMA integrity_check")), QStringList{"ok"});
  EXPECT_FALSE(QFileInfo::exists(dir.file(QStringLiteral("kvTemp.mdb"))));
  EXPECT_FALSE(QFileInfo::exists(db + QStringLiteral("-journal")));
}

TEST_F(CommandLine, AFailedStepIsStatusOneWithTheWindowsBoxesAsLines) {
  ASSERT_TRUE(test::sqlExec(db, "DROP TABLE Manifest;"));
  const Outcome dry = run({"--shipments", "--before", "2004-03-05", "--database", db, "--dry-run"});
  EXPECT_EQ(dry.exit, 1) << "a purge that would fail is not foretold as fine";
  EXPECT_TRUE(dry.err.contains("Manifest")) << dry.err.toStdString();
  const Outcome r = run({"--shipments", "--contacts", "--before", "2004-03-05", "--database", db});
  EXPECT_EQ(r.exit, 1);
  EXPECT_TRUE(r.out.startsWith(QStringLiteral("Purge failed (exit status 1).\n"))) << r.out.toStdString();
  EXPECT_TRUE(r.err.contains(QStringLiteral("Please wait, purging contacts...\n"))) << r.err.toStdString();
  EXPECT_TRUE(
      r.err.contains(QStringLiteral("Process has failed !: Failed to purge Manifest table... /  / "
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
