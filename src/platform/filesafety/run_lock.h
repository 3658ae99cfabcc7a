// One run at a time per database: the purge, a restore and the backup
// retention each hold the run lock of the database's folder while they work.
// The folder is where a run keeps its own files beside the database (today's
// backup, kvTemp.mdb, the copy's temporary name), so two runs in one folder
// would share them.
#pragma once

#include <vector>

#include <QString>

#include "platform/core/status.h"

namespace runlock {

// The refusal a second run gets; its number is EBUSY.
extern const char* const kBusyText;

// An flock(2) on the folder of the database and, when the database's name
// is a link into another folder, on that folder too. Released when the
// object goes, and by the kernel when the process dies, so a killed run
// leaves nothing behind. Nothing is written to the folder.
class RunLock {
 public:
  RunLock() = default;
  ~RunLock();
  RunLock(RunLock&& other) noexcept;
  RunLock& operator=(RunLock&& other) noexcept;
  RunLock(const RunLock&) = delete;
  RunLock& operator=(const RunLock&) = delete;

  // Takes the lock for the database at `dbPath` (through paths::resolve)
  // without waiting. Ok when held; EBUSY with kBusyText when another run
  // holds it, nothing held then. A folder that cannot be opened or locked
  // (missing, a file system without flock) is not held and not refused:
  // the steps after find the missing folder themselves.
  Status acquire(const QString& dbPath);
  // Lets go; a second call does nothing.
  void release();
  bool held() const { return !m_fds.empty(); }

 private:
  std::vector<int> m_fds;
};

}  // namespace runlock
