// SIGINT, SIGTERM and SIGHUP during a command-line purge: the run stops at
// the next safe point, between two steps, instead of wherever the signal
// lands; a second signal ends the program at once.
#pragma once

namespace cli {

// Thrown by the command line's face when a step is about to start after a
// stop signal came; it is no run-time error, so no step's trap catches it.
struct StopRequested {
  int signal = 0;
};

// Notes SIGINT, SIGTERM and SIGHUP from now on instead of dying of them;
// each handler is one-shot, so a second such signal ends the program.
void watchStopSignals();

// The first stop signal that came since watchStopSignals, or 0.
int stopSignal();

// Throws StopRequested when a stop signal came.
void stopIfAsked();

// "SIGINT", "SIGTERM", "SIGHUP"; the number for another signal.
const char* signalName(int signal);

}  // namespace cli
