// The simple mail layer: a session and a message over the system's sendmail
// program ($KESTROVA_SENDMAIL, else /usr/sbin/sendmail, run as "-t -oi").
// Every failure is a Status with one of the numbers below and a description.
#pragma once

#include <cstdint>

#include <QString>

#include "platform/core/status.h"

namespace mail {

// Error numbers of the mail layer.
inline constexpr int32_t kErrNoMailSystem = 32050;
inline constexpr int32_t kErrNotSignedOn = 32051;
inline constexpr int32_t kErrNoMessage = 32052;
inline constexpr int32_t kErrBadRecipient = 32053;
inline constexpr int32_t kErrAttachment = 32054;
inline constexpr int32_t kErrSendFailed = 32055;

// The mail program in use: $KESTROVA_SENDMAIL, else /usr/sbin/sendmail.
QString sendmailPath();

// A mail session.
class Session {
 public:
  ~Session();

  // Opens a session: Ok, or kErrNoMailSystem "No mail system is available."
  // when the mail program is missing or not executable.
  Status signOn();

  // The open session's identifier, a positive number; 0 when none is open.
  int32_t sessionId() const { return m_id; }

  // Closes the session; no effect when none is open.
  void signOff();

 private:
  int32_t m_id = 0;
};

// One outgoing message, composed and sent within an open session.
class Message {
 public:
  // Works in the session named `id` from now on.
  void setSessionId(int32_t id) { m_sessionId = id; }

  // Starts a new, empty message: Ok, or kErrNotSignedOn when the session
  // is not open.
  Status compose();

  // The one recipient, the subject, the body and the file to attach (an
  // empty path attaches nothing). Ok, or kErrNoMessage when no message is
  // composed.
  Status setRecipAddress(const QString& address);
  Status setSubject(const QString& subject);
  Status setNoteText(const QString& text);
  Status setAttachmentPathName(const QString& path);

  // Hands the message to the mail program and waits for it to finish.
  // Ok, or fails on a missing recipient, a missing attachment file, a program that
  // cannot be started or that ends with a non-zero status (the description
  // is its error output when it gave one). The message stays composed.
  Status send();

 private:
  Status requireComposed() const;

  int32_t m_sessionId = 0;
  bool m_composed = false;
  QString m_recipient;
  QString m_subject;
  QString m_note;
  QString m_attachment;
};

// Builds the RFC 5322 text of a message (LF line ends, as sendmail reads
// them) with the attachment's bytes under its file name. Never fails.
QByteArray buildMessage(const QString& from, const QString& to, const QString& subject, const QString& note,
                        const QString& attachmentName, const QByteArray& attachment, bool withAttachment);

}  // namespace mail
