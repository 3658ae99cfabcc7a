// The simple mail layer over the sendmail interface.
#include "platform/core/mail.h"

#include <set>

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QUuid>

#include "platform/core/clock.h"
#include "platform/core/login_name.h"
#include "platform/core/paths.h"

namespace mail {
namespace {

constexpr int kStartTimeoutMs = 10000;
constexpr int kFinishTimeoutMs = 120000;
constexpr int kKilledTimeoutMs = 5000;  // after a kill, for the program to be gone

// Line limits of the message format.
enum FormatLimit : qsizetype {
  // RFC 2045: base64 body lines of at most 76 characters.
  kBase64LineLength = 76,
  // RFC 2047: 42 bytes of UTF-8 are 56 base64 characters, 68 with the
  // "=?UTF-8?B?...?=" frame, so a folded header line stays within 78.
  kEncodedWordBytes = 42,
  // RFC 5322 allows 998 characters a line, less the field name; a longer
  // plain header text is encoded (and so folded) instead.
  kPlainHeaderMax = 900,
};

// Printable US-ASCII, what a header may carry unencoded.
bool isPrintableAscii(QChar c) { return c.unicode() >= 0x20 && c.unicode() <= 0x7E; }

std::set<int32_t>& openSessions() {
  static std::set<int32_t> ids;
  return ids;
}

int32_t nextSessionId() {
  static int32_t next = 0;
  do {
    next = next >= INT32_MAX ? 1 : next + 1;
  } while (openSessions().count(next));
  return next;
}

bool isPlainHeaderText(const QString& text) {
  for (const QChar c : text)
    if (!isPrintableAscii(c)) return false;
  return true;
}

// Base64 in lines of 76 characters.
QByteArray base64Lines(const QByteArray& bytes) {
  const QByteArray all = bytes.toBase64();
  QByteArray out;
  out.reserve(all.size() + all.size() / kBase64LineLength + 2);
  for (qsizetype i = 0; i < all.size(); i += kBase64LineLength) {
    out += all.mid(i, kBase64LineLength);
    out += '\n';
  }
  return out;
}

// RFC 2047 encoded words of at most 42 bytes of UTF-8 each, so that no
// header line passes 78 characters; whole characters stay in one word.
QByteArray encodedWords(const QString& text) {
  QList<QByteArray> words;
  QByteArray chunk;
  for (const char32_t cp : text.toUcs4()) {
    const QByteArray bytes = QString::fromUcs4(&cp, 1).toUtf8();
    if (chunk.size() + bytes.size() > kEncodedWordBytes) {
      words.append(chunk);
      chunk.clear();
    }
    chunk += bytes;
  }
  if (!chunk.isEmpty() || words.isEmpty()) words.append(chunk);
  QByteArray out;
  for (const QByteArray& w : words) {
    if (!out.isEmpty()) out += "\n ";
    out += "=?UTF-8?B?" + w.toBase64() + "?=";
  }
  return out;
}

QByteArray headerText(const QString& text) {
  if (isPlainHeaderText(text) && text.size() <= kPlainHeaderMax) return text.toLatin1();
  return encodedWords(text);
}

// A file-name parameter: quoted when plain, RFC 2231 otherwise.
QByteArray nameParameter(const char* name, const QString& value) {
  if (isPlainHeaderText(value) && !value.contains(QLatin1Char('"')) && !value.contains(QLatin1Char('\\')))
    return QByteArray(name) + "=\"" + value.toLatin1() + '"';
  return QByteArray(name) + "*=UTF-8''" + value.toUtf8().toPercentEncoding();
}

}  // namespace

QString sendmailPath() {
  const QString fromEnv = qEnvironmentVariable("KESTROVA_SENDMAIL");
  return fromEnv.isEmpty() ? QStringLiteral("/usr/sbin/sendmail") : fromEnv;
}

Session::~Session() { signOff(); }

Status Session::signOn() {
  const QFileInfo program(sendmailPath());
  if (!program.isFile() || !program.isExecutable())
    return Status::Error(kErrNoMailSystem, QStringLiteral("No mail system is available."));
  signOff();
  m_id = nextSessionId();
  openSessions().insert(m_id);
  return Status::Ok();
}

void Session::signOff() {
  if (m_id == 0) return;
  openSessions().erase(m_id);
  m_id = 0;
}

Status Message::compose() {
  if (m_sessionId <= 0 || !openSessions().count(m_sessionId))
    return Status::Error(kErrNotSignedOn, QStringLiteral("The mail session is not open."));
  m_composed = true;
  m_recipient.clear();
  m_subject.clear();
  m_note.clear();
  m_attachment.clear();
  return Status::Ok();
}

Status Message::requireComposed() const {
  if (!m_composed) return Status::Error(kErrNoMessage, QStringLiteral("No message is being composed."));
  return Status::Ok();
}

Status Message::setRecipAddress(const QString& address) {
  if (Status s = requireComposed(); !s.ok()) return s;
  m_recipient = address;
  return Status::Ok();
}

Status Message::setSubject(const QString& subject) {
  if (Status s = requireComposed(); !s.ok()) return s;
  m_subject = subject;
  return Status::Ok();
}

Status Message::setNoteText(const QString& text) {
  if (Status s = requireComposed(); !s.ok()) return s;
  m_note = text;
  return Status::Ok();
}

Status Message::setAttachmentPathName(const QString& path) {
  if (Status s = requireComposed(); !s.ok()) return s;
  m_attachment = path;
  return Status::Ok();
}

Status Message::send() {
  if (Status s = requireComposed(); !s.ok()) return s;
  if (m_sessionId <= 0 || !openSessions().count(m_sessionId))
    return Status::Error(kErrNotSignedOn, QStringLiteral("The mail session is not open."));
  const QString to = m_recipient.trimmed();
  if (to.isEmpty()) return Status::Error(kErrBadRecipient, QStringLiteral("The message has no recipient."));
  if (to.contains(QLatin1Char('\r')) || to.contains(QLatin1Char('\n')))
    return Status::Error(kErrBadRecipient, QStringLiteral("The recipient address \"%1\" is not valid.").arg(to));

  QByteArray attachment;
  QString attachmentName;
  const bool withAttachment = !m_attachment.isEmpty();
  if (withAttachment) {
    const QString path = paths::resolve(m_attachment);
    const QFileInfo info(path);
    if (!info.isFile())
      return Status::Error(kErrAttachment, QStringLiteral("The attachment %1 could not be found.").arg(m_attachment));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
      return Status::Error(
          kErrAttachment,
          QStringLiteral("The attachment %1 could not be read: %2").arg(m_attachment, file.errorString()));
    attachment = file.readAll();
    attachmentName = info.fileName();
  }

  const QByteArray text =
      buildMessage(login::loginName(), to, m_subject, m_note, attachmentName, attachment, withAttachment);

  const QString program = sendmailPath();
  QProcess p;
  p.start(program, {QStringLiteral("-t"), QStringLiteral("-oi")});
  if (!p.waitForStarted(kStartTimeoutMs))
    return Status::Error(kErrSendFailed,
                         QStringLiteral("The mail program %1 could not be started: %2").arg(program, p.errorString()));
  p.write(text);
  p.closeWriteChannel();
  if (!p.waitForFinished(kFinishTimeoutMs)) {
    p.kill();
    p.waitForFinished(kKilledTimeoutMs);
    return Status::Error(kErrSendFailed, QStringLiteral("The mail program %1 did not finish.").arg(program));
  }
  const QString errorOutput = QString::fromLocal8Bit(p.readAllStandardError()).trimmed();
  if (p.exitStatus() != QProcess::NormalExit)
    return Status::Error(kErrSendFailed, errorOutput.isEmpty() ? QStringLiteral("The mail program %1 stopped "
                                                                                "unexpectedly.")
                                                                     .arg(program)
                                                               : errorOutput);
  if (p.exitCode() != 0)
    return Status::Error(kErrSendFailed, errorOutput.isEmpty() ? QStringLiteral("The mail program %1 failed with "
                                                                                "exit status %2.")
                                                                     .arg(program)
                                                                     .arg(p.exitCode())
                                                               : errorOutput);
  return Status::Ok();
}

QByteArray buildMessage(const QString& from, const QString& to, const QString& subject, const QString& note,
                        const QString& attachmentName, const QByteArray& attachment, bool withAttachment) {
  const QByteArray boundary = "=_kestrova_" + QUuid::createUuid().toByteArray(QUuid::Id128);
  QByteArray m;
  // A login name that is not a plain word is left out; sendmail then puts
  // in the sender it knows.
  if (!from.isEmpty() && isPlainHeaderText(from) && !from.contains(QLatin1Char(' ')))
    m += "From: " + from.toLatin1() + '\n';
  m += "To: " + to.toUtf8() + '\n';
  m += "Subject: " + headerText(subject) + '\n';
  m += "Date: " + sysclock::now().toString(Qt::RFC2822Date).toLatin1() + '\n';
  m += "MIME-Version: 1.0\n";
  m += "Content-Type: multipart/mixed;\n boundary=\"" + boundary + "\"\n";
  m += '\n';
  m += "This is a multi-part message in MIME format.\n";
  m += "--" + boundary + '\n';
  m += "Content-Type: text/plain; charset=UTF-8\n";
  m += "Content-Transfer-Encoding: base64\n";
  m += '\n';
  m += base64Lines(note.toUtf8());
  if (withAttachment) {
    m += "--" + boundary + '\n';
    m += "Content-Type: application/octet-stream;\n " + nameParameter("name", attachmentName) + '\n';
    m += "Content-Transfer-Encoding: base64\n";
    m += "Content-Disposition: attachment;\n " + nameParameter("filename", attachmentName) + '\n';
    m += '\n';
    m += base64Lines(attachment);
  }
  m += "--" + boundary + "--\n";
  return m;
}

}  // namespace mail
