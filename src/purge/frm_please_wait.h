// The progress window frmPleaseWait: "Please wait," and the step in progress,
// shown modelessly while a purge run works.
#pragma once

#include <QFrame>
#include <QString>

class QLabel;
class QProgressBar;

class frmPleaseWait : public QFrame {
  Q_OBJECT

 public:
  explicit frmPleaseWait(QWidget* parent = nullptr);

  // Each shows the window (through ShowPleaseWait) with "Please wait," on
  // the first line and the step on the second, and repaints it at once.
  // Second line: "backing up " + whatFile + "...".
  void DisplayMsg_BackUp_File(const QString& whatFile);
  // Second line: "purging " + TableName + "...".
  void DisplayMsg_Purge_Database(const QString& TableName);
  // Second line: msg unchanged.
  void DisplayMsg_(const QString& msg);

  QLabel* lblWait = nullptr;
  QLabel* lblProcessing = nullptr;
  QProgressBar* PrBar = nullptr;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void ResetMsg();
  void display(const QString& second);
};
