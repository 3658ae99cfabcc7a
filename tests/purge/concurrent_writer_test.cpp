// A purge run while the shop application has the database open: a real
// writer process keeps inserting and committing rows (or sits idle with the
// file open for writing) while purge-run-child presses Purge. No committed
// row may be lost: without the day's backup the run refuses before changing
// anything; with it the purges run under SQLite's locking and the
// compaction, which would replace the file under the writer, refuses.
#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSet>
#include <QThread>
#include <cstdio>

#include "purge_run_support.h"
#include "sampledb/sample_db.h"
#include "script_writer.h"
#include "shop_state.h"
#include "support/file_ops_support.h"
#include "support/sandbox.h"
#include "support/shop_db.h"

namespace {

const QDate kToday(2026, 1, 15);
const QDate kCutOff(2023, 1, 1);
const QString kBackup = QStringLiteral("kvbackup15012026.mdb");
const QString kInUse = QStringLiteral("The file is in use by another program.");
const QString kBackupRefused = QStringLiteral(
    "box 48: Please close the 'Kestrova.mdb' database file and all the programs that might use it...||"
    "The following error has occurred:|The file is in use by another program.");
const QString kCompactRefused = QStringLiteral(
    "box 48: Failed to compact the database...||The following error has occurred:|The file is in use by another "
    "program.");
const QString kFailed = QStringLiteral("box 16: Purge has failed to complete...");

// The shop application: "write" inserts a shipment and a contact, both of
// the day, in one transaction at a time and appends the key to the key file
// once committed; "idle" opens the database for writing, reads once and
// waits. Both print "ready" and stop when the stop file appears.
const char* const kWriter = R"py(
import os, sqlite3, sys, time
db, keys, stop, mode = sys.argv[1:5]
con = sqlite3.connect(db, timeout=10, isolation_level=None)
con.execute("SELECT count(*) FROM Setup").fetchall()
out = open(keys, "a")
n = 0
said = False
while not os.path.exists(stop):
    if mode == "write":
        try:
            con.execute("BEGIN IMMEDIATE")
            con.execute("INSERT INTO Manifest(TrackingNum, Carrier, [Date]) VALUES(?, 'Writer', '2026-01-15 09:00:00')",
                        ("W%d" % n,))
            con.execute("INSERT INTO Contacts(Name, AR, LastContactDate) VALUES(?, NULL, '2026-01-15')",
                        ("Writer %d" % n,))
            con.execute("COMMIT")
        except sqlite3.OperationalError:
            if con.in_transaction:
                con.execute("ROLLBACK")
            continue
        out.write("W%d\n" % n)
        out.flush()
        n += 1
    if not said:
        print("ready", flush=True)
        said = True
    time.sleep(0.002 if mode == "write" else 0.02)
con.close()
)py";

class Writer {
 public:
  Writer(const test::TempDir& dir, const QString& db, bool writing)
      : m_keys(dir.file(QStringLiteral("keys.txt"))),
        m_script(
            dir, QStringLiteral("shop_writer.py"), kWriter,
            {db, m_keys, dir.file(QStringLiteral("stop")), writing ? QStringLiteral("write") : QStringLiteral("idle")},
            dir.file(QStringLiteral("stop")), {m_keys}) {}
  bool ready() const { return m_script.ready(); }
  // Stops the writer and waits for it; true when it ended on its own.
  bool stop() { return m_script.stop(); }
  // The keys committed so far.
  QStringList keys() const { return test::ScriptWriter::lines(m_keys); }
  QString errors() { return m_script.stderrText(); }

 private:
  QString m_keys;
  test::ScriptWriter m_script;
};

class ConcurrentWriter : public ::testing::TestWithParam<std::tuple<bool, bool>> {
 protected:
  void SetUp() override {
    folder = test::drivePath(QString());
    test::emptyFolder(folder);
    db = folder + QStringLiteral("kestrova.mdb");
    ASSERT_EQ(sampledb::make(db, {.scale = 60, .seed = 4242, .today = kToday}), QString());
    before = test::readShopState(db, kCutOff);
    for (const test::TableState& t : before.tables) ASSERT_GT(t.inScope, 0);
  }
  void TearDown() override { test::emptyFolder(folder); }

  test::TempDir scratch;
  QString folder, db;
  test::ShopState before;
};

