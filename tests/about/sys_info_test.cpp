// Reading registry values as text and finding and starting the
// system-information program through the two registry entries.
#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include "about/frm_about_err.h"
#include "platform/core/paths.h"
#include "platform/core/process.h"
#include "platform/core/runtime_error.h"
#include "support/recording_presenter.h"
#include "support/sandbox.h"

namespace {

const QString kUnavailable = QStringLiteral("System Information Is Unavailable At This Time");

void writeRegistry(const QByteArray& text) {
  ASSERT_TRUE(test::writeFile(registry::filePath(), "REGEDIT4\n\n" + text));
}

QByteArray pathEntry(const QByteArray& value) {
  return "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shared Tools\\MSINFO]\n\"PATH\"=" + value + "\n";
}

QByteArray locationEntry(const QByteArray& value) {
  return "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shared Tools Location]\n\"MSINFO\"=" + value + "\n";
}

// An executable shell script at `path`.
void writeProgram(const QString& path, const QByteArray& body = "exit 0\n") {
  QDir().mkpath(QFileInfo(path).path());
  ASSERT_TRUE(test::writeFile(path, "#!/bin/sh\n" + body));
  QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

// Records each start; answers as the real starter would for a program file.
struct RecordingStarter {
  RecordingStarter() {
    process::setStarter([this](const QString& program, const QStringList& args) {
      programs << program;
      arguments << args;
      const QFileInfo info(program);
      return !program.isEmpty() && info.isFile() && info.isExecutable();
    });
  }
  ~RecordingStarter() { process::setStarter({}); }
  QStringList programs;
  QList<QStringList> arguments;
};

QString driveC(const QString& rest) { return paths::resolve(QStringLiteral("C:\\") + rest); }

// A key opened and closed at once: the mark for keysLeftOpenSince.
HKEY keyMark() {
  HKEY h = 0;
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "", 0, 0, &h), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(h), ERROR_SUCCESS);
  return h;
}

// How many keys opened after `mark` are still open, closing them. Handles
// are handed out in rising order, so a key left open is among the next few.
int keysLeftOpenSince(HKEY mark) {
  int open = 0;
  for (HKEY h = mark + 1; h <= mark + 64; ++h)
    if (RegCloseKey(h) == ERROR_SUCCESS) ++open;
  return open;
}

TEST(GetKeyValue, TextValuesUpTo1024BytesAreReadWhole) {
  const QByteArray fits(1023, 'a');     // 1024 bytes with the terminating zero
  const QByteArray tooLong(1024, 'b');  // 1025 bytes
  writeRegistry("[HKEY_LOCAL_MACHINE\\K]\n\"fits\"=\"" + fits + "\"\n\"long\"=\"" + tooLong +
                "\"\n\"empty\"=\"\"\n\"utf8\"=\"Caf\xc3\xa9\"\n");
  const HKEY mark = keyMark();
  frmAboutErr w;
  QString val = QStringLiteral("before");
  EXPECT_TRUE(w.GetKeyValue(HKEY_LOCAL_MACHINE, QStringLiteral("K"), QStringLiteral("fits"), val));
  EXPECT_EQ(val, QString::fromLatin1(fits));

  val = QStringLiteral("before");
  EXPECT_FALSE(w.GetKeyValue(HKEY_LOCAL_MACHINE, QStringLiteral("K"), QStringLiteral("long"), val));
  EXPECT_EQ(val, QString());

  val = QStringLiteral("before");
  EXPECT_TRUE(w.GetKeyValue(HKEY_LOCAL_MACHINE, QStringLiteral("K"), QStringLiteral("empty"), val));
  EXPECT_EQ(val, QString());

  EXPECT_TRUE(w.GetKeyValue(HKEY_LOCAL_MACHINE, QStringLiteral("K"), QStringLiteral("utf8"), val));
  EXPECT_EQ(val, QStringLiteral("Caf\u00e9"));
  EXPECT_EQ(keysLeftOpenSince(mark), 0);
}

