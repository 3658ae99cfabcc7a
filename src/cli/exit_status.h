// The exit status of the command line, the values a timer or script acts on.
#pragma once

namespace cli {

inline constexpr int kExitSuccess = 0;     // the purge finished successfully
inline constexpr int kExitFailed = 1;      // a step failed
inline constexpr int kExitUsage = 2;       // the command line was wrong
inline constexpr int kExitInUse = 3;       // stopped before any change: another program writes the database
inline constexpr int kExitNoDatabase = 4;  // the database is missing or no database; nothing changed

}  // namespace cli
