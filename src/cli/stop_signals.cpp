// Stop signals for the command line's purge.
#include "cli/stop_signals.h"

#include <pthread.h>

#include <csignal>
#include <initializer_list>

namespace cli {
namespace {

volatile std::sig_atomic_t g_signal = 0;

void note(int signal) {
  if (g_signal == 0) g_signal = signal;
}

}  // namespace

void watchStopSignals() {
  struct sigaction action = {};
  action.sa_handler = note;
  sigemptyset(&action.sa_mask);
  // Restarted system calls: a copy or a statement under way finishes; a
  // second signal meets the default action and ends the program.
  action.sa_flags = SA_RESTART | SA_RESETHAND;
  sigset_t watched;
  sigemptyset(&watched);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    // A signal the caller chose to ignore (nohup) stays ignored.
    struct sigaction before = {};
    if (sigaction(signal, nullptr, &before) == 0 && before.sa_handler == SIG_IGN) continue;
    sigaction(signal, &action, nullptr);
    sigaddset(&watched, signal);
  }
  // A parent that blocked them would leave them pending for ever.
  pthread_sigmask(SIG_UNBLOCK, &watched, nullptr);
}

int stopSignal() { return g_signal; }

void stopIfAsked() {
  if (const int signal = g_signal) throw StopRequested{signal};
}

const char* signalName(int signal) {
  switch (signal) {
    case SIGINT:
      return "SIGINT";
    case SIGTERM:
      return "SIGTERM";
    case SIGHUP:
      return "SIGHUP";
    default:
      return "a signal";
  }
}

}  // namespace cli
