// The main window: its controls and their hints.
#include "purge/purge_window.h"

#include <QCheckBox>
#include <QEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include "platform/core/app.h"
#include "platform/ui/enter_key.h"
#include "platform/ui/fit_text.h"
#include "platform/ui/forms.h"
#include "platform/ui/layout.h"
#include "platform/ui/msgbox.h"
#include "purge/calendar_control.h"

namespace {

QCheckBox* makeCheckBox(QWidget* parent, const char* name, const QString& caption, QRect geometry) {
  auto* box = new QCheckBox(caption, parent);
  box->setObjectName(QString::fromLatin1(name));
  box->setGeometry(geometry);
  box->setFont(layout::msSansSerif(9.75, true));
  box->setMouseTracking(true);
  return box;
}

QPushButton* makeButton(QWidget* parent, int index, const QString& caption, QRect geometry) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(QStringLiteral("btnAction_%1").arg(index));
  button->setGeometry(geometry);
  button->setFont(layout::msSansSerif(12, true));
  return button;
}

}  // namespace

// Puts a hint in the hint line, drawn smaller when the stand-in font would
// clip it in the line's fixed box.
static void showHint(QLabel* line, const QString& hint) {
  line->setText(hint);
  layout::fitText(line, layout::msSansSerif(12, true));
}

FormRef<PurgeDatabase>& MainWindow() {
  static FormRef<PurgeDatabase> ref;
  return ref;
}

int checkValue(const QCheckBox* box) {
  switch (box->checkState()) {
    case Qt::Checked:
      return 1;
    case Qt::PartiallyChecked:
      return 2;
    default:
      return 0;
  }
}

PurgeDatabase::PurgeDatabase(QWidget* parent) : QWidget(parent, Qt::Window | Qt::FramelessWindowHint) {
  Q_INIT_RESOURCE(purge);
  setObjectName(QStringLiteral("PurgeDatabase"));
  setWindowTitle(app::title());
  setWindowIcon(QIcon(QStringLiteral(":/purge/purge-database.png")));
  setFixedSize(layout::px(7485), layout::px(5415));

  chkContacts = makeCheckBox(this, "chkContacts", QStringLiteral("Contacts"), layout::twips(210, 1050, 1905, 435));
  chkShipments = makeCheckBox(this, "chkShipments", QStringLiteral("Shipments"), layout::twips(210, 1575, 1800, 435));
  chkInvoices = makeCheckBox(this, "chkInvoices", QStringLiteral("Invoices"), layout::twips(210, 2100, 1800, 435));
  chkBackupDB =
      makeCheckBox(this, "chkBackupDB", QStringLiteral("Backup Database"), layout::twips(210, 525, 2325, 435));
  chkBackupDB->setChecked(true);

  lblInfo = new QLabel(QStringLiteral("Everything before the selected Date will be removed from the database."), this);
  lblInfo->setObjectName(QStringLiteral("lblInfo"));
  lblInfo->setGeometry(layout::twips(525, 3150, 6525, 750));
  lblInfo->setFont(layout::msSansSerif(12, true));
  lblInfo->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  lblInfo->setWordWrap(true);

  btnAction[0] = makeButton(this, 0, QStringLiteral("Purge"), layout::twips(1680, 4305, 1485, 855));
  btnAction[1] = makeButton(this, 1, QStringLiteral("Exit"), layout::twips(3885, 4305, 1485, 855));

  pbRecords = new QProgressBar(this);
  pbRecords->setObjectName(QStringLiteral("pbRecords"));
  pbRecords->setGeometry(layout::twips(525, 4410, 6525, 540));
  pbRecords->setRange(0, 100);
  pbRecords->setVisible(false);

  cldRemoveDate = new CalendarControl(this);
  cldRemoveDate->setObjectName(QStringLiteral("cldRemoveDate"));
  cldRemoveDate->setGeometry(layout::twips(2760, 240, 4695, 2775));

  // Tab order: the three options, the backup box, the buttons, the calendar.
  QWidget::setTabOrder(chkContacts, chkShipments);
  QWidget::setTabOrder(chkShipments, chkInvoices);
  QWidget::setTabOrder(chkInvoices, chkBackupDB);
  QWidget::setTabOrder(chkBackupDB, btnAction[0]);
  QWidget::setTabOrder(btnAction[0], btnAction[1]);
  QWidget::setTabOrder(btnAction[1], cldRemoveDate);

  connect(chkBackupDB, &QCheckBox::clicked, this, &PurgeDatabase::chkBackupDB_Click);
  connect(chkInvoices, &QCheckBox::clicked, this, &PurgeDatabase::chkInvoices_Click);
  connect(chkShipments, &QCheckBox::clicked, this, &PurgeDatabase::chkShipments_Click);
  connect(btnAction[0], &QPushButton::clicked, this, [this] { btnAction_Click(0); });
  connect(btnAction[1], &QPushButton::clicked, this, [this] { btnAction_Click(1); });
  chkBackupDB->installEventFilter(this);
  chkContacts->installEventFilter(this);
  keys::enterPressesButtons(this);

  forms::centreOnScreen(this);
}

bool PurgeDatabase::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseMove) {
    if (watched == chkBackupDB) chkBackupDB_MouseMove();
    if (watched == chkContacts) chkContacts_MouseMove();
  }
  return QWidget::eventFilter(watched, event);
}

void PurgeDatabase::chkBackupDB_Click() {
  if (checkValue(chkBackupDB) == 0)
    MsgBox(QStringLiteral("Unless you already made a backup, it is highly suggested that you make a backup."),
           vbOKOnly);
}

void PurgeDatabase::chkBackupDB_MouseMove() {
  showHint(lblInfo, QStringLiteral("This will make a backup of your database, and is highly recommended."));
}

void PurgeDatabase::chkContacts_MouseMove() {
  showHint(lblInfo, QStringLiteral(
                        "This will remove all Contacts before the selected date, but not Account or Mailbox Holders."));
}

void PurgeDatabase::chkInvoices_Click() {
  showHint(lblInfo, QStringLiteral("This will remove all Invoice not tied to Accounts."));
}

void PurgeDatabase::chkShipments_Click() {
  showHint(lblInfo, QStringLiteral("This will remove all shipments from history, that are already Exported."));
}
