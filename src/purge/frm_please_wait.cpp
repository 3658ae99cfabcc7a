// The progress window frmPleaseWait.
#include "purge/frm_please_wait.h"

#include <QLabel>
#include <QProgressBar>

#include "platform/ui/forms.h"
#include "platform/ui/layout.h"
#include "purge/forms_.h"

namespace {

QLabel* makeLabel(QWidget* parent, const char* name, const QString& text, uint32_t colour, const QRect& rect) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(QString::fromLatin1(name));
  label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  QPalette pal = label->palette();
  pal.setColor(QPalette::WindowText, layout::bgr(colour));
  label->setPalette(pal);
  label->setGeometry(rect);
  return label;
}

}  // namespace

frmPleaseWait::frmPleaseWait(QWidget* parent) : QFrame(parent, Qt::Tool | Qt::FramelessWindowHint) {
  setObjectName(QStringLiteral("frmPleaseWait"));
  setFrameStyle(QFrame::Panel | QFrame::Raised);
  setLineWidth(1);
  setFont(layout::msSansSerif(8));
  setFixedSize(layout::px(4335), layout::px(690));
  setAccessibleName(QStringLiteral("Please wait"));

  lblWait = makeLabel(this, "lblWait", QStringLiteral("Please wait,"), 0x00C00000, layout::twips(120, 120, 4095, 255));
  lblProcessing = makeLabel(this, "lblProcessing", QStringLiteral("processing ..."), 0x00000080,
                            layout::twips(120, 360, 4095, 255));
  PrBar = new QProgressBar(this);
  PrBar->setObjectName(QStringLiteral("PrBar"));
  PrBar->setRange(0, 100);
  PrBar->setTextVisible(false);
  PrBar->setGeometry(layout::twips(120, 600, 4095, 105));
  PrBar->hide();
}

void frmPleaseWait::showEvent(QShowEvent* event) {
  forms::centreOnScreen(this);
  QFrame::showEvent(event);
}

void frmPleaseWait::ResetMsg() {
  lblWait->setText(QString());
  lblProcessing->setText(QString());
  lblWait->setText(QStringLiteral("Please wait,"));
}

void frmPleaseWait::display(const QString& second) {
  ResetMsg();
  lblProcessing->setText(second);
  setAccessibleDescription(second);
  ShowPleaseWait();
  forms::repaintNow(this);
}

void frmPleaseWait::DisplayMsg_BackUp_File(const QString& whatFile) {
  display(QStringLiteral("backing up ") + whatFile + QStringLiteral("..."));
}

void frmPleaseWait::DisplayMsg_Purge_Database(const QString& TableName) {
  display(QStringLiteral("purging ") + TableName + QStringLiteral("..."));
}

void frmPleaseWait::DisplayMsg_(const QString& msg) { display(msg); }