TEST(GetKeyValue, NumbersBecomeHexMostSignificantFirst) {
  writeRegistry(
      "[HKEY_LOCAL_MACHINE\\K]\n"
      "\"n261\"=dword:00000105\n"
      "\"top\"=dword:1234abcd\n"
      "\"zero\"=dword:00000000\n"
      "\"low\"=dword:000000ff\n");
  struct Case {
    const char* name;
    const char* expected;
  };
  const Case cases[] = {
      {"n261", "&h000105"},   // the top zero byte is cut as if it ended a text
      {"top", "&h1234ABCD"},  // a non-zero top byte keeps all eight digits
      {"zero", "&h000000"},
      {"low", "&h0000FF"},
  };
  frmAboutErr w;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QString val;
    EXPECT_TRUE(w.GetKeyValue(HKEY_LOCAL_MACHINE, QStringLiteral("K"), QString::fromLatin1(c.name), val));
    EXPECT_EQ(val, QString::fromLatin1(c.expected));
  }
}

TEST(GetKeyValue, OtherTypesKeepTheIncomingText) {
  writeRegistry("[HKEY_LOCAL_MACHINE\\K]\n\"bin\"=hex:01,02\n\"exp\"=hex(2):41,00\n");
  frmAboutErr w;
  for (const char* name : {"bin", "exp"}) {
    QString val = QStringLiteral("kept");
    EXPECT_TRUE(w.GetKeyValue(HKEY_LOCAL_MACHINE, QStringLiteral("K"), QString::fromLatin1(name), val));
    EXPECT_EQ(val, QStringLiteral("kept"));
  }
}

TEST(GetKeyValue, MissingKeyOrValueIsFalseAndEmpty) {
  writeRegistry("[HKEY_LOCAL_MACHINE\\K]\n\"v\"=\"x\"\n");
  const HKEY mark = keyMark();
  frmAboutErr w;
  QString val = QStringLiteral("before");
  EXPECT_FALSE(w.GetKeyValue(HKEY_LOCAL_MACHINE, QStringLiteral("Nope"), QStringLiteral("v"), val));
  EXPECT_EQ(val, QString());
  val = QStringLiteral("before");
  EXPECT_FALSE(w.GetKeyValue(HKEY_LOCAL_MACHINE, QStringLiteral("K"), QStringLiteral("w"), val));
  EXPECT_EQ(val, QString());
  val = QStringLiteral("before");
  EXPECT_FALSE(w.GetKeyValue(0x12345678u, QStringLiteral("K"), QStringLiteral("v"), val));
  EXPECT_EQ(val, QString());
  EXPECT_EQ(keysLeftOpenSince(mark), 0);
}

TEST(GetKeyValue, AValueWithoutDataReachesTheCallerAsAnError) {
  writeRegistry("[HKEY_LOCAL_MACHINE\\K]\n\"v\"=hex(1):\n");
  const HKEY mark = keyMark();
  frmAboutErr w;
  QString val = QStringLiteral("before");
  const auto trapped =
      trapErrors([&] { w.GetKeyValue(HKEY_LOCAL_MACHINE, QStringLiteral("K"), QStringLiteral("v"), val); });
  ASSERT_TRUE(trapped.has_value());
  EXPECT_NE(trapped->number, 0);
  EXPECT_FALSE(trapped->description.isEmpty());
  EXPECT_EQ(keysLeftOpenSince(mark), 0);  // the key was closed all the same
}

TEST(StartSysInfo, TheFirstEntryIsStartedAsItIs) {
  writeProgram(driveC(QStringLiteral("tools/sysinfo")));
  writeRegistry(pathEntry("\"C:\\\\tools\\\\sysinfo\"") + locationEntry("\"C:\\\\other\""));
  test::RecordingPresenter rec(true);
  RecordingStarter starter;
  frmAboutErr w;
  w.StartSysInfo();
  EXPECT_EQ(starter.programs, QStringList{driveC(QStringLiteral("tools/sysinfo"))});
  EXPECT_EQ(starter.arguments.value(0), QStringList());
  EXPECT_TRUE(rec.boxes.empty());
}

TEST(StartSysInfo, AMissingFirstProgramIsNotReplacedByTheSecondEntry) {
  test::RecordingPresenter rec(true);
  RecordingStarter starter;
  writeProgram(driveC(QStringLiteral("msinfo/MSINFO32.EXE")));
  writeRegistry(pathEntry("\"C:\\\\gone\\\\sysinfo\"") + locationEntry("\"C:\\\\msinfo\""));
  frmAboutErr w;
  w.StartSysInfo();
  EXPECT_EQ(starter.programs, QStringList{driveC(QStringLiteral("gone/sysinfo"))});
  ASSERT_EQ(rec.boxes.size(), 1u);
  EXPECT_EQ(rec.boxes[0].prompt, kUnavailable);
  EXPECT_EQ(rec.boxes[0].style, 0);
  EXPECT_EQ(rec.boxes[0].title, QStringLiteral("Purge Database"));
}

