// The tracker's conversations: the report prompt and its count, the debug
// box, and the offer to delete the log.
#include <sys/stat.h>

#include <cerrno>

#include <QApplication>
#include <QCoreApplication>
#include <QLabel>
#include <QProcess>
#include <QTimer>

#include "errortracking/frm_email_us.h"
#include "platform/core/app.h"
#include "platform/ui/mouse_pointer.h"
#include "tracker_fixture.h"

namespace {

using test::raised;
using ErrorReportPrompt = test::TrackerTest;

const QString kDeleteQuestion = QStringLiteral(
    "If you emailed the Error(s) successfully then we highly recommend you to delete "
    "'ErrStack.log' file, in order to avoid an error duplication.\r\r"
    "Would you like to delete 'ErrStack.log' file ???");

QString reportPrompt(const QString& number, const QString& description, int count) {
  return number + " has occurred !\r" + description +
         "\r\rThis Error number and description have been recorded to the 'ErrStack.log' "
         "file\rfor future bug fixing. So far you have " +
         QString::number(count) +
         " error description in 'ErrStack.log'.\r\rWould you like to email Error(s) to "
         "Kestrova Software support group now ???";
}

TEST_F(ErrorReportPrompt, TheFirstErrorIsCountedAndAnnouncedExactly) {
  ulvoErrorTracking t;
  initInventory(t);
  EXPECT_EQ(count("Inventory"), QStringLiteral("0"));
  t.LogIt(8, "Error#: 94", "Err.Desc: File not found");
  ASSERT_EQ(rec.boxes.size(), 1u);
  EXPECT_EQ(rec.boxes[0].title, QStringLiteral("1 error(s) have been recorded ..."));
  EXPECT_EQ(rec.boxes[0].style, 68);
  EXPECT_EQ(rec.boxes[0].prompt, reportPrompt("Error#: 94", "Err.Desc: File not found", 1));
  EXPECT_EQ(count("Inventory"), QStringLiteral("1"));

  t.LogIt(8);
  EXPECT_EQ(rec.boxes[1].title, QStringLiteral("2 error(s) have been recorded ..."));
  EXPECT_EQ(rec.boxes[1].prompt, reportPrompt("", "", 2));
  EXPECT_TRUE(rec.boxes[1].prompt.startsWith(" has occurred !\r\r\rThis Error"));
}

TEST_F(ErrorReportPrompt, NumberAndDescriptionArePickedByTheirExactPrefix) {
  struct Case {
    QVariantList args;
    QString number, description;
  };
  const Case cases[] = {
      {{"error#: 1", "err.desc: lower"}, "", ""},
      {{"Error#: 1", "Error#: 2"}, "Error#: 2", ""},
      {{"Err.Desc: first", "Err.Desc: second", "Error#"}, "Error#", "Err.Desc: second"},
      {{" Error#: 3", "Err.Des: 4", 94}, "", ""},
      {{"Err.Description follows", "Error#5"}, "Error#5", "Err.Description follows"},
  };
  ulvoErrorTracking t;
  initInventory(t);
  int n = 0;
  for (const Case& c : cases) {
    t.LogItValues(8, c.args);
    ++n;
    ASSERT_EQ(rec.boxes.size(), static_cast<size_t>(n));
    EXPECT_EQ(rec.boxes.back().prompt, reportPrompt(c.number, c.description, n))
        << c.args.first().toString().toStdString();
  }
  // Every argument is still written, matched or not.
  EXPECT_TRUE(test::readFile(logPath()).contains("error#: 1\r\nerr.desc: lower\r\n"));
}

TEST_F(ErrorReportPrompt, AnsweringNoKeepsTheRaisedCountAndRestoresThePointer) {
  ulvoErrorTracking t;
  initInventory(t);
  setCount("Inventory", "41");
  pointer::setMousePointer(pointer::vbHourglass);
  rec.script({vbNo});
  t.LogIt(1, "Error#: 1");
  EXPECT_EQ(count("Inventory"), QStringLiteral("42"));
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  EXPECT_FALSE(frmEmail_Us::form().isLoaded());
}

TEST_F(ErrorReportPrompt, AnsweringYesFillsAndShowsTheMailWindowModally) {
  ulvoErrorTracking t;
  initInventory(t);
  rec.script({vbYes});
  bool seen = false;
  QTimer::singleShot(0, [&] {
    ASSERT_TRUE(frmEmail_Us::form().isLoaded());
    frmEmail_Us* w = frmEmail_Us::form().get();
    seen = w->isVisible() && w->isModal();
    EXPECT_EQ(frmEmail_Us::tag(w->lblTo), QStringLiteral("Inventory"));
    EXPECT_EQ(w->lblSubject->text(), QStringLiteral("User Error Feedback: Inventory 2.1.7"));
    EXPECT_EQ(w->lblAttachment->text(), logPath());
    EXPECT_EQ(w->lblTo->text(), QStringLiteral("Kestrova Software Support Group (support@kestrova.example)"));
    w->Toolbar1Button(2)->trigger();  // Cancel
  });
  t.LogIt(8, "Error#: 9");
  EXPECT_TRUE(seen);
  EXPECT_FALSE(frmEmail_Us::form().isLoaded());
  EXPECT_EQ(rec.boxes.size(), 1u);  // Cancel asks nothing
  EXPECT_EQ(count("Inventory"), QStringLiteral("1"));
}

TEST_F(ErrorReportPrompt, DbgBoxFollowsShowMsg) {
  ulvoErrorTracking t;
  t.ShowMsg = false;
  t.DbgBox("hidden");
  EXPECT_TRUE(rec.boxes.empty());
  t.ShowMsg = true;
  t.DbgBox(QString());
  ASSERT_EQ(rec.boxes.size(), 1u);
  EXPECT_EQ(rec.boxes[0].prompt, QString());
  EXPECT_EQ(rec.boxes[0].style, vbOKOnly);
  EXPECT_EQ(rec.boxes[0].title, app::title());
}

TEST_F(ErrorReportPrompt, DeleteOfferAskedExactlyAndAnsweredYes) {
  ASSERT_TRUE(test::writeFile(logPath(), "records"));
  setCount("Inventory", "7");
  ulvoErrorTracking never_initialised;
  rec.script({vbYes});
  never_initialised.deleteErrLogDll("Inventory", logPath());
  ASSERT_EQ(rec.boxes.size(), 1u);
  EXPECT_EQ(rec.boxes[0].prompt, kDeleteQuestion);
  EXPECT_EQ(rec.boxes[0].style, 36);
  EXPECT_EQ(rec.boxes[0].title, app::title());
  EXPECT_FALSE(QFile::exists(logPath()));
  EXPECT_EQ(count("Inventory"), QStringLiteral("0"));

  // With the log already gone the count is reset all the same.
  setCount("Inventory", "3");
  rec.script({vbYes});
  never_initialised.deleteErrLogDll("Inventory", logPath());
  EXPECT_EQ(count("Inventory"), QStringLiteral("0"));
}

TEST_F(ErrorReportPrompt, DeleteOfferAnsweredNoChangesNothing) {
  ASSERT_TRUE(test::writeFile(logPath(), "records"));
  setCount("Inventory", "7");
  ulvoErrorTracking t;
  rec.script({vbNo});
  t.deleteErrLogDll("Inventory", logPath());
  EXPECT_EQ(test::readFile(logPath()), QByteArray("records"));
  EXPECT_EQ(count("Inventory"), QStringLiteral("7"));
}

TEST_F(ErrorReportPrompt, DeleteOfferOnAReadOnlyLogRaisesAndKeepsBoth) {
  ASSERT_TRUE(test::writeFile(logPath(), "records"));
  ASSERT_EQ(chmod(QFile::encodeName(logPath()).constData(), 0444), 0);
  setCount("Inventory", "7");
  ulvoErrorTracking t;
  rec.script({vbYes});
  EXPECT_EQ(raised([&] { t.deleteErrLogDll("Inventory", logPath()); }).number(), EACCES);
  EXPECT_EQ(test::readFile(logPath()), QByteArray("records"));
  EXPECT_EQ(count("Inventory"), QStringLiteral("7"));
}

TEST_F(ErrorReportPrompt, DeleteOfferOnALogAnotherProgramWritesRaisesAndKeepsBoth) {
  ASSERT_TRUE(test::writeFile(logPath(), "records"));
  setCount("Inventory", "7");
  QProcess writer;  // holds the log open for appending, as a running program would
  writer.start("sh", {"-c", "exec 3>>\"$0\"; echo ready; exec sleep 30", logPath()});
  ASSERT_TRUE(writer.waitForReadyRead(10000));
  ulvoErrorTracking t;
  rec.script({vbYes});
  const RuntimeError e = raised([&] { t.deleteErrLogDll("Inventory", logPath()); });
  writer.kill();
  writer.waitForFinished();
  EXPECT_EQ(e.number(), EBUSY);
  EXPECT_EQ(test::readFile(logPath()), QByteArray("records"));
  EXPECT_EQ(count("Inventory"), QStringLiteral("7"));
}

TEST_F(ErrorReportPrompt, EachProgramKeepsItsOwnCount) {
  ulvoErrorTracking a, b;
  initInventory(a);
  initInventory(b, {.sProg = QStringLiteral("Billing")});
  a.LogIt(1);
  a.LogIt(1);
  b.LogIt(1);
  EXPECT_EQ(count("Inventory"), QStringLiteral("2"));
  EXPECT_EQ(count("Billing"), QStringLiteral("1"));
  EXPECT_EQ(rec.boxes.back().title, QStringLiteral("1 error(s) have been recorded ..."));

  rec.script({vbYes});
  a.deleteErrLogDll("Billing", logDir.file("other.log"));
  EXPECT_EQ(count("Inventory"), QStringLiteral("2"));
  EXPECT_EQ(count("Billing"), QStringLiteral("0"));

  // A second tracker of the same program carries on from the stored count.
  ulvoErrorTracking again;
  initInventory(again);  // the log exists, so the count stands
  again.LogIt(1);
  EXPECT_EQ(count("Inventory"), QStringLiteral("3"));
}

// Run only as the child of CountIsSharedWithAnotherProcess.
TEST_F(ErrorReportPrompt, DISABLED_ChildRaisesTheCount) {
  test::EnvScope childConfig("XDG_CONFIG_HOME", qgetenv("KESTROVA_CHILD_CONFIG").constData());
  ulvoErrorTracking t;
  initInventory(t, {.sLogFile = QString::fromLocal8Bit(qgetenv("KESTROVA_CHILD_LOG"))});
  t.LogIt(1, "Error#: from the child");
}

TEST_F(ErrorReportPrompt, CountIsSharedWithAnotherProcess) {
  ulvoErrorTracking t;
  initInventory(t);
  t.LogIt(1);
  t.LogIt(1);

  QProcess child;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("KESTROVA_CHILD_CONFIG", config.path());
  env.insert("KESTROVA_CHILD_LOG", logPath());
  child.setProcessEnvironment(env);
  child.start(QCoreApplication::applicationFilePath(),
              {"--gtest_also_run_disabled_tests", "--gtest_filter=ErrorReportPrompt.DISABLED_ChildRaisesTheCount"});
  ASSERT_TRUE(child.waitForFinished(60000));
  ASSERT_EQ(child.exitCode(), 0) << child.readAll().constData();
  EXPECT_EQ(count("Inventory"), QStringLiteral("3"));

  t.LogIt(1);
  EXPECT_EQ(rec.boxes.back().title, QStringLiteral("4 error(s) have been recorded ..."));
  EXPECT_TRUE(test::readFile(logPath()).contains("Error#: from the child\r\n"));
}

}  // namespace
