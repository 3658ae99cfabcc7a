// frmAboutErr: the about box of the error-tracking component.
#include "about/frm_about_err.h"

#include <algorithm>

#include <QCloseEvent>
#include <QEnterEvent>
#include <QFileInfo>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>

#include "platform/core/app.h"
#include "platform/core/paths.h"
#include "platform/core/process.h"
#include "platform/core/runtime_error.h"
#include "platform/ui/enter_key.h"
#include "platform/ui/forms.h"
#include "platform/ui/layout.h"
#include "platform/ui/mouse_pointer.h"
#include "platform/ui/msgbox.h"

namespace {

// Where the system-information program is registered.
const char* const kRegKeySysInfoLoc = "SOFTWARE\\Microsoft\\Shared Tools Location";
const char* const kRegValSysInfoLoc = "MSINFO";
const char* const kRegKeySysInfo = "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
const char* const kRegValSysInfo = "PATH";
const char* const kSysInfoProgram = "MSINFO32.EXE";

// Read control plus query value, set value, create sub-key, enumerate
// sub-keys, notify and create link.
constexpr uint32_t kKeyAllAccess = 0x2003F;
constexpr uint32_t kBufferSize = 1024;

const char* const kDisclaimerYear = "2004";

QColor black() { return layout::bgr(0x000000); }

void setTextColor(QLabel* label, const QColor& color) {
  QPalette pal = label->palette();
  pal.setColor(QPalette::WindowText, color);
  label->setPalette(pal);
}

void setUnderline(QLabel* label, bool on) {
  QFont f = label->font();
  f.setUnderline(on);
  label->setFont(f);
}

// The system's sans-serif may run wider than the classic font the layout was
// drawn for, so a label whose text does not fit grows rather than cuts it:
// a wrapped label downwards, a one-line centred label about its centre, any
// other one-line label to the right, all within the window.
void fitToText(QLabel* l, int windowWidth) {
  QRect g = l->geometry();
  if (l->wordWrap()) {
    g.setHeight(std::max(g.height(), l->heightForWidth(g.width())));
  } else {
    const int need = l->sizeHint().width();
    if (need > g.width()) {
      if (l->alignment() & Qt::AlignHCenter) {
        const int center = g.center().x();
        g.setLeft(std::max(0, center - need / 2));
      }
      g.setWidth(std::min(need, windowWidth - g.left()));
    }
  }
  l->setGeometry(g);
}

// The file name of `path` when it is a present file (regular, not hidden),
// else an empty text.
// A label of the window: top-aligned, wrapping, at `geometry`.
QLabel* makeLabel(QWidget* parent, const char* name, const QString& text, QRect geometry, int align) {
  auto* l = new QLabel(text, parent);
  l->setObjectName(QString::fromLatin1(name));
  l->setGeometry(geometry);
  l->setAlignment(Qt::Alignment(align) | Qt::AlignTop);
  l->setWordWrap(true);
  return l;
}

// A link label sized to its one line of text; `filter` sees its clicks. A
// lead-in label (leadInWidth > 0) that outgrows its place moves left so it
// still ends before its address.
QLabel* makeLink(QWidget* parent, QObject* filter, const char* name, const QString& text, int left, int top,
                 int leadInWidth) {
  QLabel* l = makeLabel(parent, name, text, layout::twips(left, top, 0, 195), Qt::AlignLeft);
  l->setWordWrap(false);
  const int width = l->sizeHint().width();
  int x = layout::px(left);
  if (leadInWidth > 0) x = std::max(0, std::min(x, layout::px(left + leadInWidth) - width));
  l->setGeometry(x, layout::px(top), width, layout::px(195));
  l->setCursor(Qt::PointingHandCursor);
  l->installEventFilter(filter);
  return l;
}

QString presentFileName(const QString& path) {
  const QFileInfo info(paths::resolve(path));
  if (!info.exists() || !info.isFile() || info.fileName().startsWith(QLatin1Char('.'))) return {};
  return info.fileName();
}

}  // namespace

FormRef<frmAboutErr>& frmAboutErrRef() {
  static FormRef<frmAboutErr> ref;
  return ref;
}

frmAboutErr::frmAboutErr(QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint) {
  Q_INIT_RESOURCE(about);
  setObjectName(QStringLiteral("frmAboutErr"));
  buildControls();
  keys::enterPressesButtons(this);
  Form_Load();
  for (QLabel* l : {lblTitle, lblVersion, Label2, Label3, lblThanks, lblDisclaimer[0], lblDisclaimer[1]})
    fitToText(l, width());
}

