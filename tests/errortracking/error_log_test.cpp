// The error log: set-up by Init, the record format, message levels and bits,
// and the failures that must leave the log whole.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <optional>

#include <QDir>

#include "errortracking/log_file.h"
#include "platform/core/app.h"
#include "tracker_fixture.h"

namespace {

using test::raised;
using ErrorLog = test::TrackerTest;

const QByteArray kExampleRecord =
    "\r\n12-Dec-2006 14:05:09\r\nInventory v2.1.7\r\nSystem LogIn User: jsmith\r\n"
    "Program LogIn User: Anonymous\r\nError#: 94\r\nErr.Desc: File not found\r\n\r\n";

const QByteArray kHeadOnly =
    "\r\n12-Dec-2006 14:05:09\r\nInventory v2.1.7\r\nSystem LogIn User: jsmith\r\n"
    "Program LogIn User: Anonymous\r\n";

// ---- Init ----

TEST_F(ErrorLog, InitWithEverythingOmittedTakesTheDefaults) {
  ulvoErrorTracking t;
  EXPECT_EQ(t.LogLevel, 0);
  EXPECT_FALSE(t.Append || t.CreateFile || t.ShowMsg || t.ShowDebug);
  EXPECT_TRUE(t.LogFile.isEmpty() && t.Program.isEmpty() && t.User.isEmpty());

  t.Init();
  EXPECT_EQ(t.Program, app::title());
  EXPECT_EQ(t.LogFile, app::folder() + "/ErrStack.log");
  EXPECT_EQ(t.System, QStringLiteral("jsmith"));
  EXPECT_EQ(t.Version, QStringLiteral("1.0.1"));
  EXPECT_EQ(t.User, QStringLiteral("Anonymous"));
  EXPECT_TRUE(t.Append && t.CreateFile && t.ShowMsg && t.ShowDebug);
  EXPECT_EQ(t.LogLevel, 8);
}

TEST_F(ErrorLog, InitUsesPassedValuesConvertedAndEmptyTextsUnchanged) {
  ulvoErrorTracking t;
  t.Init({.sProg = QString(),
          .sLogFile = logPath(),
          .sSYS = QString(),
          .sVer = 3,
          .sUser = "",
          .bAppend = "False",
          .bCreate = 0,
          .bMsg = QStringLiteral("true"),
          .bDebug = 2.5,
          .iLogLevel = QStringLiteral(" 4.5 ")});
  EXPECT_EQ(t.Program, QString());
  EXPECT_EQ(t.System, QString());
  EXPECT_EQ(t.Version, QStringLiteral("3"));
  EXPECT_EQ(t.User, QString());
  EXPECT_FALSE(t.Append);
  EXPECT_FALSE(t.CreateFile);
  EXPECT_TRUE(t.ShowMsg);
  EXPECT_TRUE(t.ShowDebug);
  EXPECT_EQ(t.LogLevel, 4);  // half rounds to even
}

TEST_F(ErrorLog, InitRejectsValuesThatDoNotConvert) {
  struct Case {
    ulvoInitArgs args;
    int32_t number;
  };
  const Case cases[] = {
      {{.bAppend = "maybe"}, kErrTypeMismatch},
      {{.iLogLevel = "eight"}, kErrTypeMismatch},
      {{.iLogLevel = 32768}, kErrOverflow},
      {{.iLogLevel = -40000.0}, kErrOverflow},
      {{.bCreate = QVariant()}, 94},
  };
  for (const Case& c : cases) {
    ulvoErrorTracking t;
    EXPECT_EQ(raised([&] { initInventory(t, c.args); }).number(), c.number);
  }
}

TEST_F(ErrorLog, InitResetsTheCountOnlyWhenNoLogExists) {
  setCount("Inventory", "5");
  ulvoErrorTracking t;
  initInventory(t);
  EXPECT_EQ(count("Inventory"), QStringLiteral("0"));

  ASSERT_TRUE(test::writeFile(logPath(), "old"));
  setCount("Inventory", "5");
  initInventory(t);
  EXPECT_EQ(count("Inventory"), QStringLiteral("5"));
}

TEST_F(ErrorLog, InitWithoutAppendDeletesTheLogOnlyWhenCreatingRecords) {
  ASSERT_TRUE(test::writeFile(logPath(), "old"));
  setCount("Inventory", "5");
  ulvoErrorTracking t;
  initInventory(t, {.bAppend = false, .bCreate = false});
  EXPECT_TRUE(QFile::exists(logPath()));

  initInventory(t, {.bAppend = false});
  EXPECT_FALSE(QFile::exists(logPath()));
  EXPECT_EQ(count("Inventory"), QStringLiteral("5"));  // the count is left alone
}

TEST_F(ErrorLog, InitFailsWhenTheCountCannotBeStored) {
  ASSERT_TRUE(test::writeFile(config.file("kestrova"), "a file, not a folder"));
  ulvoErrorTracking t;
  EXPECT_NE(raised([&] { initInventory(t); }).number(), 0);
}

TEST_F(ErrorLog, InitFailsOnAReadOnlyLogItMustDelete) {
  ASSERT_TRUE(test::writeFile(logPath(), "old"));
  ASSERT_EQ(chmod(QFile::encodeName(logPath()).constData(), 0444), 0);
  ulvoErrorTracking t;
  EXPECT_EQ(raised([&] { initInventory(t, {.bAppend = false}); }).number(), EACCES);
  EXPECT_EQ(test::readFile(logPath()), QByteArray("old"));
}

// ---- The record ----

TEST_F(ErrorLog, TheExampleRecordByteForByte) {
  ulvoErrorTracking t;
  initInventory(t);
  t.LogIt(8, "Error#: 94", "Err.Desc: File not found");
  EXPECT_EQ(test::readFile(logPath()), kExampleRecord);
  t.LogIt(8, "Error#: 94", "Err.Desc: File not found");
  EXPECT_EQ(test::readFile(logPath()), kExampleRecord + kExampleRecord);
}

TEST_F(ErrorLog, RecordsAppendToWhatIsThereAndNeverRewriteIt) {
  ASSERT_TRUE(test::writeFile(logPath(), "earlier text without a line end"));
  ulvoErrorTracking t;
  initInventory(t);
  t.LogIt(1);
  EXPECT_EQ(test::readFile(logPath()), "earlier text without a line end" + kHeadOnly + "\r\n");
}

TEST_F(ErrorLog, ArgumentsOfEveryKindBecomeOneLineEach) {
  ulvoErrorTracking t;
  initInventory(t);
  const std::optional<int> none;
  t.LogIt(8, 94, -3.25, nullptr, QVariant(), none, true, QStringLiteral(""), QStringLiteral("Größe – Ελλάδα 日本 €"),
          65535u);
  EXPECT_EQ(test::readFile(logPath()).toStdString(), (kHeadOnly + "94\r\n-3.25\r\n\r\n\r\n\r\nTrue\r\n\r\n" +
                                                      QByteArray("Gr\xF6\xDF"
                                                                 "e \x96 ?????? ?? \x80\r\n") +
                                                      "65535\r\n\r\n")
                                                         .toStdString());
}

TEST_F(ErrorLog, DisplayReturnsTheLogAsText) {
  ulvoErrorTracking t;
  initInventory(t);
  t.LogIt(8, QStringLiteral("Größe €"));
  EXPECT_EQ(t.Display(), QString::fromLatin1(kHeadOnly) + QStringLiteral("Größe €\r\n\r\n"));
}

TEST_F(ErrorLog, DisplayOnAMissingLogCreatesItEmpty) {
  ulvoErrorTracking t;
  initInventory(t);
  EXPECT_EQ(t.Display(), QString());
  EXPECT_TRUE(QFileInfo(logPath()).isFile());
  EXPECT_EQ(QFileInfo(logPath()).size(), 0);

  t.LogFile = logDir.file("no/such/folder/ErrStack.log");
  EXPECT_EQ(raised([&] { t.Display(); }).number(), ENOENT);
}

// ---- Levels and bits ----

TEST_F(ErrorLog, LevelsUpToLogLevelAreProcessedAndHigherOnesIgnored) {
  ulvoErrorTracking t;
  initInventory(t);
  for (int type = 0; type <= 15; ++type) {
    const size_t boxes = rec.boxes.size();
    const QByteArray before = test::readFile(logPath());
    t.LogIt(static_cast<uint8_t>(type));
    const bool processed = type <= 8;
    EXPECT_EQ(rec.boxes.size(), boxes + (processed ? 1 : 0)) << "type " << type;
    EXPECT_EQ(test::readFile(logPath()).size() > before.size(), processed) << "type " << type;
  }
  EXPECT_EQ(count("Inventory"), QStringLiteral("9"));

  t.LogLevel = 3;
  t.LogIt(3);
  t.LogIt(4);
  EXPECT_EQ(count("Inventory"), QStringLiteral("10"));
}

TEST_F(ErrorLog, BitsSixteenAndThirtyTwoKeepTheLevel) {
  ulvoErrorTracking t;
  initInventory(t);
  t.LogIt(40, "Error#: 1", "Err.Desc: Box");  // level 8 with the box
  ASSERT_EQ(rec.boxes.size(), 2u);
  EXPECT_EQ(rec.boxes[0].prompt, QStringLiteral("Error#: 1\r\nErr.Desc: Box\r\n"));
  EXPECT_EQ(rec.boxes[0].style, vbOKOnly);
  EXPECT_EQ(rec.boxes[0].title, app::title());
  EXPECT_EQ(rec.boxes[1].style, vbInformation + vbYesNo);

  rec.boxes.clear();
  t.LogIt(16 + 8, "x");  // printing only: no extra box
  EXPECT_EQ(rec.boxes.size(), 1u);

  rec.boxes.clear();
  t.LogIt(32 + 9, "x");  // level 9 is above 8 whatever the bits
  t.LogIt(64 + 128 + 9);
  EXPECT_TRUE(rec.boxes.empty());
}

TEST_F(ErrorLog, WithoutCreateFileNothingIsWrittenAndTheTextsStayEmpty) {
  ulvoErrorTracking t;
  initInventory(t, {.bCreate = false});
  t.LogIt(32, "Error#: 5", "Err.Desc: x");
  EXPECT_FALSE(QFile::exists(logPath()));
  ASSERT_EQ(rec.boxes.size(), 2u);
  EXPECT_EQ(rec.boxes[0].prompt, QString());  // the box shows the empty message text
  EXPECT_TRUE(rec.boxes[1].prompt.startsWith(QStringLiteral(" has occurred !\r\r\r")));
  EXPECT_EQ(count("Inventory"), QStringLiteral("1"));
}

// ---- Failures leave the log whole ----

TEST_F(ErrorLog, ALogThatCannotBeWrittenRaisesAndCountsNothing) {
  struct Case {
    const char* what;
    std::function<QString(const test::TempDir&)> prepare;
    int32_t number;
  };
  const Case cases[] = {
      {"missing folder", [](const test::TempDir& d) { return d.file("gone/ErrStack.log"); }, ENOENT},
      {"read-only file",
       [](const test::TempDir& d) {
         test::writeFile(d.file("ro.log"), "kept");
         chmod(QFile::encodeName(d.file("ro.log")).constData(), 0444);
         return d.file("ro.log");
       },
       EACCES},
      {"a folder",
       [](const test::TempDir& d) {
         QDir(d.path()).mkdir("dir.log");
         return d.file("dir.log");
       },
       EISDIR},
  };
  for (const Case& c : cases) {
    test::TempDir d;
    const QString path = c.prepare(d);
    const QByteArray before = test::readFile(path);
    ulvoErrorTracking t;
    initInventory(t, {.sLogFile = path});
    setCount("Inventory", "2");
    rec.boxes.clear();
    EXPECT_EQ(raised([&] { t.LogIt(1, "Error#: 1"); }).number(), c.number) << c.what;
    EXPECT_EQ(test::readFile(path), before) << c.what;
    EXPECT_EQ(count("Inventory"), QStringLiteral("2")) << c.what;
    EXPECT_TRUE(rec.boxes.empty()) << c.what;
  }
}

TEST_F(ErrorLog, ABadStoredCountRaisesAfterTheRecordIsWritten) {
  struct Case {
    const char* stored;
    int32_t number;
  };
  for (const Case& c : {Case{"abc", kErrTypeMismatch}, Case{"32767", kErrOverflow}, Case{"", kErrTypeMismatch},
                        Case{"99999", kErrOverflow}}) {
    test::TempDir d;
    ulvoErrorTracking t;
    initInventory(t, {.sLogFile = d.file("ErrStack.log")});
    setCount("Inventory", c.stored);
    rec.boxes.clear();
    const RuntimeError e = raised([&] { t.LogIt(1, "Error#: 7"); });
    EXPECT_EQ(e.number(), c.number) << c.stored;
    EXPECT_EQ(e.description(), c.number == kErrOverflow ? QStringLiteral("Overflow") : QStringLiteral("Type mismatch"));
    EXPECT_EQ(count("Inventory"), QString::fromLatin1(c.stored));
    EXPECT_TRUE(test::readFile(d.file("ErrStack.log")).contains("Error#: 7\r\n"));
    EXPECT_TRUE(rec.boxes.empty());
  }
}

TEST_F(ErrorLog, TheLastCountBelowTheLimitStillRises) {
  ulvoErrorTracking t;
  initInventory(t);
  setCount("Inventory", "32766");
  t.LogIt(1);
  EXPECT_EQ(count("Inventory"), QStringLiteral("32767"));
  ASSERT_EQ(rec.boxes.size(), 1u);
  EXPECT_EQ(rec.boxes[0].title, QStringLiteral("32767 error(s) have been recorded ..."));
}

TEST_F(ErrorLog, AProgramFolderTheUserCannotWriteSendsTheLogToTheStateFolder) {
  const QByteArray savedState = qgetenv("XDG_STATE_HOME");
  setenv("XDG_STATE_HOME", QFile::encodeName(logDir.file("state")).constData(), 1);
  const QString stateLog = logDir.file("state/kestrova/ErrStack.log");
  EXPECT_EQ(logfile::defaultLogFileFor(logDir.path()), logPath());
  EXPECT_EQ(logfile::defaultLogFileFor(logDir.file("no-such-folder")), stateLog);
  if (geteuid() != 0) {  // root may write into any folder
    QDir(logDir.path()).mkdir("bin");
    chmod(QFile::encodeName(logDir.file("bin")).constData(), 0555);
    EXPECT_EQ(logfile::defaultLogFileFor(logDir.file("bin")), stateLog);
  }

  // The first record creates the missing folders; the log's own is private.
  ulvoErrorTracking t;
  initInventory(t, {.sLogFile = stateLog});
  t.LogIt(8, "Error#: 94", "Err.Desc: File not found");
  EXPECT_EQ(test::readFile(stateLog), kExampleRecord);
  struct stat st {};
  ASSERT_EQ(stat(QFile::encodeName(logDir.file("state/kestrova")).constData(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);

  setenv("XDG_STATE_HOME", "relative/state", 1);  // not absolute: ignored
  EXPECT_EQ(logfile::stateFolder(), QDir::homePath() + "/.local/state/kestrova");
  setenv("XDG_STATE_HOME", savedState.constData(), 1);
}

TEST(LogFile, PresenceMeansAVisibleRegularFile) {
  test::TempDir d;
  test::writeFile(d.file("log"), "x");
  test::writeFile(d.file(".hidden"), "x");
  QDir(d.path()).mkdir("folder");
  test::writeFile(d.file("ro"), "x");
  chmod(QFile::encodeName(d.file("ro")).constData(), 0444);
  EXPECT_TRUE(logfile::isPresent(d.file("log")));
  EXPECT_TRUE(logfile::isPresent(d.file("ro")));
  EXPECT_FALSE(logfile::isPresent(d.file(".hidden")));
  EXPECT_FALSE(logfile::isPresent(d.file("folder")));
  EXPECT_FALSE(logfile::isPresent(d.file("missing")));
  EXPECT_FALSE(logfile::isPresent(d.file("missing/log")));
  EXPECT_FALSE(logfile::isPresent(QString()));
}

}  // namespace
