// SQLite's integrity check split into parts that run side by side, each on
// a read-only connection and a thread of its own, all reading one committed
// state of the file.
#pragma once

#include <functional>

#include <QByteArray>
#include <QList>
#include <QStringList>

#include "platform/core/status.h"
#include "platform/filesafety/sqlite_handle.h"

namespace integrity {

// The processors this process may run on (its CPU affinity, so `taskset`
// counts), at least 1.
int availableCores();

// One part of a check: a statement such as "PRAGMA integrity_check(\"T\")"
// and how much work it is thought to be (larger parts start first).
struct Part {
  QByteArray sql;
  qint64 weight = 0;
};

// The part that checks `table` of the database open on `c`, with its
// indexes, weighed by the table's largest rowid (0 without one).
Part tablePart(db::RawConnection& c, const QString& table);

// Where and how the parts read the database file `nativePath`: opened with
// `flags` through `vfs` (nullptr for the default). With `freeze`, a
// connection of its own first takes SQLite's write lock, every part's
// connection begins its read there, and the lock goes again: all parts then
// read the same committed state, which stays theirs (SQLite keeps a reader's
// state in WAL mode, and in rollback-journal mode no commit lands while they
// read). Without it each statement reads on its own; for a file nobody
// else writes.
struct Target {
  QByteArray nativePath;
  int flags = 0;
  const char* vfs = nullptr;
  bool freeze = false;
};

// Runs `parts` on up to `threads` connections and threads. `lines` gets,
// per part in the order given, what the check answered but "ok" and its
// "*** in database" headers; a statement that stops on damage gives its
// error as its one line. Fails with SQLite's code and message, `lines`
// empty, when a connection cannot be opened, a part's statement cannot be
// prepared (an unreadable schema), or, with `freeze`, the write lock cannot
// be had (SQLITE_BUSY while another program writes, or a file we may only
// read; `lockMissing`, when given, then set); nothing of the check is then
// known.
// `whileFrozen`, when given, is called with `freeze` once every reader
// reads the committed state and the write lock is still held: what it reads
// of the file is of that state.
Status runParts(const Target& target, const QList<Part>& parts, int threads, QList<QStringList>& lines,
                bool* lockMissing = nullptr, const std::function<void()>& whileFrozen = {});

// The whole file's check, the same as one "PRAGMA integrity_check": on one
// thread that statement; on more, "PRAGMA quick_check" (every page and its
// accounting, the freelist, every record) beside "integrity_check(T)" of
// each table (its indexes against its rows). Ok with `findings` empty when
// whole, else the check's lines. With `freeze` and the write lock not to
// be had, the one statement on one connection. Fails as runParts.
//
// `verified` names tables whose indexes are known to agree with their rows:
// their integrity_check(T) is left out, quick_check then running on every
// number of threads.
Status checkWhole(const Target& target, int threads, QStringList& findings, const QStringList& verified = {});

}  // namespace integrity