frmAboutErr::~frmAboutErr() = default;

void frmAboutErr::buildControls() {
  setFont(layout::msSansSerif(8));
  setFixedSize(layout::px(5385), layout::px(4500));
  forms::centreOnScreen(this);

  picIcon = new QLabel(this);
  picIcon->setObjectName(QStringLiteral("picIcon"));
  picIcon->setGeometry(layout::twips(120, 120, 1830, 1650));
  picIcon->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  picIcon->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  picIcon->setPixmap(QPixmap(QStringLiteral(":/about/shop_parcel.jpg")));
  picIcon->setFocusPolicy(Qt::StrongFocus);

  cmdOK = new QPushButton(QStringLiteral("OK"), this);
  cmdOK->setObjectName(QStringLiteral("cmdOK"));
  cmdOK->setGeometry(layout::twips(3885, 3600, 1260, 345));
  cmdOK->setDefault(true);

  cmdSysInfo = new QPushButton(QStringLiteral("&System Info..."), this);
  cmdSysInfo->setObjectName(QStringLiteral("cmdSysInfo"));
  cmdSysInfo->setGeometry(layout::twips(3900, 4035, 1245, 345));
  cmdSysInfo->setAutoDefault(true);

  lblTitle = makeLabel(this, "lblTitle", QStringLiteral("Application Title"), layout::twips(2160, 240, 2925, 240),
                       Qt::AlignLeft);
  setTextColor(lblTitle, black());
  lblVersion =
      makeLabel(this, "lblVersion", QStringLiteral("Version"), layout::twips(2160, 480, 2925, 225), Qt::AlignLeft);
  Label2 = makeLabel(this, "Label2",
                     QStringLiteral("I hope this feebback feature will help me to make your program "
                                    "even better ..."),
                     layout::twips(2160, 1200, 3045, 450), Qt::AlignHCenter);
  setTextColor(Label2, black());
  Label3 =
      makeLabel(this, "Label3", QString::fromUtf8(app::kAuthor), layout::twips(120, 1800, 1815, 255), Qt::AlignHCenter);

  buildLinksAndFooter();

  // Only the picture and the two buttons take the focus.
  setTabOrder(cmdOK, picIcon);
  setTabOrder(picIcon, cmdSysInfo);
  cmdOK->setFocus();

  connect(cmdOK, &QPushButton::clicked, this, &frmAboutErr::cmdOK_Click);
  connect(cmdSysInfo, &QPushButton::clicked, this, &frmAboutErr::cmdSysInfo_Click);
}

void frmAboutErr::buildLinksAndFooter() {
  lblemail = makeLink(this, this, "lblemail", QStringLiteral("or email me at:"), 1320, 2280, 1020);
  email = makeLink(this, this, "email", QString::fromUtf8(app::kSupportMail), 2520, 2280, 0);
  lblweb = makeLink(this, this, "lblweb", QStringLiteral("or visit our web site at:"), 720, 2520, 1575);
  web = makeLink(this, this, "web", QString::fromUtf8(app::kWebPage), 2520, 2520, 0);

  lblThanks =
      makeLabel(this, "lblThanks", QStringLiteral("Thank you for choosing %1!").arg(QString::fromUtf8(app::kCompany)),
                layout::twips(720, 3000, 3765, 330), Qt::AlignHCenter);
  setTextColor(lblThanks, layout::bgr(0x0040C0));

  Line1[1] = Line{QPoint(layout::px(90), layout::px(3405)), QPoint(layout::px(5280), layout::px(3405)),
                  layout::bgr(0x808080), 1};
  Line1[0] = Line{QPoint(layout::px(105), layout::px(3420)), QPoint(layout::px(5280), layout::px(3420)),
                  layout::bgr(0xFFFFFF), 2};

  lblDisclaimer[0] = makeLabel(this, "lblDisclaimer",
                               QStringLiteral("Copyright \u00A9 %1 %2")
                                   .arg(QString::fromLatin1(kDisclaimerYear), QString::fromUtf8(app::kCompany)),
                               layout::twips(240, 3720, 3135, 225), Qt::AlignLeft);
  lblDisclaimer[1] = makeLabel(this, "lblDisclaimer", QStringLiteral("All rights reserved."),
                               layout::twips(240, 4080, 2895, 225), Qt::AlignLeft);
  for (QLabel* l : lblDisclaimer) setTextColor(l, black());
  for (QLabel* l : {lblTitle, lblVersion, Label3, lblDisclaimer[0], lblDisclaimer[1]}) l->setWordWrap(false);
}

