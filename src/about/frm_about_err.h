// frmAboutErr: the about box of the error-tracking component, with hover
// links for mail and web and a launcher for the system-information program.
#pragma once

#include <array>

#include <QColor>
#include <QDialog>
#include <QPoint>

#include "platform/core/registry.h"
#include "platform/ui/forms.h"

class QLabel;
class QPushButton;

class frmAboutErr : public QDialog {
  Q_OBJECT

 public:
  // Builds the window and its controls, then runs Form_Load. Not shown.
  explicit frmAboutErr(QWidget* parent = nullptr);
  ~frmAboutErr() override;

  // Finds the system-information program through the registry and starts
  // it without waiting; when there is none, or it cannot be started, shows
  // "System Information Is Unavailable At This Time" (OK alone, no icon).
  void StartSysInfo();

  // Reads the value `SubKeyRef` of the key `KeyName` under `KeyRoot` into
  // `KeyVal` and returns true: a text value as its text, a 32-bit number as
  // "&h" and hex digits (most significant first, a top zero byte dropped),
  // any other type leaves `KeyVal` as it was. Returns false with `KeyVal`
  // empty when the key or value is missing or longer than 1024 bytes.
  // Throws RuntimeError for a value with no data at all.
  bool GetKeyValue(HKEY KeyRoot, const QString& KeyName, const QString& SubKeyRef, QString& KeyVal);

  // Link notifications: the pointer moves onto a label (hover begins), a
  // drag notification (state 1 = leaving ends the hover), and a drop on the
  // label (its own drop opens the link).
  void email_MouseMove(int Button, int Shift, float X, float Y);
  void lblemail_MouseMove(int Button, int Shift, float X, float Y);
  void web_MouseMove(int Button, int Shift, float X, float Y);
  void lblweb_MouseMove(int Button, int Shift, float X, float Y);
  void email_DragOver(QWidget* Source, float X, float Y, int State);
  void lblemail_DragOver(QWidget* Source, float X, float Y, int State);
  void web_DragOver(QWidget* Source, float X, float Y, int State);
  void lblweb_DragOver(QWidget* Source, float X, float Y, int State);
  void email_DragDrop(QWidget* Source, float X, float Y);
  void lblemail_DragDrop(QWidget* Source, float X, float Y);
  void web_DragDrop(QWidget* Source, float X, float Y);
  void lblweb_DragDrop(QWidget* Source, float X, float Y);

  // Controls.
  QLabel* picIcon = nullptr;
  QPushButton* cmdOK = nullptr;
  QPushButton* cmdSysInfo = nullptr;
  QLabel* lblTitle = nullptr;
  QLabel* lblVersion = nullptr;
  QLabel* Label2 = nullptr;
  QLabel* Label3 = nullptr;
  QLabel* lblemail = nullptr;
  QLabel* email = nullptr;
  QLabel* lblweb = nullptr;
  QLabel* web = nullptr;
  QLabel* lblThanks = nullptr;
  std::array<QLabel*, 2> lblDisclaimer{};

  // The two lines of the etched separator, drawn on the window.
  struct Line {
    QPoint from;
    QPoint to;
    QColor color;
    int width;
  };
  std::array<Line, 2> Line1{};

 public slots:
  // Esc presses cmdOK.
  void reject() override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void buildControls();
  void buildLinksAndFooter();  // the mail and web links, the thanks, the line and the copyright
  void Form_Load();
  void cmdOK_Click();
  void cmdSysInfo_Click();
  void OpenLink(const QString& text);

  void linkHover(QLabel* label);
  void linkDragOver(QLabel* label, int State);
  void linkDrop(QLabel* label, QWidget* Source, bool mail);
  void unloadSelf();

  // Labels whose drag (hover) is active.
  QList<QLabel*> m_dragging;
};

// The program-wide reference to the about window.
FormRef<frmAboutErr>& frmAboutErrRef();
