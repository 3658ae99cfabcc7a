// The main window: its design state, its hints and the backup warning.
#include <gtest/gtest.h>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include "platform/ui/layout.h"
#include "purge/calendar_control.h"
#include "purge/purge_window.h"
#include "support/recording_presenter.h"

namespace {

const QString kStartHint = "Everything before the selected Date will be removed from the database.";
const QString kBackupHint = "This will make a backup of your database, and is highly recommended.";
const QString kContactsHint =
    "This will remove all Contacts before the selected date, but not Account or Mailbox Holders.";
const QString kInvoicesHint = "This will remove all Invoice not tied to Accounts.";
const QString kShipmentsHint = "This will remove all shipments from history, that are already Exported.";

void moveMouseOver(QWidget* w) {
  QMouseEvent move(QEvent::MouseMove, QPointF(5, 5), w->mapToGlobal(QPointF(5, 5)), Qt::NoButton, Qt::NoButton,
                   Qt::NoModifier);
  QCoreApplication::sendEvent(w, &move);
}

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override { w = MainWindow().get(); }
  void TearDown() override { MainWindow().unload(); }
  PurgeDatabase* w = nullptr;
  test::RecordingPresenter rec{true};
};

TEST_F(MainWindowTest, StartsInItsDesignState) {
  EXPECT_EQ(w->objectName(), "PurgeDatabase");
  EXPECT_TRUE(w->windowFlags() & Qt::FramelessWindowHint);
  EXPECT_EQ(w->size(), QSize(layout::px(7485), layout::px(5415)));
  struct Expect {
    QWidget* control;
    QString caption;
    QRect geometry;
  };
  const std::vector<Expect> controls = {
      {w->chkContacts, "Contacts", layout::twips(210, 1050, 1905, 435)},
      {w->chkShipments, "Shipments", layout::twips(210, 1575, 1800, 435)},
      {w->chkInvoices, "Invoices", layout::twips(210, 2100, 1800, 435)},
      {w->chkBackupDB, "Backup Database", layout::twips(210, 525, 2325, 435)},
      {w->btnAction[0], "Purge", layout::twips(1680, 4305, 1485, 855)},
      {w->btnAction[1], "Exit", layout::twips(3885, 4305, 1485, 855)},
  };
  for (const Expect& e : controls) {
    EXPECT_EQ(e.control->geometry(), e.geometry) << e.caption.toStdString();
    const auto* box = qobject_cast<QCheckBox*>(e.control);
    const auto* button = qobject_cast<QPushButton*>(e.control);
    EXPECT_EQ(box ? box->text() : button->text(), e.caption);
    EXPECT_TRUE(e.control->font().bold());
  }
  EXPECT_EQ(w->lblInfo->text(), kStartHint);
  EXPECT_EQ(w->lblInfo->geometry(), layout::twips(525, 3150, 6525, 750));
  EXPECT_DOUBLE_EQ(w->lblInfo->font().pointSizeF(), 12.0);
  EXPECT_DOUBLE_EQ(w->chkContacts->font().pointSizeF(), 9.75);
  EXPECT_EQ(w->cldRemoveDate->geometry(), layout::twips(2760, 240, 4695, 2775));
  EXPECT_FALSE(w->pbRecords->isVisibleTo(w));
  EXPECT_EQ(checkValue(w->chkBackupDB), 1);
  EXPECT_EQ(checkValue(w->chkContacts), 0);
  EXPECT_EQ(checkValue(w->chkShipments), 0);
  EXPECT_EQ(checkValue(w->chkInvoices), 0);

  // Tab order from the options down to the calendar.
  QWidget* expected[] = {w->chkContacts,  w->chkShipments, w->chkInvoices,  w->chkBackupDB,
                         w->btnAction[0], w->btnAction[1], w->cldRemoveDate};
  for (size_t i = 0; i + 1 < std::size(expected); ++i) {
    QWidget* next = expected[i]->nextInFocusChain();
    while (next && next->focusPolicy() == Qt::NoFocus) next = next->nextInFocusChain();
    EXPECT_TRUE(next == expected[i + 1] || expected[i + 1]->isAncestorOf(next)) << i;
  }

  const QString dir = qEnvironmentVariable("KESTROVA_SCREENSHOT_DIR");
  if (!dir.isEmpty()) {
    w->cldRemoveDate->setSelectedDate(QDate(2026, 12, 7));
    w->show();
    EXPECT_TRUE(w->grab().save(dir + "/main-window.png"));
  }
}

TEST_F(MainWindowTest, HintsComeOnTheirOwnEventsAndStay) {
  // Pointing at the invoices or shipments box shows nothing.
  moveMouseOver(w->chkInvoices);
  moveMouseOver(w->chkShipments);
  EXPECT_EQ(w->lblInfo->text(), kStartHint);

  moveMouseOver(w->chkContacts);
  EXPECT_EQ(w->lblInfo->text(), kContactsHint);
  moveMouseOver(w->chkBackupDB);
  EXPECT_EQ(w->lblInfo->text(), kBackupHint);

  // Clicking the invoices box shows its hint on tick and untick alike.
  for (int i = 0; i < 2; ++i) {
    w->lblInfo->setText(QString());
    w->chkInvoices->click();
    EXPECT_EQ(w->lblInfo->text(), kInvoicesHint);
  }
  EXPECT_EQ(checkValue(w->chkInvoices), 0);
  w->chkShipments->click();
  EXPECT_EQ(w->lblInfo->text(), kShipmentsHint);

  // Clicking the contacts box changes only its tick.
  w->chkContacts->click();
  EXPECT_EQ(checkValue(w->chkContacts), 1);
  EXPECT_EQ(w->lblInfo->text(), kShipmentsHint);
  EXPECT_TRUE(rec.boxes.empty());
}