void frmAboutErr::Form_Load() {
  setWindowTitle(QStringLiteral("About ") + app::title());
  lblVersion->setText(QStringLiteral("Version %1.%2.%3").arg(app::kMajor).arg(app::kMinor).arg(app::kRevision));
  lblTitle->setText(app::title());
  forms::setTag(web, web->text());
  forms::setTag(lblweb, web->text());
  forms::setTag(email, email->text());
  forms::setTag(lblemail, email->text());
  pointer::setMousePointer(pointer::vbDefault);
}

void frmAboutErr::cmdOK_Click() { unloadSelf(); }

void frmAboutErr::cmdSysInfo_Click() { StartSysInfo(); }

void frmAboutErr::StartSysInfo() {
  bool started = false;
  const auto trapped = trapErrors([&] {
    QString SysInfoPath;
    if (GetKeyValue(HKEY_LOCAL_MACHINE, QString::fromLatin1(kRegKeySysInfo), QString::fromLatin1(kRegValSysInfo),
                    SysInfoPath)) {
      // The registered path is started as it is, without a file test.
    } else if (GetKeyValue(HKEY_LOCAL_MACHINE, QString::fromLatin1(kRegKeySysInfoLoc),
                           QString::fromLatin1(kRegValSysInfoLoc), SysInfoPath)) {
      // A folder registered as a drive path takes a backslash, a Linux one a slash.
      const QString program = (paths::isDrivePath(SysInfoPath) ? QStringLiteral("\\") : QStringLiteral("/")) +
                              QString::fromLatin1(kSysInfoProgram);
      if (presentFileName(SysInfoPath + program).isEmpty()) return;
      SysInfoPath += program;
    } else {
      return;
    }
    started = process::startDetached(paths::resolve(SysInfoPath), {});
  });
  if (trapped || !started)
    MsgBox(QStringLiteral("System Information Is Unavailable At This Time"), vbOKOnly, app::title());
}

bool frmAboutErr::GetKeyValue(HKEY KeyRoot, const QString& KeyName, const QString& SubKeyRef, QString& KeyVal) {
  HKEY hKey = 0;
  // The key is closed on every way out, also when an error leaves.
  struct KeyCloser {
    HKEY& key;
    ~KeyCloser() {
      if (key) RegCloseKey(key);
    }
  } closer{hKey};

  if (RegOpenKeyExA(KeyRoot, KeyName.toUtf8().constData(), 0, kKeyAllAccess, &hKey) != ERROR_SUCCESS) {
    KeyVal.clear();
    return false;
  }
  QByteArray tmpVal(kBufferSize, '\0');
  uint32_t KeyValSize = kBufferSize;
  uint32_t KeyValType = REG_NONE;
  if (RegQueryValueExA(hKey, SubKeyRef.toUtf8().constData(), nullptr, &KeyValType,
                       reinterpret_cast<uint8_t*>(tmpVal.data()), &KeyValSize) != ERROR_SUCCESS) {
    KeyVal.clear();
    return false;
  }

  tmpVal.truncate(KeyValSize);
  if (tmpVal.isEmpty()) throw RuntimeError(kErrGeneral, QStringLiteral("Invalid procedure call or argument"));
  if (tmpVal.back() == '\0') tmpVal.chop(1);

  switch (KeyValType) {
    case REG_SZ:
      KeyVal = QString::fromUtf8(tmpVal);
      break;
    case REG_DWORD: {
      QString hex = QStringLiteral("&h");
      for (qsizetype i = tmpVal.size() - 1; i >= 0; --i)
        hex += QStringLiteral("%1").arg(static_cast<uint8_t>(tmpVal.at(i)), 2, 16, QLatin1Char('0')).toUpper();
      KeyVal = hex;
      break;
    }
    default:
      break;
  }
  return true;
}

void frmAboutErr::OpenLink(const QString& text) { process::openLink(text); }

void frmAboutErr::linkHover(QLabel* label) {
  setTextColor(label, layout::bgr(0xFF0000));
  setUnderline(label, true);
  if (!m_dragging.contains(label)) m_dragging.append(label);
}

void frmAboutErr::linkDragOver(QLabel* label, int State) {
  if (State != 1) return;
  m_dragging.removeAll(label);
  setUnderline(label, false);
  setTextColor(label, black());
}

void frmAboutErr::linkDrop(QLabel* label, QWidget* Source, bool mail) {
  if (Source != label) return;
  const QString tag = forms::tag(label);
  OpenLink(mail ? QStringLiteral("mailto:") + tag : tag);
  m_dragging.removeAll(label);
  setUnderline(label, false);
  setTextColor(label, black());
}

