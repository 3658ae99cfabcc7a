// The main window: the removal-date calendar, the options to purge, the
// backup box, the hint line, and the Purge and Exit buttons.
#pragma once

#include <QWidget>

#include "platform/ui/forms.h"

class QCheckBox;
class QLabel;
class QProgressBar;
class QPushButton;
class CalendarControl;

class PurgeDatabase : public QWidget {
  Q_OBJECT

 public:
  explicit PurgeDatabase(QWidget* parent = nullptr);

  // Purge (0) runs a whole purge; Exit (1) unloads the window and so ends the
  // program; any other index only runs the closing steps. Never throws: a
  // run-time error ends the run with the "Purge has failed..." warning.
  void btnAction_Click(int Index);

  void chkBackupDB_Click();
  void chkBackupDB_MouseMove();
  void chkContacts_MouseMove();
  void chkInvoices_Click();
  void chkShipments_Click();

  QCheckBox* chkContacts = nullptr;
  QCheckBox* chkShipments = nullptr;
  QCheckBox* chkInvoices = nullptr;
  QCheckBox* chkBackupDB = nullptr;
  QLabel* lblInfo = nullptr;
  QPushButton* btnAction[2] = {nullptr, nullptr};
  QProgressBar* pbRecords = nullptr;
  CalendarControl* cldRemoveDate = nullptr;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // One purge, from the cut-off text to the final box.
  void runPurge();
};

// The program-wide reference to the main window.
FormRef<PurgeDatabase>& MainWindow();

// A check box value is 1 when ticked, 0 when not, 2 when greyed.
int checkValue(const QCheckBox* box);
