// A fake sendmail for tests: a real shell script in a temporary folder that
// stores its arguments and the message it reads, and ends as told. Also a
// real MIME parser (python3's email package) to read what it stored.
#pragma once

#include <optional>

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include "support/sandbox.h"
#include "support/test_helpers.h"

namespace test {

class FakeSendmail {
 public:
  // Writes the script (exit status 0) and points KESTROVA_SENDMAIL at it;
  // the destructor restores the variable.
  FakeSendmail();
  ~FakeSendmail();

  // From now on the script prints `errorText` on its error output and ends
  // with `exitStatus`.
  void failWith(int exitStatus, const QString& errorText);

  QString scriptPath() const { return m_dir.file(QStringLiteral("sendmail")); }
  // The arguments of the last run, one per item; empty when it never ran.
  QStringList args() const;
  // The message of the last run, as read from standard input.
  QByteArray message() const;
  bool ran() const;

 private:
  void writeScript(int exitStatus, const QString& errorText);

  TempDir m_dir;
  std::optional<EnvScope> m_sendmail;
};

struct ParsedAttachment {
  QString fileName;
  QByteArray bytes;
};

struct ParsedMail {
  bool ok = false;  // python3 parsed it
  QString error;    // what went wrong otherwise
  QString from, to, subject, contentType;
  QByteArray bodyBytes;  // the decoded text/plain part
  QString bodyCharset;
  QList<ParsedAttachment> attachments;
};

// Parses an RFC 5322 message with python3's email package, run as a child.
ParsedMail parseMail(const QByteArray& message);

}  // namespace test
