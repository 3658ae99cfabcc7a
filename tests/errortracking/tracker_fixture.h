// Common ground of the error-tracking tests: a fresh settings folder, a log
// folder, a fixed clock and locale, a fixed login name and recorded boxes.
#pragma once

#include <cstdlib>
#include <optional>

#include <gtest/gtest.h>
#include <QDateTime>
#include <QFile>
#include <QLocale>

#include "errortracking/ulvo_error_tracking.h"
#include "platform/core/clock.h"
#include "platform/core/login_name.h"
#include "platform/core/runtime_error.h"
#include "platform/core/settings_store.h"
#include "support/recording_presenter.h"
#include "support/sandbox.h"
#include "support/test_helpers.h"

namespace test {

class TrackerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_config.emplace("XDG_CONFIG_HOME", config.path());
    m_locale.emplace("en_US");
    sysclock::setClock([] { return QDateTime(QDate(2006, 12, 12), QTime(14, 5, 9)); });
    login::setLoginNameSource([] { return QStringLiteral("jsmith"); });
  }
  void TearDown() override {
    login::setLoginNameSource({});
    sysclock::setClock({});
    m_locale.reset();
    m_config.reset();
  }

  // The stored error count of `program`; "<absent>" when there is none.
  static QString count(const QString& program) {
    QString v;
    settings::GetSetting(program, "ErrLog", "HowMany_Errs", "<absent>", &v);
    return v;
  }
  static void setCount(const QString& program, const QString& value) {
    ASSERT_TRUE(settings::SaveSetting(program, "ErrLog", "HowMany_Errs", value).ok());
  }

  // A tracker for "Inventory" 2.1.7 logging into logDir.
  void initInventory(ulvoErrorTracking& t, ulvoInitArgs args = {}) {
    if (!args.sProg) args.sProg = QStringLiteral("Inventory");
    if (!args.sLogFile) args.sLogFile = logPath();
    if (!args.sVer) args.sVer = QStringLiteral("2.1.7");
    t.Init(args);
  }
  QString logPath() const { return logDir.file(QStringLiteral("ErrStack.log")); }

  TempDir config;
  TempDir logDir;
  RecordingPresenter rec{true};

 private:
  std::optional<EnvScope> m_config;
  std::optional<LocaleScope> m_locale;
};

}  // namespace test