void frmAboutErr::email_MouseMove(int, int, float, float) { linkHover(email); }
void frmAboutErr::lblemail_MouseMove(int, int, float, float) { linkHover(lblemail); }
void frmAboutErr::web_MouseMove(int, int, float, float) { linkHover(web); }
void frmAboutErr::lblweb_MouseMove(int, int, float, float) { linkHover(lblweb); }

void frmAboutErr::email_DragOver(QWidget*, float, float, int State) { linkDragOver(email, State); }
void frmAboutErr::lblemail_DragOver(QWidget*, float, float, int State) { linkDragOver(lblemail, State); }
void frmAboutErr::web_DragOver(QWidget*, float, float, int State) { linkDragOver(web, State); }
void frmAboutErr::lblweb_DragOver(QWidget*, float, float, int State) { linkDragOver(lblweb, State); }

void frmAboutErr::email_DragDrop(QWidget* Source, float, float) { linkDrop(email, Source, true); }
void frmAboutErr::lblemail_DragDrop(QWidget* Source, float, float) { linkDrop(lblemail, Source, true); }
void frmAboutErr::web_DragDrop(QWidget* Source, float, float) { linkDrop(web, Source, false); }
void frmAboutErr::lblweb_DragDrop(QWidget* Source, float, float) { linkDrop(lblweb, Source, false); }

// Entering a link label is the mouse move that starts its hover, leaving it
// the leave notification, and releasing the left button over it the drop
// of the label on itself.
bool frmAboutErr::eventFilter(QObject* watched, QEvent* event) {
  QLabel* label = qobject_cast<QLabel*>(watched);
  const bool isLink = label && (label == email || label == lblemail || label == web || label == lblweb);
  if (!isLink) return QDialog::eventFilter(watched, event);

  using MouseMove = void (frmAboutErr::*)(int, int, float, float);
  using DragOver = void (frmAboutErr::*)(QWidget*, float, float, int);
  using DragDrop = void (frmAboutErr::*)(QWidget*, float, float);
  MouseMove onMove = &frmAboutErr::email_MouseMove;
  DragOver onOver = &frmAboutErr::email_DragOver;
  DragDrop onDrop = &frmAboutErr::email_DragDrop;
  if (label == lblemail) {
    onMove = &frmAboutErr::lblemail_MouseMove;
    onOver = &frmAboutErr::lblemail_DragOver;
    onDrop = &frmAboutErr::lblemail_DragDrop;
  } else if (label == web) {
    onMove = &frmAboutErr::web_MouseMove;
    onOver = &frmAboutErr::web_DragOver;
    onDrop = &frmAboutErr::web_DragDrop;
  } else if (label == lblweb) {
    onMove = &frmAboutErr::lblweb_MouseMove;
    onOver = &frmAboutErr::lblweb_DragOver;
    onDrop = &frmAboutErr::lblweb_DragDrop;
  }

  switch (event->type()) {
    case QEvent::Enter: {
      const QPointF p = static_cast<QEnterEvent*>(event)->position();
      (this->*onMove)(0, 0, float(p.x()), float(p.y()));
      break;
    }
    case QEvent::Leave:
      (this->*onOver)(label, 0, 0, 1);
      break;
    case QEvent::MouseButtonRelease: {
      const auto* me = static_cast<QMouseEvent*>(event);
      const QPointF p = me->position();
      if (me->button() == Qt::LeftButton && label->rect().contains(p.toPoint()))
        (this->*onDrop)(label, float(p.x()), float(p.y()));
      break;
    }
    default:
      break;
  }
  return QDialog::eventFilter(watched, event);
}

void frmAboutErr::paintEvent(QPaintEvent* event) {
  QDialog::paintEvent(event);
  QPainter painter(this);
  for (const Line& line : Line1)
    painter.fillRect(QRect(line.from, QPoint(line.to.x(), line.from.y() + line.width - 1)), line.color);
}

void frmAboutErr::reject() { cmdOK->click(); }

void frmAboutErr::closeEvent(QCloseEvent* event) {
  event->accept();
  unloadSelf();
}

void frmAboutErr::unloadSelf() {
  FormRef<frmAboutErr>& ref = frmAboutErrRef();
  if (ref.isLoaded() && ref.get() == this) {
    ref.unload();
    return;
  }
  // A window made outside the program-wide reference is only closed.
  forms::unregisterLoaded(this);
  hide();
}