TEST(StartSysInfo, AnEmptyFirstPathFailsToStart) {
  test::RecordingPresenter rec(true);
  RecordingStarter starter;
  writeProgram(driveC(QStringLiteral("msinfo/MSINFO32.EXE")));
  writeRegistry(pathEntry("\"\"") + locationEntry("\"C:\\\\msinfo\""));
  frmAboutErr w;
  w.StartSysInfo();
  EXPECT_EQ(starter.programs, QStringList{QString()});
  ASSERT_EQ(rec.boxes.size(), 1u);
  EXPECT_EQ(rec.boxes[0].prompt, kUnavailable);
}

TEST(StartSysInfo, TheSecondEntryNeedsTheProgramInItsFolder) {
  struct Case {
    const char* what;
    bool makeProgram;
    bool makeFolderInstead;
  };
  const Case cases[] = {
      {"program present", true, false},
      {"folder without it", false, false},
      {"a folder of that name", false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    test::TempDir dir;
    const QString program = dir.file(QStringLiteral("MSINFO32.EXE"));
    if (c.makeProgram) writeProgram(program);
    if (c.makeFolderInstead) QDir().mkpath(program);
    writeRegistry(locationEntry("\"" + dir.path().toUtf8() + "\""));
    test::RecordingPresenter rec(true);
    RecordingStarter starter;
    frmAboutErr w;
    w.StartSysInfo();
    if (c.makeProgram) {
      EXPECT_EQ(starter.programs, QStringList{program});
      EXPECT_TRUE(rec.boxes.empty());
    } else {
      EXPECT_TRUE(starter.programs.isEmpty());
      ASSERT_EQ(rec.boxes.size(), 1u);
      EXPECT_EQ(rec.boxes[0].prompt, kUnavailable);
    }
  }
}

TEST(StartSysInfo, NoEntryOrAnEmptyValueSaysUnavailable) {
  const QByteArray registries[] = {
      QByteArray(),
      pathEntry("hex(1):"),
      locationEntry("hex(1):"),
      locationEntry("dword:00000001"),
  };
  for (const QByteArray& reg : registries) {
    SCOPED_TRACE(reg.constData());
    writeRegistry(reg);
    test::RecordingPresenter rec(true);
    RecordingStarter starter;
    const HKEY mark = keyMark();
    frmAboutErr w;
    w.StartSysInfo();
    EXPECT_TRUE(starter.programs.isEmpty());
    ASSERT_EQ(rec.boxes.size(), 1u);
    EXPECT_EQ(rec.boxes[0].prompt, kUnavailable);
    EXPECT_EQ(keysLeftOpenSince(mark), 0);
  }
}

TEST(StartSysInfo, ARealProgramIsStartedWithoutAShell) {
  // A name with a space and a shell character must reach the program as is.
  test::TempDir dir;
  const QString marker = dir.file(QStringLiteral("started"));
  const QString program = dir.file(QStringLiteral("sys info;x"));
  writeProgram(program, "echo ran > '" + marker.toUtf8() + "'\n");
  writeRegistry(pathEntry("\"" + program.toUtf8() + "\""));
  test::RecordingPresenter rec(true);
  frmAboutErr w;
  w.StartSysInfo();
  EXPECT_TRUE(rec.boxes.empty());
  QElapsedTimer waited;
  waited.start();
  while (!QFileInfo::exists(marker) && waited.elapsed() < 10000) QThread::msleep(20);
  EXPECT_TRUE(QFileInfo::exists(marker));
}

TEST(StartSysInfo, ARealStartFailureSaysUnavailable) {
  test::TempDir dir;
  const QString notExecutable = dir.file(QStringLiteral("plain"));
  ASSERT_TRUE(test::writeFile(notExecutable, "data"));
  for (const QString& path : {dir.file(QStringLiteral("missing")), notExecutable}) {
    SCOPED_TRACE(path.toStdString());
    writeRegistry(pathEntry("\"" + path.toUtf8() + "\""));
    test::RecordingPresenter rec(true);
    frmAboutErr w;
    w.StartSysInfo();
    ASSERT_EQ(rec.boxes.size(), 1u);
    EXPECT_EQ(rec.boxes[0].prompt, kUnavailable);
  }
}

}  // namespace
