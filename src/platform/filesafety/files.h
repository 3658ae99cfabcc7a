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
// kernel's copy; a destination that is a symbolic link is followed and the
// file it names replaced. A source that is no regular file (a FIFO, a
// device) is refused with EINVAL without waiting on it. The new content is written to an anonymous temporary file
// in the destination's folder, flushed, then renamed over the destination
// and the folder flushed, so the destination is always either the old file
// or the whole new one. Refuses before changing anything (EBUSY with
// kInUseText, or kUndecidedText as useStatus says) when either file is in use, has a non-empty -wal, or has a
// -journal that SQLite would roll back (non-empty, header begun; a journal
// whose header is still zero holds nothing to roll back), and with
// EACCES when the destination is read-only. A source that is an SQLite
// database (its first 16 bytes "SQLite format 3\0") is also checked against
// writers that commit with short connections, which are never seen holding
// the file: its change counter (offset 24), size and modification time are
// read from the open source before the copy and again after it, with no
// live journal beside it either time, and the copy's own counter must be the
// one read first; otherwise the copy fails with EBUSY and kInUseText rather
// than leave a torn copy. Only the source is opened, never the destination,
// so a lock this process holds on the destination through SQLite is kept;
// a source this process holds open (its write lock taken through SQLite) is
// read through an SQLite connection of its own, so that lock is kept too.
// A replaced destination keeps its own owner, group and permission bits. A
// new one (nothing was at its name) takes the source's permission bits and,
// where the process may (root), the source's owner and group, given to the
// temporary file before the rename; a process that may not keeps the file
// its own (a group it is a member of is still given), and that is no failure.
// On failure the destination is as it was and no temporary file is left; a
// stale hidden temporary from an interrupted earlier copy to the same
// destination is removed.
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
