// The feedback mail window.
#include "errortracking/frm_email_us.h"

#include <memory>

#include <QAction>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QIcon>
#include <QLabel>
#include <QProcess>
#include <QStatusBar>
#include <QTextEdit>
#include <QToolBar>

#include "errortracking/email_icons.h"
#include "errortracking/log_file.h"
#include "errortracking/ulvo_error_tracking.h"
#include "platform/core/app.h"
#include "platform/core/paths.h"
#include "platform/core/process.h"
#include "platform/core/runtime_error.h"
#include "platform/ui/enter_key.h"
#include "platform/ui/fit_text.h"
#include "platform/ui/forms.h"
#include "platform/ui/layout.h"
#include "platform/ui/mouse_pointer.h"
#include "platform/ui/msgbox.h"

namespace {

constexpr uint32_t kDarkBlue = 0x00C00000;
constexpr uint32_t kDarkRed = 0x00000080;

QLabel* makeLabel(QWidget* parent, const char* name, const QString& caption, QRect geometry, uint32_t colour,
                  Qt::Alignment align) {
  auto* l = new QLabel(caption, parent);
  l->setObjectName(QLatin1String(name));
  l->setGeometry(geometry);
  l->setAlignment(align | Qt::AlignTop);
  l->setTextFormat(Qt::PlainText);
  QPalette pal = l->palette();
  pal.setColor(QPalette::WindowText, layout::bgr(colour));
  l->setPalette(pal);
  l->setFocusPolicy(Qt::NoFocus);
  return l;
}

// The stand-in sans-serif runs wider than the classic one: a caption that
// would be clipped in its fixed box gets a slightly smaller size instead.
void fitCaption(QLabel* l) { layout::fitText(l, l->font()); }

}  // namespace

frmEmail_Us::frmEmail_Us(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("frmEmail_Us"));
  setWindowTitle(QStringLiteral("Error Tracking Mailing System"));
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint);
  setFont(layout::msSansSerif(8.25));
  const QRect client = layout::twips(0, 0, 7770, 5295);
  setFixedSize(client.size());
  setWindowIcon(QIcon(emailicons::sendImage()));

  ImageList1 = {emailicons::sendImage(), emailicons::cancelImage(), emailicons::aboutImage()};

  Label1 = makeLabel(this, "Label1", QStringLiteral("Subject:"), layout::twips(120, 1080, 855, 255), kDarkBlue,
                     Qt::AlignRight);
  Label2 = makeLabel(this, "Label2", QStringLiteral("Message:"), layout::twips(120, 1560, 855, 255), kDarkBlue,
                     Qt::AlignRight);
  Label3 = makeLabel(this, "Label3", QStringLiteral("Attachment:"), layout::twips(120, 4440, 855, 255), kDarkBlue,
                     Qt::AlignRight);
  Label5 =
      makeLabel(this, "Label5", QStringLiteral("To:"), layout::twips(120, 720, 855, 255), kDarkBlue, Qt::AlignRight);
  lblTo = makeLabel(this, "lblTo", QStringLiteral("To"), layout::twips(1080, 720, 6615, 255), kDarkRed, Qt::AlignLeft);
  lblSubject = makeLabel(this, "lblSubject", QStringLiteral("Subject"), layout::twips(1080, 1080, 6615, 255), kDarkRed,
                         Qt::AlignLeft);
  lblAttachment = makeLabel(this, "lblAttachment", QStringLiteral("Attachment"), layout::twips(1080, 4440, 6255, 495),
                            kDarkRed, Qt::AlignLeft);
  lblAttachment->setWordWrap(true);
  for (QLabel* caption : {Label1, Label2, Label3, Label5}) fitCaption(caption);

  imgAttachment = new QLabel(this);
  imgAttachment->setObjectName(QStringLiteral("imgAttachment"));
  imgAttachment->setGeometry(layout::twips(7320, 4320, 480, 480));
  imgAttachment->setPixmap(emailicons::attachmentImage(32));
  imgAttachment->setCursor(Qt::PointingHandCursor);
  imgAttachment->installEventFilter(this);

  txtMessage = new QTextEdit(this);
  txtMessage->setObjectName(QStringLiteral("txtMessage"));
  txtMessage->setGeometry(layout::twips(1080, 1560, 6615, 2655));
  txtMessage->setAcceptRichText(false);
  txtMessage->setFont(layout::msSansSerif(8.25));

  buildToolbarAndStatusBar();

  // Tab order of the controls that take the focus: the message, then the toolbar.
  setTabOrder(txtMessage, Toolbar1);
  txtMessage->setFocus();
  keys::enterPressesButtons(this);

  forms::centreOnScreen(this);

  Form_Load();
}

