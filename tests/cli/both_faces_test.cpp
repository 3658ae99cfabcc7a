// One run, one verdict: the same file states through the window (a real
// purge in purge-run-child) and the command line (the real binary) end the
// same way: both purge, or both refuse and leave the folder as it was.
#include <functional>
#include <map>
#include <memory>

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QProcess>

#include "platform/filesafety/run_lock.h"
#include "support/file_ops_support.h"
#include "support/sandbox.h"
#include "support/shop_db.h"

namespace {

// Every name in a folder with its bytes.
std::map<QString, QByteArray> folderState(const QString& dir) {
  std::map<QString, QByteArray> out;
  for (const QFileInfo& fi : QDir(dir).entryInfoList(QDir::Files | QDir::Hidden | QDir::System))
    out[fi.fileName()] = test::readFile(fi.filePath());
  return out;
}

class BothFaces : public ::testing::Test {
 public:
  // A drive with a shop database holding old and new shipments.
  void fresh() {
    QDir(folder()).removeRecursively();
    ASSERT_TRUE(QDir().mkpath(folder()));
    ASSERT_TRUE(test::createShopDbWithRows(
        db(), "INSERT INTO Manifest(TrackingNum, [Date]) VALUES ('old', '2003-01-01'), ('new', '2026-01-01');"));
  }
  QString folder() const { return drive.path() + QStringLiteral("/kestrova"); }
  QString db() const { return folder() + QStringLiteral("/kestrova.mdb"); }

  // True when the window's run said it finished successfully.
  bool windowPurges() {
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("KESTROVA_DRIVE_C"), drive.path());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    child.setProcessEnvironment(env);
    child.start(QStringLiteral(PURGE_RUN_CHILD), {"--shipments", "--cutoff", "2004-03-05"});
    if (!child.waitForFinished(60000)) return false;
    return child.readAllStandardOutput().contains("finished successfully");
  }
  // True when the command line's run ended 0.
  bool commandLinePurges() {
    QProcess child;
    child.start(QStringLiteral(PURGE_DATABASE),
                {"--shipments", "--before", "2004-03-05", "--quiet", "--database", db()});
    return child.waitForFinished(60000) && child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0;
  }

  test::TempDir drive;
};

TEST_F(BothFaces, EveryFileStateGetsOneVerdict) {
  using Guard = std::shared_ptr<void>;
  struct State {
    const char* name;
    bool purges;
    std::function<Guard(BothFaces&)> make;
    // False where the window, keeping its own behaviour, backs up whatever
    // file is there before a purge step finds it is no database.
    bool folderKept = true;
  };
  // The shop application holding the database open, for as long as the guard lives.
  const auto held = [](BothFaces& t) {
    auto holder = std::make_shared<test::OpenFileChild>(t.db());
    EXPECT_TRUE(holder->ready());
    return Guard(holder);
  };
  const State states[] = {
      {"a shop database", true, [](BothFaces&) { return Guard(); }},
      {"a journal a killed writer left", true,
       [](BothFaces& t) {
         EXPECT_TRUE(test::crashMidTransaction(t.db(), "DELETE FROM Manifest; "));
         return Guard();
       }},
      {"a journal of another database", false,
       [](BothFaces& t) {
         const QString other = t.drive.file(QStringLiteral("other.mdb"));
         QFile::remove(other);
         EXPECT_TRUE(test::makeContactsDb(other, 3000));
         EXPECT_TRUE(test::crashMidTransaction(other, "DELETE FROM Contacts; "));
         EXPECT_TRUE(QFile::rename(other + "-journal", t.db() + "-journal"));
         return Guard();
       }},
      {"held open by another program", false, held},
      {"in WAL mode and held open by the shop", true,
       [held](BothFaces& t) {
         EXPECT_TRUE(test::execSql(t.db(), "PRAGMA journal_mode=WAL"));
         return held(t);
       }},
      {"another run at work", false,
       [](BothFaces& t) {
         auto lock = std::make_shared<runlock::RunLock>();
         EXPECT_TRUE(lock->acquire(t.db()).ok());
         return Guard(lock);
       }},
      {"a text file", false,
       [](BothFaces& t) {
         EXPECT_TRUE(test::writeFile(t.db(), QByteArray("Shop notes\n").repeated(100)));
         return Guard();
       },
       false},
      {"missing", false,
       [](BothFaces& t) {
         EXPECT_TRUE(QFile::remove(t.db()));
         return Guard();
       }},
  };
  for (const State& state : states) {
    for (const bool window : {true, false}) {
      fresh();
      const Guard guard = state.make(*this);
      const auto before = folderState(folder());
      const bool purged = window ? windowPurges() : commandLinePurges();
      EXPECT_EQ(purged, state.purges) << state.name << (window ? ", the window" : ", the command line");
      if (!state.purges && (state.folderKept || !window)) {
        EXPECT_EQ(folderState(folder()), before) << state.name << (window ? ", the window" : ", the command line");
      }
    }
  }
}

}  // namespace
