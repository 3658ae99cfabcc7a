// The file-system layer under the file routines: presence, deletion, a
// crash-safe kernel copy, and detection of files that other programs write.
#pragma once

#include <QString>

#include "platform/core/status.h"
#include "platform/filesafety/file_holders.h"

namespace files {

// True when `path` (after paths::resolve) names a regular file whose name
// does not begin with a dot. Folders, hidden names, devices and missing
// paths are absent; read-only files are present. Never fails.
bool isPresent(const QString& path);

// isPresent(path) into `present`, failing with the errno status when the
// search itself cannot be made (a name too long, a loop of links, an I/O
// error); a missing file or a missing folder on the way is no failure.
Status lookUp(const QString& path, bool& present);

// True when the file exists and carries no write permission bit at all.
bool isReadOnly(const QString& path);

// Ok when no other process may be writing the regular file at `path`: a
// write lease was granted (no open file description anywhere, whoever owns
// the process), or /proc/<pid>/fd and fdinfo show every holder reading
// only. EBUSY with kInUseText when a holder writes, or when another process
// holds it open that /proc does not show; EBUSY with kUndecidedText when
// no lease can be had (a file of another user) and some processes cannot be
// read. While this process holds the file open itself the lease cannot
// answer and /proc alone does. A missing file or no regular file is Ok.
Status useStatus(const QString& path);

// useStatus(path) is not Ok.
bool isInUse(const QString& path);

// True when `path` names a regular file (links followed) that begins with
// SQLite's 16-byte header "SQLite format 3\0". Never blocks, never fails.
bool beginsAsDatabase(const QString& path);

// True when "<path>-wal" is not empty, or "<path>-journal" is one SQLite
// would play back (not empty and its header's first byte set): a database
// mid-write, or one whose writer crashed after it began changing the file. A
// journal whose header is still zero (a writer killed before flushing it, or
// one kept after commit) changes nothing and does not count.
bool hasLiveSidecar(const QString& path);

// Ok when no other program may be writing the file at `path`: useStatus,
// then EBUSY with kInUseText when a journal or WAL beside it has a live writer.
Status writerStatus(const QString& path);

// Removes the file. Ok when it is gone; EACCES for a read-only file (also
// as root), EBUSY with kInUseText when another program writes it, else the
// errno of unlink. A missing file is ENOENT.
Status removeFile(const QString& path);

// Copies `source` over `destination` (created or replaced) with the
// kernel's copy; a destination link is followed and the file it names
// replaced. The destination is always either the old file or the whole new
// one, flushed. A replaced file keeps its owner, group and mode; a new one
// takes the source's mode and, where the process may, its owner and group.
// Locks this process holds on either file through SQLite are kept.
// Refuses before changing anything: EINVAL for a source that is no regular
// file (never waited on), EISDIR for a folder, EACCES for a read-only
// destination, EBUSY with kInUseText (or kUndecidedText as useStatus says)
// when either file is in use or has a live journal or WAL beside it. Fails
// with EBUSY and kInUseText, leaving the destination as it was, when a
// database source was committed to during the copy (writers that open and
// close for each commit are caught by its change counter). Otherwise the
// errno of the failing call; no temporary file is ever left behind.
Status copyFile(const QString& source, const QString& destination);

// Puts `replacement`, a whole file already flushed, in place of
// `destination` by a rename, so the destination is always either the old
// file or the new one, and flushes the folder. When `destination` is a
// symbolic link the file it names is replaced and the link stays. The new
// file takes the destination's mode and owner. Ok when the replacement has
// become the destination (it no longer exists under its own name). Refuses
// before changing anything with EACCES for a read-only destination, EISDIR
// or EINVAL for one that is no regular file, the refusals of useStatus when
// another program uses it, EBUSY with kInUseText beside a live -wal or
// -journal, and EXDEV when the two are not in one folder (a rename there
// would not be whole); else the errno of the rename.
Status replaceWith(const QString& replacement, const QString& destination);

// Copies all of the open file `in` to the open file `out` inside the
// kernel: a reflink where the file system shares blocks, else
// copy_file_range, else sendfile; nothing is flushed. 0, or an errno.
int kernelCopy(int in, int out);

// Flushes a file's data and its folder's entry to disk.
Status syncFileAndFolder(const QString& path);

// The hidden name under which copyFile links its temporary file next to
// `destination` for the instant before the rename: ".<name>.kvcopy".
QString copyTempPath(const QString& destination);

}  // namespace files
