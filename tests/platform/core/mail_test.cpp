// The simple mail layer against a real (fake) sendmail script, its messages
// read back with a real MIME parser.
#include <gtest/gtest.h>
#include <QFile>

#include "platform/core/login_name.h"
#include "platform/core/mail.h"
#include "platform/core/runtime_error.h"
#include "support/fake_sendmail.h"
#include "support/sandbox.h"
#include "support/test_helpers.h"

namespace {

// A composed message in an open session.
struct Composed {
  mail::Session session;
  mail::Message message;
  Composed() {
    session.signOn();
    message.setSessionId(session.sessionId());
    message.compose();
    message.setRecipAddress(QStringLiteral("support@kestrova.example"));
  }
};

class Mail : public ::testing::Test {
 protected:
  void SetUp() override {
    login::setLoginNameSource([] { return QStringLiteral("jsmith"); });
  }
  void TearDown() override { login::setLoginNameSource({}); }
  test::TempDir dir;
};

TEST_F(Mail, SignOnNeedsAnExecutableMailProgram) {
  std::optional<test::EnvScope> sendmail;
  sendmail.emplace("KESTROVA_SENDMAIL", dir.file("absent"));
  mail::Session s;
  RuntimeError e = test::raised([&] { return s.signOn(); });
  EXPECT_EQ(e.description(), QStringLiteral("No mail system is available."));
  EXPECT_EQ(s.sessionId(), 0);

  ASSERT_TRUE(test::writeFile(dir.file("plain"), "#!/bin/sh\nexit 0\n"));
  sendmail.emplace("KESTROVA_SENDMAIL", dir.file("plain"));
  e = test::raised([&] { return s.signOn(); });
  EXPECT_EQ(e.description(), QStringLiteral("No mail system is available."));

  sendmail.emplace("KESTROVA_SENDMAIL", dir.path());
  e = test::raised([&] { return s.signOn(); });
  EXPECT_EQ(e.description(), QStringLiteral("No mail system is available."));
}

TEST_F(Mail, SessionsHaveTheirOwnPositiveIdsAndEndOnSignOff) {
  test::FakeSendmail sendmail;
  mail::Session a, b;
  a.signOn();
  b.signOn();
  EXPECT_GT(a.sessionId(), 0);
  EXPECT_GT(b.sessionId(), 0);
  EXPECT_NE(a.sessionId(), b.sessionId());
  const int32_t id = a.sessionId();
  a.signOff();
  EXPECT_EQ(a.sessionId(), 0);
  mail::Message m;
  m.setSessionId(id);
  EXPECT_EQ(test::raised([&] { return m.compose(); }).number(), mail::kErrNotSignedOn);
  EXPECT_EQ(test::raised([&] { return m.setSubject("x"); }).number(), mail::kErrNoMessage);
}

TEST_F(Mail, SendHandsOneMimeMessageToSendmail) {
  test::FakeSendmail sendmail;
  QByteArray log("\r\n12-Dec-2006 14:05:09\r\nInventory v2.1.7\r\n\xE9\x80\x00\xFF", 44);
  ASSERT_TRUE(test::writeFile(dir.file("ErrStack.log"), log));
  const QString note = QStringLiteral("Look here\r\n\r\n\r\nSecond line\r\n");
  Composed c;
  c.message.setSubject(QStringLiteral("User Error Feedback: Inventory 2.1.7"));
  c.message.setNoteText(note);
  c.message.setAttachmentPathName(dir.file("ErrStack.log"));
  c.message.send();

  EXPECT_EQ(sendmail.args(), (QStringList{"-t", "-oi"}));
  const test::ParsedMail m = test::parseMail(sendmail.message());
  ASSERT_TRUE(m.ok) << m.error.toStdString();
  EXPECT_EQ(m.from, QStringLiteral("jsmith"));
  EXPECT_EQ(m.to, QStringLiteral("support@kestrova.example"));
  EXPECT_EQ(m.subject, QStringLiteral("User Error Feedback: Inventory 2.1.7"));
  EXPECT_EQ(m.contentType, QStringLiteral("multipart/mixed"));
  EXPECT_EQ(m.bodyCharset.toLower(), QStringLiteral("utf-8"));
  EXPECT_EQ(m.bodyBytes, note.toUtf8());
  ASSERT_EQ(m.attachments.size(), 1);
  EXPECT_EQ(m.attachments[0].fileName, QStringLiteral("ErrStack.log"));
  EXPECT_EQ(m.attachments[0].bytes, log);
}

TEST_F(Mail, NonAsciiSubjectBodyAndFileNameSurviveTheTrip) {
  test::FakeSendmail sendmail;
  const QString name = QStringLiteral("Größe und Fehler 記録.log");
  ASSERT_TRUE(test::writeFile(dir.file(name), "data"));
  const QString subject = QStringLiteral("Fehlerbericht: Größe – 日本語のテキスト – ") + QString(60, QChar(0x00E9));
  const QString note = QStringLiteral("Grüße, Ελληνικά, ١٢٣\r\n");
  Composed c;
  c.message.setSubject(subject);
  c.message.setNoteText(note);
  c.message.setAttachmentPathName(dir.file(name));
  c.message.send();

  const QByteArray raw = sendmail.message();
  // The encoded subject is folded into short lines; no line passes the limit.
  bool inSubject = false;
  for (const QByteArray& line : raw.split('\n')) {
    inSubject = line.startsWith("Subject:") || (inSubject && line.startsWith(' '));
    if (inSubject) {
      EXPECT_LE(line.size(), 78) << line.constData();
    }
    EXPECT_LE(line.size(), 998);
  }
  const test::ParsedMail m = test::parseMail(raw);
  ASSERT_TRUE(m.ok) << m.error.toStdString();
  EXPECT_EQ(m.subject, subject);
  EXPECT_EQ(QString::fromUtf8(m.bodyBytes), note);
  ASSERT_EQ(m.attachments.size(), 1);
  EXPECT_EQ(m.attachments[0].fileName, name);
}

TEST_F(Mail, LineBreaksInTheSubjectCannotAddHeaders) {
  test::FakeSendmail sendmail;
  Composed c;
  c.message.setSubject(QStringLiteral("hi\r\nBcc: victim@example.com"));
  c.message.send();
  for (const QByteArray& line : sendmail.message().split('\n'))
    EXPECT_FALSE(line.startsWith("Bcc:")) << line.constData();
}

TEST_F(Mail, RefusalsBeforeTheMailProgramRuns) {
  test::FakeSendmail sendmail;
  {
    Composed c;
    c.message.setAttachmentPathName(dir.file("missing.log"));
    const RuntimeError e = test::raised([&] { return c.message.send(); });
    EXPECT_EQ(e.number(), mail::kErrAttachment);
    EXPECT_TRUE(e.description().contains("missing.log"));
  }
  {
    Composed c;
    c.message.setRecipAddress(QStringLiteral("a@example.com\nBcc: b@example.com"));
    EXPECT_EQ(test::raised([&] { return c.message.send(); }).number(), mail::kErrBadRecipient);
  }
  {
    Composed c;
    c.message.setRecipAddress(QStringLiteral("  "));
    EXPECT_EQ(test::raised([&] { return c.message.send(); }).number(), mail::kErrBadRecipient);
  }
  EXPECT_FALSE(sendmail.ran());
}

TEST_F(Mail, AFailingMailProgramIsAFailureWithItsErrorOutput) {
  test::FakeSendmail sendmail;
  sendmail.failWith(75, QStringLiteral("sendmail: queue directory is not writable"));
  Composed c;
  RuntimeError e = test::raised([&] { return c.message.send(); });
  EXPECT_EQ(e.number(), mail::kErrSendFailed);
  EXPECT_EQ(e.description(), QStringLiteral("sendmail: queue directory is not writable"));

  sendmail.failWith(1, QString());
  e = test::raised([&] { return c.message.send(); });
  EXPECT_TRUE(e.description().contains("exit status 1")) << e.description().toStdString();
}

TEST_F(Mail, AMailProgramThatVanishedAfterSignOnCannotBeStarted) {
  test::FakeSendmail sendmail;
  Composed c;
  ASSERT_TRUE(QFile::remove(sendmail.scriptPath()));
  const RuntimeError e = test::raised([&] { return c.message.send(); });
  EXPECT_EQ(e.number(), mail::kErrSendFailed);
  EXPECT_TRUE(e.description().contains("could not be started")) << e.description().toStdString();
}

}  // namespace
