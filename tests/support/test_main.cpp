// Test entry point: a sandbox of temporary folders for every path the program
// could touch, an offscreen QApplication and a recorder for message boxes.
#include <cstdlib>

#include <gtest/gtest.h>
#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

#include "support/recording_presenter.h"

int main(int argc, char** argv) {
  // No test ever sees the user's own drive, settings, state, registry or mail.
  QTemporaryDir sandbox(QDir::tempPath() + QStringLiteral("/kestrova-test-XXXXXX"));
  if (!sandbox.isValid()) return 2;
  const QByteArray root = sandbox.path().toLocal8Bit();
  QDir(sandbox.path()).mkpath(QStringLiteral("drive_c/kestrova"));
  QDir(sandbox.path()).mkpath(QStringLiteral("config"));
  QDir(sandbox.path()).mkpath(QStringLiteral("data"));
  QDir(sandbox.path()).mkpath(QStringLiteral("state"));
  setenv("KESTROVA_DRIVE_C", (root + "/drive_c").constData(), 1);
  setenv("XDG_CONFIG_HOME", (root + "/config").constData(), 1);
  setenv("XDG_DATA_HOME", (root + "/data").constData(), 1);
  setenv("XDG_STATE_HOME", (root + "/state").constData(), 1);
  setenv("KESTROVA_REGISTRY", (root + "/registry.reg").constData(), 1);
  setenv("KESTROVA_SENDMAIL", (root + "/no-sendmail").constData(), 1);
  setenv("KESTROVA_SANDBOX", root.constData(), 1);
  if (!getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);

  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  ::testing::InitGoogleTest(&argc, argv);

  // A box that a test did not script never blocks: it is recorded and
  // answered OK (or No on a Yes/No box).
  test::RecordingPresenter fallback;
  setMsgBoxPresenter(&fallback);
  const int rc = RUN_ALL_TESTS();
  setMsgBoxPresenter(nullptr);
  return rc;
}
