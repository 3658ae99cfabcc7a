// The about window: what it shows on load, its hover links, its keys and
// its life through the program-wide reference.
#include <functional>

#include <gtest/gtest.h>
#include <QApplication>
#include <QEnterEvent>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>

#include "about/frm_about_err.h"
#include "platform/core/app.h"
#include "platform/core/process.h"
#include "platform/ui/layout.h"
#include "platform/ui/mouse_pointer.h"
#include "support/recording_presenter.h"
#include "support/sandbox.h"

namespace {

const QColor kBlue(0, 0, 255);
const QColor kBlack(0, 0, 0);

QColor textColor(const QLabel* l) { return l->palette().color(QPalette::WindowText); }

void enter(QLabel* l) {
  const QPointF p(2, 2);
  QEnterEvent e(p, l->mapTo(l->window(), p), l->mapToGlobal(p));
  QApplication::sendEvent(l, &e);
}

void leave(QLabel* l) {
  QEvent e(QEvent::Leave);
  QApplication::sendEvent(l, &e);
}

void release(QLabel* l, QPointF p = QPointF(2, 2)) {
  QMouseEvent e(QEvent::MouseButtonRelease, p, l->mapToGlobal(p), Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(l, &e);
}

void key(QWidget* target, int k) {
  QKeyEvent press(QEvent::KeyPress, k, Qt::NoModifier);
  QApplication::sendEvent(target, &press);
}

// Records what reaches the desktop's open action.
struct RecordingOpener {
  RecordingOpener() {
    process::setOpener([this](const QString& text) { opened << text; });
  }
  ~RecordingOpener() { process::setOpener({}); }
  QStringList opened;
};

// Shows the window through the program-wide reference and gives it focus.
frmAboutErr* showAbout() {
  frmAboutErr* w = frmAboutErrRef().get();
  w->show();
  w->activateWindow();
  QApplication::processEvents();
  return w;
}

void flushDeletes() {
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  QApplication::processEvents();
}

TEST(AboutLoad, CaptionTitleAndVersionComeFromTheProgram) {
  frmAboutErr w;
  EXPECT_EQ(w.objectName(), QStringLiteral("frmAboutErr"));
  EXPECT_EQ(w.windowTitle(), QStringLiteral("About Purge Database"));
  EXPECT_EQ(w.lblTitle->text(), QStringLiteral("Purge Database"));
  EXPECT_EQ(w.lblVersion->text(), QStringLiteral("Version 1.0.1"));
  EXPECT_EQ(w.Label3->text(), QString::fromUtf8(app::kAuthor));
  EXPECT_EQ(w.email->text(), QStringLiteral("support@kestrova.example"));
  EXPECT_EQ(w.web->text(), QStringLiteral("https://www.kestrova.example"));
  EXPECT_TRUE(w.lblThanks->text().contains(QStringLiteral("Kestrova Software")));
  EXPECT_TRUE(w.lblDisclaimer[0]->text().contains(QStringLiteral("Kestrova Software")));
  EXPECT_EQ(w.cmdSysInfo->text(), QStringLiteral("&System Info..."));
  EXPECT_EQ(w.cmdSysInfo->shortcut(), QKeySequence(Qt::ALT | Qt::Key_S));
  EXPECT_FALSE(w.picIcon->pixmap().isNull());
}

TEST(AboutLoad, TheWindowIsAFixedDialogOffTheTaskBar) {
  frmAboutErr w;
  EXPECT_EQ(w.size(), QSize(359, 300));
  EXPECT_EQ(w.minimumSize(), w.maximumSize());
  const Qt::WindowFlags f = w.windowFlags();
  EXPECT_EQ(f & Qt::WindowType_Mask, Qt::Tool);
  EXPECT_TRUE(f & Qt::WindowCloseButtonHint);
  EXPECT_FALSE(f & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(f & Qt::WindowMaximizeButtonHint);
}

TEST(AboutLoad, LoadingClearsABusyPointer) {
  pointer::setMousePointer(pointer::vbHourglass);
  ASSERT_NE(QApplication::overrideCursor(), nullptr);
  frmAboutErr w;
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST(AboutLoad, LinkRowsFitSideBySideInTheWindow) {
  frmAboutErr w;
  for (auto [lead, address] : {std::pair{w.lblemail, w.email}, std::pair{w.lblweb, w.web}}) {
    SCOPED_TRACE(lead->objectName().toStdString());
    EXPECT_EQ(lead->y(), address->y());
    EXPECT_EQ(lead->height(), 13);
    EXPECT_GE(lead->width(), lead->sizeHint().width());
    EXPECT_GE(address->width(), address->sizeHint().width());
    EXPECT_LE(lead->geometry().right(), address->x());
    EXPECT_LE(address->geometry().right(), w.width());
  }
}

TEST(AboutLoad, EveryLabelShowsAllOfItsTextInsideTheWindow) {
  frmAboutErr w;
  const QRect client = w.rect();
  for (QLabel* l : w.findChildren<QLabel*>()) {
    if (l == w.picIcon) continue;
    SCOPED_TRACE(l->objectName().toStdString());
    EXPECT_TRUE(client.contains(l->geometry()));
    if (l->wordWrap())
      EXPECT_GE(l->height(), l->heightForWidth(l->width()));
    else
      EXPECT_GE(l->width(), l->sizeHint().width());
  }
  // The wrapped feedback line ends above the link rows.
  EXPECT_LT(w.Label2->geometry().bottom(), w.lblemail->y());
}

TEST(AboutLoad, TheSeparatorIsEtchedGreyOverWhite) {
  frmAboutErr w;
  const QImage img = w.grab().toImage();
  // Grey line at 3405 twips (pixel row 227), white two rows below it.
  for (int x : {6, 100, 352}) {
    SCOPED_TRACE(x);
    EXPECT_EQ(img.pixelColor(x, 227), layout::bgr(0x808080));
  }
  for (int x : {7, 200, 352}) {
    SCOPED_TRACE(x);
    EXPECT_EQ(img.pixelColor(x, 228), QColor(255, 255, 255));
    EXPECT_EQ(img.pixelColor(x, 229), QColor(255, 255, 255));
  }
  EXPECT_NE(img.pixelColor(6, 228), QColor(255, 255, 255));  // the white line starts a pixel in
  const QByteArray shots = qgetenv("KESTROVA_SCREENSHOTS");
  if (!shots.isEmpty()) img.save(QString::fromLocal8Bit(shots) + QStringLiteral("/frmAboutErr.png"));
}

// The four link labels and what each opens.
struct LinkCase {
  const char* name;
  std::function<QLabel*(frmAboutErr&)> label;
  QString opened;
};

std::vector<LinkCase> linkCases() {
  return {
      {"email", [](frmAboutErr& w) { return w.email; }, QStringLiteral("mailto:support@kestrova.example")},
      {"lblemail", [](frmAboutErr& w) { return w.lblemail; }, QStringLiteral("mailto:support@kestrova.example")},
      {"web", [](frmAboutErr& w) { return w.web; }, QStringLiteral("https://www.kestrova.example")},
      {"lblweb", [](frmAboutErr& w) { return w.lblweb; }, QStringLiteral("https://www.kestrova.example")},
  };
}

TEST(AboutLinks, HoverTurnsBlueAndUnderlinedLeaveTurnsBlack) {
  for (const LinkCase& c : linkCases()) {
    SCOPED_TRACE(c.name);
    RecordingOpener opener;
    frmAboutErr w;
    QLabel* l = c.label(w);
    EXPECT_EQ(textColor(l), QApplication::palette(l).color(QPalette::WindowText));
    EXPECT_FALSE(l->font().underline());
    enter(l);
    EXPECT_EQ(textColor(l), kBlue);
    EXPECT_TRUE(l->font().underline());
    leave(l);
    EXPECT_EQ(textColor(l), kBlack);
    EXPECT_FALSE(l->font().underline());
    EXPECT_TRUE(opener.opened.isEmpty());  // never clicked
    // Hovering again works the same.
    enter(l);
    EXPECT_EQ(textColor(l), kBlue);
    EXPECT_TRUE(l->font().underline());
  }
}

TEST(AboutLinks, AClickOpensTheTargetAndEndsTheHover) {
  for (const LinkCase& c : linkCases()) {
    SCOPED_TRACE(c.name);
    RecordingOpener opener;
    frmAboutErr w;
    QLabel* l = c.label(w);
    enter(l);
    release(l);
    EXPECT_EQ(opener.opened, QStringList{c.opened});
    EXPECT_EQ(textColor(l), kBlack);
    EXPECT_FALSE(l->font().underline());
  }
}

TEST(AboutLinks, OnlyTheLabelsOwnDropOpensIt) {
  RecordingOpener opener;
  frmAboutErr w;
  w.email_MouseMove(0, 0, 1, 1);
  // A release outside the label is no drop on it.
  release(w.email, QPointF(-5, -5));
  w.email_DragDrop(w.web, 1, 1);
  w.email_DragDrop(nullptr, 1, 1);
  EXPECT_TRUE(opener.opened.isEmpty());
  EXPECT_EQ(textColor(w.email), kBlue);
  // Entering and moving over change nothing; only leaving ends the hover.
  w.email_DragOver(w.email, 1, 1, 0);
  w.email_DragOver(w.email, 1, 1, 2);
  EXPECT_EQ(textColor(w.email), kBlue);
  EXPECT_TRUE(w.email->font().underline());
  // Another label's hover is its own.
  EXPECT_FALSE(w.lblemail->font().underline());
  w.lblweb_DragDrop(w.lblweb, 0, 0);
  EXPECT_EQ(opener.opened, QStringList{QStringLiteral("https://www.kestrova.example")});
  EXPECT_TRUE(w.email->font().underline());
}

TEST(AboutLife, OkUnloadsAndTheNextUseLoadsAfresh) {
  frmAboutErr* first = frmAboutErrRef().get();
  QPointer<frmAboutErr> guard(first);
  EXPECT_TRUE(forms::loaded().contains(first));
  first->email_MouseMove(0, 0, 0, 0);
  first->cmdOK->click();
  EXPECT_FALSE(frmAboutErrRef().isLoaded());
  EXPECT_FALSE(forms::loaded().contains(first));
  flushDeletes();
  EXPECT_TRUE(guard.isNull());

  pointer::setMousePointer(pointer::vbHourglass);
  frmAboutErr* second = frmAboutErrRef().get();
  EXPECT_EQ(second->windowTitle(), QStringLiteral("About Purge Database"));
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  EXPECT_FALSE(second->email->font().underline());
  frmAboutErrRef().unload();
  flushDeletes();
}

TEST(AboutLife, TheCloseBoxUnloads) {
  frmAboutErr* w = showAbout();
  QPointer<frmAboutErr> guard(w);
  w->close();
  EXPECT_FALSE(frmAboutErrRef().isLoaded());
  flushDeletes();
  EXPECT_TRUE(guard.isNull());
}

TEST(AboutKeys, OkHasTheFocusAndTabVisitsOnlyPictureAndButtons) {
  frmAboutErr* w = showAbout();
  EXPECT_EQ(QApplication::focusWidget(), w->cmdOK);
  EXPECT_EQ(w->cmdOK->nextInFocusChain(), w->picIcon);
  QList<QWidget*> visited;
  for (int i = 0; i < 4; ++i) {
    key(QApplication::focusWidget(), Qt::Key_Tab);
    visited << QApplication::focusWidget();
  }
  EXPECT_EQ(visited, (QList<QWidget*>{w->picIcon, w->cmdSysInfo, w->cmdOK, w->picIcon}));
  frmAboutErrRef().unload();
  flushDeletes();
}

TEST(AboutKeys, EscClosesWhateverHasTheFocus) {
  for (int focus = 0; focus < 3; ++focus) {
    SCOPED_TRACE(focus);
    test::RecordingPresenter rec(true);
    frmAboutErr* w = showAbout();
    QWidget* target = focus == 0   ? static_cast<QWidget*>(w->cmdOK)
                      : focus == 1 ? static_cast<QWidget*>(w->picIcon)
                                   : static_cast<QWidget*>(w->cmdSysInfo);
    target->setFocus();
    QApplication::processEvents();
    ASSERT_EQ(QApplication::focusWidget(), target);
    key(target, Qt::Key_Escape);
    EXPECT_FALSE(frmAboutErrRef().isLoaded());
    EXPECT_TRUE(rec.boxes.empty());
    flushDeletes();
  }
}

TEST(AboutKeys, EnterPressesOkExceptOnSystemInfo) {
  // Nothing registered: System Info answers with its box.
  QFile::remove(registry::filePath());
  for (int k : {int(Qt::Key_Return), int(Qt::Key_Enter)}) {
    for (bool onPicture : {false, true}) {
      SCOPED_TRACE(onPicture);
      test::RecordingPresenter rec(true);
      frmAboutErr* w = showAbout();
      QWidget* target = onPicture ? static_cast<QWidget*>(w->picIcon) : static_cast<QWidget*>(w->cmdOK);
      // Visit System Info first, so its turn as default button must end.
      w->cmdSysInfo->setFocus();
      target->setFocus();
      QApplication::processEvents();
      ASSERT_EQ(QApplication::focusWidget(), target);
      key(target, k);
      EXPECT_FALSE(frmAboutErrRef().isLoaded());
      EXPECT_TRUE(rec.boxes.empty());
      flushDeletes();
    }
    test::RecordingPresenter rec(true);
    frmAboutErr* w = showAbout();
    w->cmdSysInfo->setFocus();
    QApplication::processEvents();
    ASSERT_EQ(QApplication::focusWidget(), w->cmdSysInfo);
    key(w->cmdSysInfo, k);
    EXPECT_TRUE(frmAboutErrRef().isLoaded());
    ASSERT_EQ(rec.boxes.size(), 1u);
    EXPECT_EQ(rec.boxes[0].prompt, QStringLiteral("System Information Is Unavailable At This Time"));
    frmAboutErrRef().unload();
    flushDeletes();
  }
}

}  // namespace
