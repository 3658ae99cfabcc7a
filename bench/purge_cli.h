// C of the purge bench: the same purge run by the purge-database binary on
// its command line, as a timer would start it.
#pragma once

#include <string>

#include <QDate>

namespace bench {

struct PurgeCRun {
  bool ok = false;
  double stepsSeconds = 0;  // the sum of its steps' times, as its summary gives them
  double runSeconds = 0;    // its whole run, the row counts of the summary included
  double childSeconds = 0;  // wall time of the child, start-up included
  long peakRssKiB = 0;
  std::string failure;
};

// Runs `purge-database --all --before <cutOff> --json --quiet` on the
// bench's "C:\kestrova\kestrova.mdb" (through KESTROVA_DRIVE_C) and reads
// its JSON summary. Its backup, named after the real day, is removed after
// the run so the next side starts alike. ok when it exited 0 with seven
// steps that succeeded.
PurgeCRun runPurgeC(const QDate& cutOff);

}  // namespace bench
