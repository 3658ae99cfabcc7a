// The feedback mail window: shows the recipient, subject, an editable message
// and the attached log, and mails them to the support group on Send.
#pragma once

#include <QDialog>
#include <QList>
#include <QPixmap>

#include "platform/core/mail.h"
#include "platform/ui/forms.h"

class QAction;
class QLabel;
class QStatusBar;
class QTextEdit;
class QToolBar;
class ulvoErrorTracking;

class frmEmail_Us : public QDialog {
  Q_OBJECT

 public:
  // Creates the window and runs its load step; does not show it.
  explicit frmEmail_Us(QWidget* parent = nullptr);
  ~frmEmail_Us() override;

  // The program-wide reference to the window.
  static FormRef<frmEmail_Us>& form();

  // The program's one tracker for the delete offer after sending, created on
  // first use and never set up with Init.
  static ulvoErrorTracking& mailTracker();

  // The "tag" that a window or control carries (empty when none was set).
  static QString tag(const QObject* object) { return forms::tag(object); }
  static void setTag(QObject* object, const QString& value) { forms::setTag(object, value); }

  // Shows the window modally with no owner; returns once it is closed.
  void showModal();

  // Panel 1 or 2 of the status bar.
  QLabel* StBarPanel(int index) const;
  // A toolbar button by its index, 1 to 3.
  QAction* Toolbar1Button(int index) const;
  // The message text with CR LF line ends; setting takes CR LF or LF.
  QString txtMessageText() const;
  void setTxtMessageText(const QString& text);

  // Handlers.
  void Form_Load();
  void Form_Activate();
  // Runs the button's action. Throws what the delete offer after Send
  // throws (a log that cannot be deleted, a count that cannot be stored).
  void Toolbar1_ButtonClick(int Index);
  void imgAttachment_Click();

  // Controls.
  QStatusBar* StBar = nullptr;
  QList<QPixmap> ImageList1;
  QToolBar* Toolbar1 = nullptr;
  QTextEdit* txtMessage = nullptr;
  QLabel* Label5 = nullptr;
  QLabel* lblTo = nullptr;
  QLabel* imgAttachment = nullptr;
  QLabel* lblAttachment = nullptr;
  QLabel* lblSubject = nullptr;
  QLabel* Label3 = nullptr;
  QLabel* Label2 = nullptr;
  QLabel* Label1 = nullptr;
  mail::Session MAPISession1;
  mail::Message MAPIMessages1;

 protected:
  bool event(QEvent* e) override;
  bool eventFilter(QObject* watched, QEvent* e) override;
  void closeEvent(QCloseEvent* e) override;
  void reject() override;

 private:
  // Sends the report through the mail layer: Ok, or the layer's first
  // failure (the session then stays open until the next sign-on).
  Status mailReport();
  void SendEmail();
  void buildToolbarAndStatusBar();  // Send, Cancel and About; the two status panels
  void buttonPressed(int index);
  void unloadSelf();

  QLabel* m_panels[2] = {nullptr, nullptr};
  QAction* m_buttons[3] = {nullptr, nullptr, nullptr};
};
