// The login name: the system's answer, and the seam tests replace it with.
#include <gtest/gtest.h>
#include <QProcess>

#include "platform/core/login_name.h"
#include "support/test_helpers.h"

namespace {

TEST(LoginName, IsTheEffectiveUsersName) {
  QProcess id;
  id.start(QStringLiteral("id"), {QStringLiteral("-un")});
  ASSERT_TRUE(id.waitForFinished());
  const QString expected = QString::fromLocal8Bit(id.readAllStandardOutput()).trimmed();
  EXPECT_EQ(login::loginName(), expected);
}

TEST(LoginName, TheSeamReplacesAndRestores) {
  const QString real = login::loginName();
  {
    test::SeamScope none(login::setLoginNameSource, [] { return QString(); });
    EXPECT_EQ(login::loginName(), QString());
    login::setLoginNameSource([] { return QStringLiteral("jsmith"); });
    EXPECT_EQ(login::loginName(), QStringLiteral("jsmith"));
  }
  EXPECT_EQ(login::loginName(), real);
}

}  // namespace