// Every run, table-driven: {writer inserting or idle} x {no backup of the
// day, or the day's backup already there}.
TEST_P(ConcurrentWriter, NoCommittedRowIsLost) {
  const auto [writing, backupPresent] = GetParam();
  if (backupPresent) {
    ASSERT_TRUE(QFile::copy(db, folder + kBackup));
  }
  const QByteArray backupHash = backupPresent ? test::fileHash(folder + kBackup) : QByteArray();

  Writer writer(scratch, db, writing);
  ASSERT_TRUE(writer.ready()) << writer.errors().toStdString();
  const qsizetype keysAtStart = writer.keys().size();
  const QString out = test::runPurgeChild(test::fullRunArgs(kCutOff, kToday));
  const qsizetype keysAtEnd = writer.keys().size();
  ASSERT_TRUE(writer.stop()) << writer.errors().toStdString();
  const QStringList keys = writer.keys();
  QStringList boxes = out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
  ASSERT_EQ(boxes.takeLast(), QStringLiteral("done")) << out.toStdString();

  // Every committed key is in the database, and it is whole.
  const test::ShopState after = test::readShopState(db, kCutOff);
  EXPECT_EQ(after.integrity, QStringLiteral("ok"));
  const QStringList shipmentKeys =
      test::sqlColumn(db, QStringLiteral("SELECT TrackingNum FROM Manifest WHERE Carrier = 'Writer'"));
  const QStringList contactKeys =
      test::sqlColumn(db, QStringLiteral("SELECT 'W' || substr(Name, 8) FROM Contacts WHERE Name LIKE 'Writer %'"));
  const QSet<QString> shipments(shipmentKeys.begin(), shipmentKeys.end());
  const QSet<QString> contacts(contactKeys.begin(), contactKeys.end());
  int lost = 0;
  for (const QString& key : keys) {
    if (!shipments.contains(key) || !contacts.contains(key)) ++lost;
  }
  EXPECT_EQ(lost, 0) << lost << " of " << keys.size() << " committed keys are missing";
  if (writing) {
    // The writer went on committing while the run was under way.
    EXPECT_GT(keysAtEnd, keysAtStart);
  } else {
    EXPECT_TRUE(keys.isEmpty());
  }
  std::printf("writer %s, %s: %lld rows committed, %lld kept, %lld during the run\n", writing ? "writing" : "idle",
              backupPresent ? "backup present" : "no backup", static_cast<long long>(keys.size()),
              static_cast<long long>(keys.size() - lost), static_cast<long long>(keysAtEnd - keysAtStart));

  // The rows to keep are all there in the three tables the writer leaves alone.
  for (int t = 1; t <= 3; ++t) EXPECT_EQ(after.tables[size_t(t)].keptHash, before.tables[size_t(t)].keptHash) << t;
  EXPECT_FALSE(QFileInfo::exists(folder + QStringLiteral("kvTemp.mdb")));

  if (!backupPresent) {
    // Refused before anything changed: no backup, nothing deleted.
    EXPECT_EQ(boxes, QStringList({kBackupRefused, kFailed}));
    EXPECT_FALSE(QFileInfo::exists(folder + kBackup));
    for (int t = 0; t < test::kTableCount; ++t)
      EXPECT_EQ(after.tables[size_t(t)].inScope, before.tables[size_t(t)].inScope) << test::kPurgeOrder[size_t(t)];
    return;
  }
  // The purges ran beside the writer; the compaction, which replaces the
  // file, refused, and the operator is told so.
  EXPECT_EQ(boxes, QStringList({kCompactRefused, kFailed}));
  EXPECT_EQ(test::fileHash(folder + kBackup), backupHash);
  for (int t = 0; t < test::kTableCount; ++t)
    EXPECT_EQ(after.tables[size_t(t)].inScope, 0) << test::kPurgeOrder[size_t(t)];
}

INSTANTIATE_TEST_SUITE_P(Runs, ConcurrentWriter, ::testing::Combine(::testing::Bool(), ::testing::Bool()),
                         [](const ::testing::TestParamInfo<std::tuple<bool, bool>>& info) {
                           return std::string(std::get<0>(info.param) ? "Writing" : "IdleOpen") +
                                  (std::get<1>(info.param) ? "_BackupPresent" : "_NoBackup");
                         });

}  // namespace
