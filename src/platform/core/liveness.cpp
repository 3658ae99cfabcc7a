// Work on a thread of its own while the program's thread processes events
// other than user input.
#include "platform/core/liveness.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>

namespace liveness {

namespace {

// Responsive scopes alive; only the application's thread makes them.
int g_responsive = 0;

// How long the program's thread waits for the work between two rounds of
// event processing once its event loop has ended early: well under the
// quarter second in which a window must answer to feel alive, and long
// enough to cost nothing.
constexpr std::chrono::milliseconds kPumpInterval(15);

}  // namespace

Responsive::Responsive() { ++g_responsive; }
Responsive::~Responsive() { --g_responsive; }

void runWork(const std::function<void()>& work) {
  const QCoreApplication* app = QCoreApplication::instance();
  if (g_responsive == 0 || !app || QThread::currentThread() != app->thread()) {
    work();
    return;
  }
  std::mutex mutex;
  std::condition_variable ended;
  bool done = false;
  std::exception_ptr failure;
  // The program's thread sleeps in this loop until an event comes or the
  // work ends: a window is answered the moment the system asks.
  QEventLoop loop;
  std::thread worker([&] {
    try {
      work();
    } catch (...) {
      failure = std::current_exception();
    }
    {
      std::lock_guard<std::mutex> lock(mutex);
      done = true;
      ended.notify_one();
    }
    QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
  });
  loop.exec(QEventLoop::ExcludeUserInputEvents);
  // The loop also ends when the whole program is asked to quit; the work
  // still runs to its end, with events processed meanwhile.
  for (;;) {
    std::unique_lock<std::mutex> lock(mutex);
    if (ended.wait_for(lock, kPumpInterval, [&] { return done; })) break;
    lock.unlock();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  }
  worker.join();
  if (failure) std::rethrow_exception(failure);
}

}  // namespace liveness
