// Runs a program as a child process of the bench (never through a shell) and
// reports how long it took, how it ended and the peak memory it used.
#pragma once

#include <string>
#include <vector>

namespace bench {

struct ChildResult {
  bool started = false;
  int exitCode = -1;         // -1 when killed by a signal or not started
  double seconds = 0;        // wall time from start to reaping
  long maxRssKiB = 0;        // ru_maxrss of the child, from wait4
  double userSeconds = 0;    // its processor time in user mode
  double systemSeconds = 0;  // and in the kernel
  std::string output;        // its standard output, when captured
  std::string errorOutput;   // its standard error
};

// Starts `argv[0]` (looked up in PATH) with `argv` and waits for it. The
// child's standard output is captured when `captureOutput`, otherwise it is
// discarded; standard error is always captured.
ChildResult runChild(const std::vector<std::string>& argv, bool captureOutput);

}  // namespace bench