// Every hint is readable whole in the hint line's fixed box, whatever font
// stands in for the classic one; a short hint keeps the design size.
TEST_F(MainWindowTest, EveryHintFitsTheHintLine) {
  auto fitsWhole = [&] {
    const QFontMetrics metrics(w->lblInfo->font());
    const QRect box = w->lblInfo->contentsRect();
    return metrics.boundingRect(QRect(0, 0, box.width(), 100000), Qt::TextWordWrap, w->lblInfo->text()).height() <=
           box.height();
  };
  moveMouseOver(w->chkContacts);
  EXPECT_EQ(w->lblInfo->text(), kContactsHint);
  EXPECT_TRUE(fitsWhole());
  EXPECT_LE(w->lblInfo->font().pointSizeF(), 12.0);
  EXPECT_GE(w->lblInfo->font().pointSizeF(), 6.0);
  EXPECT_TRUE(w->lblInfo->font().bold());
  moveMouseOver(w->chkBackupDB);
  EXPECT_TRUE(fitsWhole());
  w->chkShipments->click();
  EXPECT_TRUE(fitsWhole());
  w->chkInvoices->click();
  EXPECT_TRUE(fitsWhole());
  EXPECT_DOUBLE_EQ(w->lblInfo->font().pointSizeF(), 12.0);
}

TEST_F(MainWindowTest, UntickingTheBackupBoxWarnsOnce) {
  w->chkBackupDB->click();
  ASSERT_EQ(rec.boxes.size(), 1u);
  EXPECT_EQ(rec.boxes[0].prompt, "Unless you already made a backup, it is highly suggested that you make a backup.");
  EXPECT_EQ(rec.boxes[0].style, 0);
  EXPECT_EQ(rec.boxes[0].title, "Purge Database");
  w->chkBackupDB->click();
  EXPECT_EQ(rec.boxes.size(), 1u);
  EXPECT_EQ(checkValue(w->chkBackupDB), 1);
}

TEST_F(MainWindowTest, TheExitButtonEndsTheProgram) {
  QApplication::setQuitOnLastWindowClosed(true);
  w->show();
  bool quit = false;
  QObject::connect(qApp, &QCoreApplication::aboutToQuit, [&] { quit = true; });
  QTimer::singleShot(0, w->btnAction[1], &QPushButton::click);
  QTimer::singleShot(5000, qApp, [] { QCoreApplication::exit(1); });
  EXPECT_EQ(QApplication::exec(), 0);
  EXPECT_TRUE(quit);
  EXPECT_FALSE(MainWindow().isLoaded());
  QApplication::setQuitOnLastWindowClosed(false);
}

}  // namespace

namespace {

void pressKey(QWidget* w, int key) {
  QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
  QCoreApplication::sendEvent(w, &press);
}

// Return and keypad Enter press a focused button as Space does; the option
// boxes are left to their own keys.
TEST_F(MainWindowTest, ReturnAndEnterPressTheFocusedButton) {
  int shown = 0;
  QObject::connect(w->chkInvoices, &QCheckBox::clicked, [&] { ++shown; });
  pressKey(w->chkInvoices, Qt::Key_Return);
  EXPECT_EQ(shown, 0);
  EXPECT_EQ(checkValue(w->chkInvoices), 0);

  // Exit through keypad Enter: the window is unloaded.
  pressKey(w->btnAction[1], Qt::Key_Enter);
  EXPECT_FALSE(MainWindow().isLoaded());
  w = MainWindow().get();
  pressKey(w->btnAction[1], Qt::Key_Return);
  EXPECT_FALSE(MainWindow().isLoaded());
}

// The calendar keeps its own font whatever the desktop's, and its month
// still fits its fixed box; screen readers find it, its arrows and the
// progress window by name.
TEST(MainWindowLook, CalendarFitsItsBoxUnderALargeDesktopFont) {
  const QFont desktop = QApplication::font();
  QFont large = desktop;
  large.setPointSizeF(16);
  QApplication::setFont(large);
  PurgeDatabase* w = MainWindow().get();
  const QSize need = w->cldRemoveDate->minimumSizeHint();
  const QSize box = w->cldRemoveDate->size();
  const double points = w->cldRemoveDate->font().pointSizeF();
  const QString name = w->cldRemoveDate->accessibleName();
  int namedArrows = 0;
  for (const char* arrow : {"qt_calendar_prevmonth", "qt_calendar_nextmonth"})
    if (auto* b = w->cldRemoveDate->findChild<QWidget*>(arrow)) namedArrows += !b->accessibleName().isEmpty();
  MainWindow().unload();
  QApplication::setFont(desktop);

  EXPECT_LT(points, 16.0);
  EXPECT_LE(need.width(), box.width());
  EXPECT_LE(need.height(), box.height());
  EXPECT_FALSE(name.isEmpty());
  EXPECT_EQ(namedArrows, 2);
}

}  // namespace
