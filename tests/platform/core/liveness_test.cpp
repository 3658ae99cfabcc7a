// Work done beside a live window: events other than user input are
// processed while it runs, user input waits until it has ended.
#include <atomic>
#include <chrono>
#include <thread>

#include <gtest/gtest.h>
#include <qpa/qwindowsysteminterface.h>
#include <QApplication>
#include <QKeyEvent>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include "platform/core/liveness.h"

namespace {

// Counts the key presses that reach a widget.
class KeyCounter : public QWidget {
 public:
  int presses = 0;

 protected:
  void keyPressEvent(QKeyEvent*) override { ++presses; }
};

// Work that waits until the program's thread has run a timer, or gives up
// after two seconds: true when the timer ran while the work was under way.
bool waitForTimer(const std::atomic<bool>& fired) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  while (!fired && std::chrono::steady_clock::now() < until) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return fired;
}

TEST(Liveness, TimersRunDuringTheWorkAndUserInputWaitsForItsEnd) {
  KeyCounter window;
  window.setFocusPolicy(Qt::StrongFocus);
  window.show();
  QApplication::setActiveWindow(&window);
  window.setFocus();
  ASSERT_TRUE(window.windowHandle());
  QWindowSystemInterface::handleKeyEvent<QWindowSystemInterface::AsynchronousDelivery>(
      window.windowHandle(), QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));

  std::atomic<bool> fired{false};
  QTimer::singleShot(0, [&] { fired = true; });
  int pressesDuringWork = -1;
  bool firedDuringWork = false;
  {
    liveness::Responsive responsive;
    firedDuringWork = liveness::run([&] {
      const bool seen = waitForTimer(fired);
      return seen;
    });
    pressesDuringWork = window.presses;
  }
  EXPECT_TRUE(firedDuringWork);
  EXPECT_EQ(pressesDuringWork, 0);
  // The key was kept, not lost: it arrives once the work has ended.
  QWindowSystemInterface::flushWindowSystemEvents();
  EXPECT_EQ(window.presses, 1);
}

TEST(Liveness, AQuitAskedDuringTheWorkNeitherCutsItShortNorStopsTheEvents) {
  std::atomic<bool> quitAsked{false}, laterTimer{false};
  QTimer::singleShot(0, [&] {
    QCoreApplication::exit(0);
    quitAsked = true;
    QTimer::singleShot(0, [&] { laterTimer = true; });
  });
  liveness::Responsive responsive;
  EXPECT_TRUE(liveness::run([&] { return waitForTimer(quitAsked) && waitForTimer(laterTimer); }));
  // Let the application's own loop take the quit, so later tests start clean.
  QTimer::singleShot(0, &QCoreApplication::quit);
  QCoreApplication::exec();
}

TEST(Liveness, WithoutAResponsiveScopeTheWorkRunsInlineAndErrorsReachTheCaller) {
  std::atomic<bool> fired{false};
  QTimer::singleShot(0, [&] { fired = true; });
  const std::thread::id caller = std::this_thread::get_id();
  EXPECT_EQ(liveness::run([&] { return std::this_thread::get_id(); }), caller);
  EXPECT_FALSE(fired);

  liveness::Responsive responsive;
  EXPECT_NE(liveness::run([&] { return std::this_thread::get_id(); }), caller);
  EXPECT_THROW(liveness::run([]() -> int { throw std::runtime_error("step failed"); }), std::runtime_error);
}

}  // namespace
