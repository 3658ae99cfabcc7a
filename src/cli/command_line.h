// The command-line face of purge-database: runs with no display, parses the
// options and carries out the one command they ask for.
#pragma once

namespace cli {

// Runs the command line with the program's arguments: a QCoreApplication
// (no window, no display needed), the options parsed, the command carried
// out. Returns the exit status (cli/exit_status.h); a usage error is 2 with
// its message and a hint on standard error.
int runCommandLine(int argc, char** argv);

}  // namespace cli
