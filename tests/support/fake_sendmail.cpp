// A fake sendmail script and a MIME parser run as child processes.
#include "support/fake_sendmail.h"

#include <cstdlib>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

namespace test {

FakeSendmail::FakeSendmail() {
  writeScript(0, QString());
  m_sendmail.emplace("KESTROVA_SENDMAIL", scriptPath());
}

FakeSendmail::~FakeSendmail() = default;

void FakeSendmail::failWith(int exitStatus, const QString& errorText) { writeScript(exitStatus, errorText); }

void FakeSendmail::writeScript(int exitStatus, const QString& errorText) {
  QByteArray s = "#!/bin/sh\n";
  s += "dir='" + QFile::encodeName(m_dir.path()) + "'\n";
  s += "printf '%s\\n' \"$@\" > \"$dir/args\"\n";
  s += "cat > \"$dir/message\"\n";
  if (!errorText.isEmpty()) {
    QByteArray quoted = errorText.toUtf8();
    quoted.replace('\'', "'\\''");
    s += "printf '%s\\n' '" + quoted + "' >&2\n";
  }
  s += "exit " + QByteArray::number(exitStatus) + "\n";
  QFile f(scriptPath());
  f.open(QIODevice::WriteOnly | QIODevice::Truncate);
  f.write(s);
  f.close();
  f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

QStringList FakeSendmail::args() const {
  QStringList out =
      QString::fromUtf8(readFile(m_dir.file(QStringLiteral("args")))).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
  return out;
}

QByteArray FakeSendmail::message() const { return readFile(m_dir.file(QStringLiteral("message"))); }

bool FakeSendmail::ran() const { return QFile::exists(m_dir.file(QStringLiteral("message"))); }

ParsedMail parseMail(const QByteArray& message) {
  static const char* kScript = R"PY(
import sys, json, base64, email
from email import policy
msg = email.message_from_bytes(sys.stdin.buffer.read(), policy=policy.default)
out = {"from": str(msg.get("From", "")), "to": str(msg.get("To", "")),
       "subject": str(msg.get("Subject", "")), "contentType": msg.get_content_type(),
       "body": "", "charset": "", "attachments": []}
for part in msg.walk():
    if part.is_multipart():
        continue
    data = part.get_payload(decode=True) or b""
    if part.get_filename() is not None:
        out["attachments"].append({"name": part.get_filename(),
                                   "data": base64.b64encode(data).decode()})
    elif part.get_content_type() == "text/plain":
        out["body"] = base64.b64encode(data).decode()
        out["charset"] = part.get_content_charset() or ""
print(json.dumps(out))
)PY";
  ParsedMail r;
  QProcess p;
  p.start(QStringLiteral("python3"), {QStringLiteral("-c"), QString::fromUtf8(kScript)});
  if (!p.waitForStarted()) {
    r.error = QStringLiteral("python3 could not be started");
    return r;
  }
  p.write(message);
  p.closeWriteChannel();
  p.waitForFinished(30000);
  if (p.exitCode() != 0) {
    r.error = QString::fromUtf8(p.readAllStandardError());
    return r;
  }
  const QJsonObject o = QJsonDocument::fromJson(p.readAllStandardOutput()).object();
  r.ok = !o.isEmpty();
  r.from = o.value(QStringLiteral("from")).toString();
  r.to = o.value(QStringLiteral("to")).toString();
  r.subject = o.value(QStringLiteral("subject")).toString();
  r.contentType = o.value(QStringLiteral("contentType")).toString();
  r.bodyBytes = QByteArray::fromBase64(o.value(QStringLiteral("body")).toString().toLatin1());
  r.bodyCharset = o.value(QStringLiteral("charset")).toString();
  for (const QJsonValue& a : o.value(QStringLiteral("attachments")).toArray()) {
    const QJsonObject ao = a.toObject();
    r.attachments.append({ao.value(QStringLiteral("name")).toString(),
                          QByteArray::fromBase64(ao.value(QStringLiteral("data")).toString().toLatin1())});
  }
  return r;
}

}  // namespace test
