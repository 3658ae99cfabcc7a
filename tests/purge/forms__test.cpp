// Forms_ and the progress window: loading, finding by name, showing, the
// step texts and the window's fixed layout.
#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QScreen>

#include "platform/ui/forms.h"
#include "platform/ui/layout.h"
#include "purge/forms_.h"
#include "purge/frm_please_wait.h"

namespace {

int loadedNamed(const QString& name) {
  int n = 0;
  for (QWidget* w : forms::loaded())
    if (w->objectName() == name) ++n;
  return n;
}

void flushDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

class ProgressWindow : public ::testing::Test {
 protected:
  void TearDown() override {
    UnloadPleaseWait();
    flushDeletes();
  }
};

TEST_F(ProgressWindow, IsFormLoadedIgnoresCaseAndRejectsEmptyNames) {
  EXPECT_FALSE(IsFormLoaded("frmPleaseWait"));
  ASSERT_TRUE(LoadPleaseWait());
  EXPECT_TRUE(IsFormLoaded("frmPleaseWait"));
  EXPECT_TRUE(IsFormLoaded("FRMPLEASEWAIT"));
  EXPECT_TRUE(IsFormLoaded("frmpleasewait"));
  EXPECT_FALSE(IsFormLoaded(""));
  EXPECT_FALSE(IsFormLoaded("frmPleaseWai"));
  EXPECT_FALSE(IsFormLoaded("PurgeDatabase"));
  ASSERT_TRUE(UnloadPleaseWait());
  EXPECT_FALSE(IsFormLoaded("FRMPLEASEWAIT"));
}

TEST_F(ProgressWindow, LoadingTwiceLeavesOneHiddenWindow) {
  ASSERT_TRUE(LoadPleaseWait());
  frmPleaseWait* first = PleaseWait();
  ASSERT_TRUE(LoadPleaseWait());
  EXPECT_EQ(PleaseWait(), first);
  EXPECT_EQ(loadedNamed("frmPleaseWait"), 1);
  EXPECT_FALSE(first->isVisible()) << "loading does not show";
}

TEST_F(ProgressWindow, ShowWhenNotLoadedDoesNothing) {
  EXPECT_TRUE(ShowPleaseWait());
  EXPECT_EQ(PleaseWait(), nullptr);
  EXPECT_EQ(loadedNamed("frmPleaseWait"), 0);
  EXPECT_TRUE(UnloadPleaseWait()) << "unloading an unloaded window does nothing";
}

TEST_F(ProgressWindow, UnloadReleasesTheWindowAndTheNextLoadIsFresh) {
  ASSERT_TRUE(LoadPleaseWait());
  QPointer<frmPleaseWait> old = PleaseWait();
  old->DisplayMsg_("compacting the database...");
  ASSERT_TRUE(UnloadPleaseWait());
  EXPECT_EQ(PleaseWait(), nullptr);
  EXPECT_EQ(loadedNamed("frmPleaseWait"), 0);
  flushDeletes();
  EXPECT_TRUE(old.isNull()) << "the unloaded window is destroyed";
  ASSERT_TRUE(LoadPleaseWait());
  EXPECT_EQ(PleaseWait()->lblProcessing->text(), QString("processing ..."));
  EXPECT_FALSE(PleaseWait()->isVisible());
}

// Every step text shows the window with "Please wait," above the step.
TEST_F(ProgressWindow, StepTexts) {
  ASSERT_TRUE(LoadPleaseWait());
  frmPleaseWait* w = PleaseWait();
  struct Case {
    std::function<void()> call;
    QString second;
  };
  const std::vector<Case> cases = {
      {[&] { w->DisplayMsg_BackUp_File("kestrova.mdb databse"); }, "backing up kestrova.mdb databse..."},
      {[&] { w->DisplayMsg_Purge_Database("Manifest"); }, "purging Manifest..."},
      {[&] { w->DisplayMsg_("purging contacts..."); }, "purging contacts..."},
      {[&] { w->DisplayMsg_(""); }, ""},
      {[&] { w->DisplayMsg_BackUp_File(""); }, "backing up ..."},
  };
  for (const Case& c : cases) {
    w->lblWait->setText("stale");
    c.call();
    EXPECT_EQ(w->lblWait->text(), QString("Please wait,"));
    EXPECT_EQ(w->lblProcessing->text(), c.second);
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(w->parentWidget(), nullptr) << "modeless, without owner";
  }
  EXPECT_FALSE(w->PrBar->isVisible());
}

TEST_F(ProgressWindow, LayoutColoursAndPlacement) {
  ASSERT_TRUE(LoadPleaseWait());
  frmPleaseWait* w = PleaseWait();
  EXPECT_EQ(w->objectName(), QString("frmPleaseWait"));
  EXPECT_TRUE(w->windowFlags() & Qt::FramelessWindowHint);
  EXPECT_EQ((w->windowFlags() & Qt::WindowType_Mask), Qt::Tool);
  EXPECT_EQ(w->size(), QSize(layout::px(4335), layout::px(690)));
  EXPECT_EQ(w->lblWait->text(), QString("Please wait,"));
  EXPECT_EQ(w->lblProcessing->text(), QString("processing ..."));
  EXPECT_EQ(w->lblWait->geometry(), layout::twips(120, 120, 4095, 255));
  EXPECT_EQ(w->lblProcessing->geometry(), layout::twips(120, 360, 4095, 255));
  EXPECT_EQ(w->PrBar->geometry(), layout::twips(120, 600, 4095, 105));
  EXPECT_EQ(w->lblWait->palette().color(QPalette::WindowText), QColor(0, 0, 192));
  EXPECT_EQ(w->lblProcessing->palette().color(QPalette::WindowText), QColor(128, 0, 0));
  EXPECT_TRUE(w->lblWait->alignment() & Qt::AlignHCenter);
  EXPECT_TRUE(w->lblProcessing->alignment() & Qt::AlignHCenter);
  EXPECT_EQ(w->PrBar->minimum(), 0);
  EXPECT_EQ(w->PrBar->maximum(), 100);
  EXPECT_TRUE(w->PrBar->isHidden());

  w->DisplayMsg_("x");
  const QRect screen = QGuiApplication::primaryScreen()->geometry();
  EXPECT_LE(std::abs(w->frameGeometry().center().x() - screen.center().x()), 1);
  EXPECT_LE(std::abs(w->frameGeometry().center().y() - screen.center().y()), 1);
}

}  // namespace
