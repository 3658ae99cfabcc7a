// The error tracker: log records, the error count and the user's prompts.
#include "errortracking/ulvo_error_tracking.h"

#include <QLabel>
#include <QLocale>

#include "errortracking/ansi_text.h"
#include "errortracking/frm_email_us.h"
#include "errortracking/log_file.h"
#include "errortracking/vb_convert.h"
#include "platform/core/app.h"
#include "platform/core/clock.h"
#include "platform/core/login_name.h"
#include "platform/core/runtime_error.h"
#include "platform/core/settings_store.h"
#include "platform/ui/mouse_pointer.h"
#include "platform/ui/msgbox.h"

namespace {

const QString kCrLf = QStringLiteral("\r\n");

// A message type: the level in the low four bits, then two flags.
constexpr uint8_t kLevelMask = 15;
constexpr uint8_t kPrintFlag = 16;
constexpr uint8_t kBoxFlag = 32;

// The date line of a record: "dd-MMM-yyyy hh:mm:ss", the month named as the
// user's locale abbreviates it.
QString recordDate(const QDateTime& t) {
  const QDate d = t.date();
  const QTime tm = t.time();
  return QStringLiteral("%1-%2-%3 %4:%5:%6")
      .arg(d.day(), 2, 10, QLatin1Char('0'))
      .arg(QLocale().standaloneMonthName(d.month(), QLocale::ShortFormat))
      .arg(d.year(), 4, 10, QLatin1Char('0'))
      .arg(tm.hour(), 2, 10, QLatin1Char('0'))
      .arg(tm.minute(), 2, 10, QLatin1Char('0'))
      .arg(tm.second(), 2, 10, QLatin1Char('0'));
}

QString readCount(const QString& program) {
  QString value;
  settings::GetSetting(program, QLatin1String(kErrLogSection), QLatin1String(kErrCountKey), QStringLiteral("0"), &value)
      .throwIfError();
  return value;
}

void storeCount(const QString& program, const QString& value) {
  settings::SaveSetting(program, QLatin1String(kErrLogSection), QLatin1String(kErrCountKey), value).throwIfError();
}

}  // namespace

QString ulvoErrorTracking::sysUserName() const { return login::loginName(); }

void ulvoErrorTracking::Init(const ulvoInitArgs& a) {
  auto text = [](const std::optional<QVariant>& v, auto fallback) {
    return v ? vbconv::toText(*v) : QString(fallback());
  };
  Program = text(a.sProg, [] { return app::title(); });
  LogFile = text(a.sLogFile, [] { return logfile::defaultLogFile(); });
  System = text(a.sSYS, [this] { return sysUserName(); });
  Version = text(a.sVer, [] { return app::versionText(); });
  User = text(a.sUser, [] { return QStringLiteral("Anonymous"); });
  Append = a.bAppend ? vbconv::toBool(*a.bAppend) : true;
  CreateFile = a.bCreate ? vbconv::toBool(*a.bCreate) : true;
  ShowMsg = a.bMsg ? vbconv::toBool(*a.bMsg) : true;
  ShowDebug = a.bDebug ? vbconv::toBool(*a.bDebug) : true;
  LogLevel = a.iLogLevel ? vbconv::toInt16(*a.iLogLevel) : int16_t{8};

  if (!logfile::isPresent(LogFile)) storeCount(Program, QStringLiteral("0"));
  if (CreateFile && !Append) KillLogFile(LogFile);
}

void ulvoErrorTracking::LogItValues(uint8_t iMsgType, const QVariantList& args) {
  if ((iMsgType & kLevelMask) > LogLevel) return;

  QString message;
  QString errNumber;
  QString errDescription;
  if (CreateFile) {
    const QString head = kCrLf + recordDate(sysclock::now()) + kCrLf + Program + QStringLiteral(" v") + Version +
                         kCrLf + QStringLiteral("System LogIn User: ") + System + kCrLf +
                         QStringLiteral("Program LogIn User: ") + User + kCrLf;
    for (const QVariant& arg : args) {
      const QString t = vbconv::toText(arg);
      message += t + kCrLf;
      if (t.left(6) == QLatin1String("Error#")) errNumber = t;
      if (t.left(8) == QLatin1String("Err.Desc")) errDescription = t;
    }
    logfile::append(LogFile, ansi::encode(head + message + kCrLf)).throwIfError();
  }
  if (iMsgType & kPrintFlag) DbgPrint(message);
  if (iMsgType & kBoxFlag) DbgBox(message);
  ShowErrReport(errNumber, errDescription);
}

void ulvoErrorTracking::DbgBox(const QString& sMsg) const {
  if (!ShowMsg) return;
  MsgBox(sMsg, vbOKOnly, app::title());
}

void ulvoErrorTracking::DbgPrint(const QString&) const {}

QString ulvoErrorTracking::Display() const {
  QByteArray bytes;
  logfile::readAll(LogFile, &bytes).throwIfError();
  return ansi::decode(bytes);
}

bool ulvoErrorTracking::KillLogFile(const QString& path) const {
  if (!logfile::isPresent(path)) return false;
  logfile::remove(path).throwIfError();
  return true;
}

void ulvoErrorTracking::ShowErrReport(const QString& errNumber, const QString& errDescription) const {
  const int16_t stored = vbconv::toInt16(QVariant(readCount(Program)));
  if (stored == INT16_MAX) throw RuntimeError(kErrOverflow, QStringLiteral("Overflow"));
  const QString count = QString::number(stored + 1);
  storeCount(Program, count);

  const QString title = count + QStringLiteral(" error(s) have been recorded ...");
  const QString prompt = errNumber + QStringLiteral(" has occurred !") + vbCr + errDescription + vbCr + vbCr +
                         QStringLiteral(
                             "This Error number and description have been recorded to the "
                             "'ErrStack.log' file") +
                         vbCr + QStringLiteral("for future bug fixing. ") + QStringLiteral("So far you have ") + count +
                         QStringLiteral(" error description in 'ErrStack.log'.") + vbCr + vbCr +
                         QStringLiteral("Would you like to email Error(s) to ") + QString::fromUtf8(app::kCompany) +
                         QStringLiteral(" support group now ???");

  if (MsgBox(prompt, vbInformation + vbYesNo, title) != vbYes) {
    pointer::setMousePointer(pointer::vbDefault);
    return;
  }
  frmEmail_Us* w = frmEmail_Us::form().get();
  frmEmail_Us::setTag(w->lblTo, Program);
  w->lblSubject->setText(QStringLiteral("User Error Feedback: ") + Program + QLatin1Char(' ') + Version);
  w->lblAttachment->setText(LogFile);
  w->showModal();
}

void ulvoErrorTracking::deleteErrLogDll(const QString& Program, const QString& LogFile) const {
  const QString question = QStringLiteral("If you emailed the Error(s) successfully ") +
                           QStringLiteral("then we highly recommend you to delete ") +
                           QStringLiteral("'ErrStack.log' file, in order to avoid an error ") +
                           QStringLiteral("duplication.") + vbCr + vbCr +
                           QStringLiteral("Would you like to delete 'ErrStack.log' file ???");
  if (MsgBox(question, vbQuestion + vbYesNo, app::title()) != vbYes) return;
  if (logfile::isPresent(LogFile)) logfile::remove(LogFile).throwIfError();
  storeCount(Program, QStringLiteral("0"));
}
