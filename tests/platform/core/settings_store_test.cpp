// The per-user settings store: defaults, round trips, separation by
// application and section, and writes that cannot be stored.
#include <cerrno>
#include <cstdlib>

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QProcess>

#include "platform/core/settings_store.h"
#include "support/sandbox.h"
#include "support/test_helpers.h"

namespace {

// Points XDG_CONFIG_HOME at a fresh folder for one test.
class ConfigHome {
 public:
  QString path() const { return m_dir.path(); }

 private:
  test::TempDir m_dir;
  test::EnvScope m_config{"XDG_CONFIG_HOME", m_dir.path()};
};

QString get(const QString& app, const QString& section, const QString& key, const QString& def, Status* st = nullptr) {
  QString v = QStringLiteral("untouched");
  const Status s = settings::GetSetting(app, section, key, def, &v);
  if (st) *st = s;
  return v;
}

TEST(SettingsStore, MissingFileAndMissingKeyReadAsTheDefault) {
  ConfigHome home;
  Status st;
  EXPECT_EQ(get("Inventory", "ErrLog", "HowMany_Errs", "0", &st), QStringLiteral("0"));
  EXPECT_TRUE(st.ok());
  ASSERT_TRUE(settings::SaveSetting("Inventory", "ErrLog", "Other", "x").ok());
  EXPECT_EQ(get("Inventory", "ErrLog", "HowMany_Errs", "7"), QStringLiteral("7"));
}

TEST(SettingsStore, ValuesLandInTheUsersIniFileAndSurviveANewReader) {
  ConfigHome home;
  ASSERT_TRUE(settings::SaveSetting("Purge Database", "ErrLog", "HowMany_Errs", "12").ok());
  EXPECT_EQ(settings::storePath(), home.path() + "/kestrova/settings.ini");
  ASSERT_TRUE(QFile::exists(home.path() + "/kestrova/settings.ini"));
  EXPECT_EQ(get("Purge Database", "ErrLog", "HowMany_Errs", "0"), QStringLiteral("12"));

  // Another process sees the same value through the plain INI text.
  const QByteArray ini = test::readFile(settings::storePath());
  EXPECT_TRUE(ini.contains("HowMany_Errs=12")) << ini.constData();
}

TEST(SettingsStore, ApplicationsAndSectionsAreKeptApart) {
  ConfigHome home;
  ASSERT_TRUE(settings::SaveSetting("One", "ErrLog", "HowMany_Errs", "1").ok());
  ASSERT_TRUE(settings::SaveSetting("Two", "ErrLog", "HowMany_Errs", "2").ok());
  ASSERT_TRUE(settings::SaveSetting("One", "Other", "HowMany_Errs", "3").ok());
  EXPECT_EQ(get("One", "ErrLog", "HowMany_Errs", "0"), QStringLiteral("1"));
  EXPECT_EQ(get("Two", "ErrLog", "HowMany_Errs", "0"), QStringLiteral("2"));
  EXPECT_EQ(get("One", "Other", "HowMany_Errs", "0"), QStringLiteral("3"));
  ASSERT_TRUE(settings::SaveSetting("One", "ErrLog", "HowMany_Errs", "").ok());
  EXPECT_EQ(get("One", "ErrLog", "HowMany_Errs", "0"), QString());
}

TEST(SettingsStore, AWriteThatCannotBeStoredIsAFailure) {
  ConfigHome home;
  // A file stands where the folder of the store should be.
  ASSERT_TRUE(test::writeFile(home.path() + "/kestrova", "not a folder"));
  const Status st = settings::SaveSetting("Inventory", "ErrLog", "HowMany_Errs", "1");
  EXPECT_FALSE(st.ok());
  EXPECT_FALSE(st.description().isEmpty());
}

TEST(SettingsStore, AFolderInPlaceOfTheFileFailsBothWays) {
  ConfigHome home;
  ASSERT_TRUE(QDir().mkpath(home.path() + "/kestrova/settings.ini"));
  Status st;
  EXPECT_EQ(get("Inventory", "ErrLog", "HowMany_Errs", "0", &st), QStringLiteral("untouched"));
  EXPECT_EQ(st.number(), EISDIR);
  EXPECT_EQ(settings::SaveSetting("Inventory", "ErrLog", "HowMany_Errs", "1").number(), EISDIR);
}

}  // namespace