void frmEmail_Us::buildToolbarAndStatusBar() {
  Toolbar1 = new QToolBar(this);
  Toolbar1->setObjectName(QStringLiteral("Toolbar1"));
  Toolbar1->setGeometry(layout::twips(120, 0, 6810, 570));
  Toolbar1->setIconSize(QSize(32, 32));
  Toolbar1->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  Toolbar1->setMovable(false);
  Toolbar1->setFloatable(false);
  const QString captions[3] = {QStringLiteral("     Send        "), QStringLiteral("Cancel       "),
                               QStringLiteral("About       ")};
  const QString tips[3] = {QStringLiteral("Email us your feedback "), QStringLiteral("You can email later"),
                           QStringLiteral("Does this program help you ?")};
  for (int i = 0; i < 3; ++i) {
    QAction* a = Toolbar1->addAction(QIcon(ImageList1[i]), captions[i]);
    a->setToolTip(tips[i]);
    a->setData(i + 1);
    m_buttons[i] = a;
    connect(a, &QAction::triggered, this, [this, i] { buttonPressed(i + 1); });
  }

  StBar = new QStatusBar(this);
  StBar->setObjectName(QStringLiteral("StBar"));
  StBar->setGeometry(layout::twips(0, 5040, 7770, 255));
  StBar->setSizeGripEnabled(false);
  for (int i = 0; i < 2; ++i) {
    m_panels[i] = new QLabel(StBar);
    m_panels[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    m_panels[i]->setTextFormat(Qt::PlainText);
  }
  m_panels[0]->setFixedWidth(layout::px(1440));
  StBar->addWidget(m_panels[0]);
  StBar->addWidget(m_panels[1], 1);
  StBar->setFocusPolicy(Qt::NoFocus);
}

frmEmail_Us::~frmEmail_Us() = default;

FormRef<frmEmail_Us>& frmEmail_Us::form() {
  static FormRef<frmEmail_Us> ref;
  return ref;
}

ulvoErrorTracking& frmEmail_Us::mailTracker() {
  static std::unique_ptr<ulvoErrorTracking> tracker;
  if (!tracker) tracker = std::make_unique<ulvoErrorTracking>();
  return *tracker;
}

void frmEmail_Us::showModal() {
  setParent(nullptr, windowFlags());
  setWindowModality(Qt::ApplicationModal);
  exec();
}

QLabel* frmEmail_Us::StBarPanel(int index) const { return index >= 1 && index <= 2 ? m_panels[index - 1] : nullptr; }

QAction* frmEmail_Us::Toolbar1Button(int index) const {
  return index >= 1 && index <= 3 ? m_buttons[index - 1] : nullptr;
}

QString frmEmail_Us::txtMessageText() const {
  QString text = txtMessage->toPlainText();
  text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
  return text;
}

void frmEmail_Us::setTxtMessageText(const QString& text) {
  QString plain = text;
  plain.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  txtMessage->setPlainText(plain);
}

void frmEmail_Us::Form_Load() {
  setTag(this, QString::fromUtf8(app::kSupportMail));
  lblTo->setText(QString::fromUtf8(app::kCompany) + QStringLiteral(" Support Group (") + tag(this) +
                 QStringLiteral(")"));
  setTxtMessageText(
      QStringLiteral("Look for the ErrStack.log file attachment\r\n\r\n\r\n"
                     "If you would like to add any comments then please type "
                     "here:\r\n"));
  lblAttachment->setText(logfile::defaultLogFile());
  StBarPanel(2)->setText(QStringLiteral("If you have nothing to add to this message then just click 'Send' ..."));
}

void frmEmail_Us::Form_Activate() { pointer::setMousePointer(pointer::vbDefault); }

void frmEmail_Us::Toolbar1_ButtonClick(int Index) {
  pointer::setMousePointer(pointer::vbHourglass);
  if (Index == 1) {
    StBarPanel(2)->setText(QStringLiteral("Please wait while program sending email ..."));
    forms::repaintNow(this);
    SendEmail();
    const QString program = tag(lblTo);
    ulvoErrorTracking& tracker = mailTracker();
    const QString logFile = lblAttachment->text();
    tracker.deleteErrLogDll(program, logFile);
    unloadSelf();
  } else if (Index == 2) {
    unloadSelf();
  }
}

void frmEmail_Us::imgAttachment_Click() {
  // The editor gets the path as its one argument; no shell ever sees it.
  QStringList command = QProcess::splitCommand(qEnvironmentVariable("VISUAL"));
  if (command.isEmpty()) command = {QStringLiteral("xdg-open")};
  const QString program = command.takeFirst();
  command.append(paths::resolve(lblAttachment->text()));
  (void)process::startDetached(program, command);
}

Status frmEmail_Us::mailReport() {
  if (Status s = MAPISession1.signOn(); !s.ok()) return s;
  MAPIMessages1.setSessionId(MAPISession1.sessionId());
  if (Status s = MAPIMessages1.compose(); !s.ok()) return s;
  if (Status s = MAPIMessages1.setRecipAddress(tag(this)); !s.ok()) return s;
  if (Status s = MAPIMessages1.setSubject(lblSubject->text()); !s.ok()) return s;
  if (Status s = MAPIMessages1.setNoteText(txtMessageText()); !s.ok()) return s;
  if (Status s = MAPIMessages1.setAttachmentPathName(lblAttachment->text()); !s.ok()) return s;
  if (Status s = MAPIMessages1.send(); !s.ok()) return s;
  MAPISession1.signOff();
  return Status::Ok();
}

void frmEmail_Us::SendEmail() {
  const Status sent = mailReport();
  if (!sent.ok()) MsgBox(sent.description(), vbOKOnly, app::title());
}

void frmEmail_Us::buttonPressed(int index) {
  // A failure of the delete offer must not cross the event loop: it is told
  // to the user here, and the window stays open to try again or cancel.
  if (const auto failure = trapErrors([this, index] { Toolbar1_ButtonClick(index); })) {
    pointer::setMousePointer(pointer::vbDefault);
    MsgBox(QStringLiteral("Error ") + QString::number(failure->number) + vbCr + failure->description, vbCritical,
           app::title());
  }
}

void frmEmail_Us::unloadSelf() {
  FormRef<frmEmail_Us>& ref = form();
  if (ref.isLoaded() && ref.get() == this)
    ref.unload();
  else
    hide();
}

bool frmEmail_Us::event(QEvent* e) {
  if (e->type() == QEvent::WindowActivate) Form_Activate();
  return QDialog::event(e);
}

bool frmEmail_Us::eventFilter(QObject* watched, QEvent* e) {
  if (watched == imgAttachment && e->type() == QEvent::MouseButtonRelease) {
    imgAttachment_Click();
    return true;
  }
  return QDialog::eventFilter(watched, e);
}

void frmEmail_Us::closeEvent(QCloseEvent* e) {
  e->accept();
  unloadSelf();
}

void frmEmail_Us::reject() { unloadSelf(); }
