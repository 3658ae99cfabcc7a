// The file-system layer under the file routines: presence, deletion, a
// crash-safe kernel copy, and detection of files that other programs write.
#pragma once

#include <QString>

#include "platform/status.h"

namespace files {

// The description of every refusal because another program writes the file
// (or left a journal beside it). Its number is EBUSY.
extern const char* const kInUseText;

// True when `path` (after paths::resolve) names a regular file whose name
// does not begin with a dot. Folders, hidden names, devices and missing
// paths are absent; read-only files are present. Never fails.
bool isPresent(const QString& path);

// True when the file exists and carries no write permission bit at all.
bool isReadOnly(const QString& path);

// True when a process other than this one holds the file open for writing
// (found through /proc/<pid>/fd and fdinfo; unreadable processes are
// skipped). A missing file is not in use.
bool isInUse(const QString& path);

// True when "<path>-journal" or "<path>-wal" exists and is not empty: a
// database mid-write, or one whose writer crashed.
bool hasLiveSidecar(const QString& path);

// Removes the file. Ok when it is gone; EACCES for a read-only file (also
// as root), EBUSY with kInUseText when another program writes it, else the
// errno of unlink. A missing file is ENOENT.
Status removeFile(const QString& path);

// Copies `source` over `destination` (created or replaced) with the
// kernel's copy. The new content is written to an anonymous temporary file
// in the destination's folder, flushed, then renamed over the destination
// and the folder flushed, so the destination is always either the old file
// or the whole new one. Refuses before changing anything (EBUSY,
// kInUseText) when either file is in use, has a non-empty -wal, or has a
// -journal that SQLite would roll back (non-empty, header begun; a journal
// whose header is still zero holds nothing to roll back), and with
// EACCES when the destination is read-only. On failure the destination is
// as it was and no temporary file is left; a stale hidden temporary from an
// interrupted earlier copy to the same destination is removed.
Status copyFile(const QString& source, const QString& destination);

// Flushes a file's data and its folder's entry to disk.
Status syncFileAndFolder(const QString& path);

// The hidden name under which copyFile links its temporary file next to
// `destination` for the instant before the rename: ".<name>.kvcopy".
QString copyTempPath(const QString& destination);

}  // namespace files
