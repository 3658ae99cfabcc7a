// The feedback mail window: its load step and layout, Send through a real
// (fake) sendmail read back with a MIME parser, Cancel, About, the close box
// and the attachment picture.
#include <sys/stat.h>

#include <cstring>

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QLabel>
#include <QMouseEvent>
#include <QStatusBar>
#include <QTextEdit>
#include <QTimer>
#include <QToolBar>

#include "errortracking/frm_email_us.h"
#include "errortracking/log_file.h"
#include "platform/core/app.h"
#include "platform/core/paths.h"
#include "platform/core/process.h"
#include "platform/ui/mouse_pointer.h"
#include "support/fake_sendmail.h"
#include "tracker_fixture.h"

namespace {

const QString kDefaultBody = QStringLiteral(
    "Look for the ErrStack.log file attachment\r\n\r\n\r\n"
    "If you would like to add any comments then please type here:\r\n");

class MailWindow : public test::TrackerTest {
 protected:
  void TearDown() override {
    frmEmail_Us::form().unload();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    process::setStarter({});
    pointer::setMousePointer(pointer::vbDefault);
    test::TrackerTest::TearDown();
  }

  // Logs one error, answers Yes to the report prompt and, once the mail
  // window is up, runs `inWindow` on it.
  void reportAndThen(ulvoErrorTracking& t, std::function<void(frmEmail_Us*)> inWindow) {
    rec.script({vbYes});
    QTimer::singleShot(0, [inWindow] { inWindow(frmEmail_Us::form().get()); });
    t.LogIt(8, "Error#: 94", "Err.Desc: File not found");
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
};

TEST_F(MailWindow, LoadFillsTheRecipientBodyAttachmentAndHint) {
  frmEmail_Us* w = frmEmail_Us::form().get();
  EXPECT_EQ(w->objectName(), QStringLiteral("frmEmail_Us"));
  EXPECT_EQ(w->windowTitle(), QStringLiteral("Error Tracking Mailing System"));
  EXPECT_EQ(frmEmail_Us::tag(w), QStringLiteral("support@kestrova.example"));
  EXPECT_EQ(w->lblTo->text(), QStringLiteral("Kestrova Software Support Group (support@kestrova.example)"));
  EXPECT_EQ(w->txtMessageText(), kDefaultBody);
  EXPECT_EQ(w->lblAttachment->text(), app::folder() + "/ErrStack.log");
  EXPECT_EQ(w->lblSubject->text(), QStringLiteral("Subject"));
  EXPECT_EQ(w->StBarPanel(2)->text(),
            QStringLiteral("If you have nothing to add to this message then just click 'Send' ..."));
  EXPECT_TRUE(forms::loaded().contains(w));
}

TEST_F(MailWindow, ControlsSitWhereTheLayoutPutsThem) {
  frmEmail_Us* w = frmEmail_Us::form().get();
  EXPECT_EQ(w->size(), QSize(518, 353));
  EXPECT_EQ(w->minimumSize(), w->maximumSize());
  EXPECT_FALSE(w->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
  EXPECT_TRUE(w->windowFlags() & Qt::WindowCloseButtonHint);
  EXPECT_FALSE(w->windowIcon().isNull());

  struct Place {
    QWidget* control;
    QRect geometry;
  };
  const Place places[] = {
      {w->StBar, QRect(0, 336, 518, 17)},          {w->Toolbar1, QRect(8, 0, 454, 38)},
      {w->txtMessage, QRect(72, 104, 441, 177)},   {w->Label5, QRect(8, 48, 57, 17)},
      {w->lblTo, QRect(72, 48, 441, 17)},          {w->imgAttachment, QRect(488, 288, 32, 32)},
      {w->lblAttachment, QRect(72, 296, 417, 33)}, {w->lblSubject, QRect(72, 72, 441, 17)},
      {w->Label3, QRect(8, 296, 57, 17)},          {w->Label2, QRect(8, 104, 57, 17)},
      {w->Label1, QRect(8, 72, 57, 17)},
  };
  for (const Place& p : places) EXPECT_EQ(p.control->geometry(), p.geometry) << p.control->objectName().toStdString();

  const QColor blue(0, 0, 0xC0), red(0x80, 0, 0);
  for (QLabel* l : {w->Label1, w->Label2, w->Label3, w->Label5}) {
    EXPECT_EQ(l->palette().color(QPalette::WindowText), blue) << l->text().toStdString();
    EXPECT_TRUE(l->alignment() & Qt::AlignRight);
  }
  for (QLabel* l : {w->lblTo, w->lblSubject, w->lblAttachment})
    EXPECT_EQ(l->palette().color(QPalette::WindowText), red) << l->objectName().toStdString();
  EXPECT_EQ(w->Label1->text(), QStringLiteral("Subject:"));
  EXPECT_EQ(w->Label2->text(), QStringLiteral("Message:"));
  EXPECT_EQ(w->Label3->text(), QStringLiteral("Attachment:"));
  EXPECT_EQ(w->Label5->text(), QStringLiteral("To:"));
  EXPECT_FALSE(w->txtMessage->acceptRichText());
  EXPECT_EQ(w->ImageList1.size(), 3);
  for (const QPixmap& p : w->ImageList1) EXPECT_EQ(p.size(), QSize(32, 32));
}

TEST_F(MailWindow, ToolbarButtonsKeepTheirSpacedCaptionsAndTips) {
  frmEmail_Us* w = frmEmail_Us::form().get();
  const struct {
    const char* caption;
    const char* tip;
  } buttons[] = {{"     Send        ", "Email us your feedback "},
                 {"Cancel       ", "You can email later"},
                 {"About       ", "Does this program help you ?"}};
  for (int i = 0; i < 3; ++i) {
    QAction* a = w->Toolbar1Button(i + 1);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->text(), QString::fromLatin1(buttons[i].caption));
    EXPECT_EQ(a->toolTip(), QString::fromLatin1(buttons[i].tip));
    EXPECT_FALSE(a->icon().isNull());
  }
  EXPECT_EQ(w->Toolbar1Button(1)->text().size(), 17);
  EXPECT_EQ(w->Toolbar1Button(4), nullptr);
}

TEST_F(MailWindow, SendMailsTheDefaultBodyWithTheLogAndOffersToDeleteIt) {
  test::FakeSendmail sendmail;
  ulvoErrorTracking t;
  initInventory(t);
  rec.script({vbYes, vbYes});  // mail the errors, then delete the log
  QByteArray logAtSend;
  QTimer::singleShot(0, [&] {
    logAtSend = test::readFile(logPath());
    frmEmail_Us::form().get()->Toolbar1Button(1)->trigger();
  });
  t.LogIt(8, "Error#: 94", "Err.Desc: File not found");
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

  const test::ParsedMail m = test::parseMail(sendmail.message());
  ASSERT_TRUE(m.ok) << m.error.toStdString();
  EXPECT_EQ(sendmail.args(), (QStringList{"-t", "-oi"}));
  EXPECT_EQ(m.to, QStringLiteral("support@kestrova.example"));
  EXPECT_EQ(m.from, QStringLiteral("jsmith"));
  EXPECT_EQ(m.subject, QStringLiteral("User Error Feedback: Inventory 2.1.7"));
  EXPECT_EQ(m.bodyBytes, kDefaultBody.toUtf8());
  ASSERT_EQ(m.attachments.size(), 1);
  EXPECT_EQ(m.attachments[0].fileName, QStringLiteral("ErrStack.log"));
  EXPECT_FALSE(logAtSend.isEmpty());
  EXPECT_EQ(m.attachments[0].bytes, logAtSend);

  ASSERT_EQ(rec.boxes.size(), 2u);
  EXPECT_EQ(rec.boxes[1].style, vbQuestion + vbYesNo);
  EXPECT_TRUE(rec.boxes[1].prompt.startsWith("If you emailed the Error(s) successfully"));
  EXPECT_FALSE(QFile::exists(logPath()));
  EXPECT_EQ(count("Inventory"), QStringLiteral("0"));
  EXPECT_FALSE(frmEmail_Us::form().isLoaded());
}

TEST_F(MailWindow, SendWithAnEditedNonAsciiMessage) {
  test::FakeSendmail sendmail;
  ulvoErrorTracking t;
  initInventory(t);
  const QString body = QStringLiteral("Größe falsch – 日本\r\nZweite Zeile\r\n");
  reportAndThen(t, [&](frmEmail_Us* w) {
    w->setTxtMessageText(body);
    w->Toolbar1Button(1)->trigger();
  });
  const test::ParsedMail m = test::parseMail(sendmail.message());
  ASSERT_TRUE(m.ok) << m.error.toStdString();
  EXPECT_EQ(QString::fromUtf8(m.bodyBytes), body);
  // Answered No (the default): log and count stay.
  EXPECT_TRUE(QFile::exists(logPath()));
  EXPECT_EQ(count("Inventory"), QStringLiteral("1"));
  EXPECT_FALSE(frmEmail_Us::form().isLoaded());
}

TEST_F(MailWindow, SendWithoutAMailSystemTellsThenAsksThenCloses) {
  ulvoErrorTracking t;
  initInventory(t);
  reportAndThen(t, [](frmEmail_Us* w) { w->Toolbar1Button(1)->trigger(); });
  ASSERT_EQ(rec.boxes.size(), 3u);
  EXPECT_EQ(rec.boxes[1].prompt, QStringLiteral("No mail system is available."));
  EXPECT_EQ(rec.boxes[1].style, vbOKOnly);
  EXPECT_EQ(rec.boxes[1].title, app::title());
  EXPECT_EQ(rec.boxes[2].style, vbQuestion + vbYesNo);
  EXPECT_FALSE(frmEmail_Us::form().isLoaded());
  EXPECT_TRUE(QFile::exists(logPath()));
}

TEST_F(MailWindow, ARefusingMailProgramShowsItsErrorText) {
  test::FakeSendmail sendmail;
  sendmail.failWith(69, QStringLiteral("sendmail: host unreachable"));
  ulvoErrorTracking t;
  initInventory(t);
  reportAndThen(t, [](frmEmail_Us* w) { w->Toolbar1Button(1)->trigger(); });
  ASSERT_EQ(rec.boxes.size(), 3u);
  EXPECT_EQ(rec.boxes[1].prompt, QStringLiteral("sendmail: host unreachable"));
  EXPECT_FALSE(frmEmail_Us::form().isLoaded());
}

TEST_F(MailWindow, AMissingAttachmentIsReportedAndNothingIsMailed) {
  test::FakeSendmail sendmail;
  frmEmail_Us* w = frmEmail_Us::form().get();
  w->lblAttachment->setText(logDir.file("gone.log"));
  w->Toolbar1_ButtonClick(1);
  ASSERT_EQ(rec.boxes.size(), 2u);
  EXPECT_TRUE(rec.boxes[0].prompt.contains("gone.log"));
  EXPECT_FALSE(sendmail.ran());
  EXPECT_FALSE(frmEmail_Us::form().isLoaded());
}

TEST_F(MailWindow, CancelClosesWithoutMailOrQuestion) {
  test::FakeSendmail sendmail;
  ulvoErrorTracking t;
  initInventory(t);
  reportAndThen(t, [](frmEmail_Us* w) { w->Toolbar1Button(2)->trigger(); });
  EXPECT_FALSE(sendmail.ran());
  EXPECT_EQ(rec.boxes.size(), 1u);
  EXPECT_FALSE(frmEmail_Us::form().isLoaded());
}

TEST_F(MailWindow, AboutKeepsTheWindowOpenAndBusyUntilItIsActivatedAgain) {
  frmEmail_Us* w = frmEmail_Us::form().get();
  w->show();
  w->Toolbar1Button(3)->trigger();
  EXPECT_TRUE(frmEmail_Us::form().isLoaded());
  EXPECT_TRUE(w->isVisible());
  ASSERT_NE(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
  EXPECT_TRUE(rec.boxes.empty());
  QEvent activate(QEvent::WindowActivate);
  QApplication::sendEvent(w, &activate);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(MailWindow, TheCloseBoxUnloadsWithoutTheDeleteOfferAndTheNextUseLoadsAfresh) {
  ulvoErrorTracking t;
  initInventory(t);
  reportAndThen(t, [](frmEmail_Us* w) {
    w->lblSubject->setText("changed");
    w->close();
  });
  EXPECT_EQ(rec.boxes.size(), 1u);
  EXPECT_FALSE(frmEmail_Us::form().isLoaded());
  EXPECT_EQ(frmEmail_Us::form().get()->lblSubject->text(), QStringLiteral("Subject"));
}

TEST_F(MailWindow, AFailingDeleteOfferIsToldAndTheWindowStays) {
  test::FakeSendmail sendmail;
  ASSERT_TRUE(test::writeFile(logPath(), "records"));
  ASSERT_EQ(chmod(QFile::encodeName(logPath()).constData(), 0444), 0);
  frmEmail_Us* w = frmEmail_Us::form().get();
  w->lblAttachment->setText(logPath());
  frmEmail_Us::setTag(w->lblTo, "Inventory");
  rec.script({vbYes});
  EXPECT_EQ(test::raised([&] { w->Toolbar1_ButtonClick(1); }).number(), EACCES);

  rec.boxes.clear();
  rec.script({vbYes});
  w->Toolbar1Button(1)->trigger();  // from the button the failure is shown, not thrown
  ASSERT_EQ(rec.boxes.size(), 2u);
  EXPECT_EQ(rec.boxes[1].style, vbCritical);
  EXPECT_TRUE(rec.boxes[1].prompt.contains(QString::fromLocal8Bit(strerror(EACCES))));
  EXPECT_TRUE(frmEmail_Us::form().isLoaded());
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(test::readFile(logPath()), QByteArray("records"));
}

TEST_F(MailWindow, TheAttachmentPictureStartsTheEditorWithThePathAsOneArgument) {
  QString program;
  QStringList args;
  bool started = true;
  process::setStarter([&](const QString& p, const QStringList& a) {
    program = p;
    args = a;
    return started;
  });
  frmEmail_Us* w = frmEmail_Us::form().get();
  const QString nasty = logDir.file("my log; rm -rf ~ $(x).log");
  w->lblAttachment->setText(nasty);

  std::optional<test::EnvScope> visual;
  visual.emplace("VISUAL", nullptr);
  w->imgAttachment_Click();
  EXPECT_EQ(program, QStringLiteral("xdg-open"));
  EXPECT_EQ(args, QStringList{nasty});

  visual.emplace("VISUAL", "my-editor --wait");
  QMouseEvent release(QEvent::MouseButtonRelease, QPointF(4, 4), QPointF(4, 4), Qt::LeftButton, Qt::NoButton,
                      Qt::NoModifier);
  QApplication::sendEvent(w->imgAttachment, &release);
  EXPECT_EQ(program, QStringLiteral("my-editor"));
  EXPECT_EQ(args, (QStringList{"--wait", nasty}));

  // A drive path is resolved; a start that fails says nothing.
  started = false;
  w->lblAttachment->setText(QStringLiteral("C:\\kestrova\\ErrStack.log"));
  w->imgAttachment_Click();
  EXPECT_EQ(args.last(), paths::resolve(QStringLiteral("C:\\kestrova\\ErrStack.log")));
  EXPECT_TRUE(rec.boxes.empty());
}

TEST_F(MailWindow, RendersAtItsFixedSizeWithTheControlsDrawn) {
  frmEmail_Us* w = frmEmail_Us::form().get();
  w->lblSubject->setText(QStringLiteral("User Error Feedback: Inventory 2.1.7"));
  w->show();
  const QImage shot = w->grab().toImage();
  EXPECT_EQ(shot.size(), QSize(518, 353));
  // The dark blue captions are drawn in their column.
  bool blue = false;
  for (int y = 72; y < 89 && !blue; ++y)
    for (int x = 8; x < 65 && !blue; ++x) {
      const QColor c = shot.pixelColor(x, y);
      blue = c.blue() > 120 && c.red() < 80 && c.green() < 80;
    }
  EXPECT_TRUE(blue);
  const QByteArray out = qgetenv("KESTROVA_SCREENSHOT_DIR");
  if (!out.isEmpty()) shot.save(QString::fromLocal8Bit(out) + "/frmEmail_Us.png");
}

}  // namespace
