// Who holds a file: whether another program uses it, as the kernel's write
// lease and /proc can tell, and the texts of the refusals that follow.
#pragma once

#include <sys/types.h>

#include <QByteArray>

#include "platform/core/status.h"

namespace files {

// The description of every refusal because another program writes the file
// (or left a journal beside it). Its number is EBUSY.
extern const char* const kInUseText;
// The description of a refusal because it cannot be told whether another
// program uses the file (neither the write lease nor /proc can answer).
extern const char* const kUndecidedText;

// The refusal of a file another program writes: EBUSY with kInUseText.
Status inUseStatus();

// True when `status` is a verdict that it cannot be told (EBUSY with
// kUndecidedText): a file of another account whose programs cannot be seen.
bool isUndecided(const Status& status);

}  // namespace files

namespace db {

// True when another process holds the file (device, inode) open for writing,
// as far as /proc shows it; `complete` turns false when the descriptors of
// some process (another user's, to a program not running as root) could not
// be read.
bool writtenElsewhere(dev_t dev, ino_t ino, bool* complete = nullptr);

// True when a descriptor of this process names the file (device, inode),
// or when that cannot be told: this process may then hold SQLite locks on
// it, which closing any descriptor of ours on the file would drop.
bool openHere(dev_t dev, ino_t ino);

// Ok when no other process may be writing the regular file at the native
// path `path`: a write lease was granted (no open file description
// anywhere, whoever owns the process), or /proc shows every holder reading
// only. EBUSY with files::kInUseText when a holder writes, or another
// process holds it that /proc does not show; EBUSY with
// files::kUndecidedText when no lease can be had (a file of another user)
// and some processes cannot be read. While this process holds the file the
// lease cannot answer and /proc alone does. A missing file or no regular
// file is Ok.
Status useStatus(const QByteArray& path);

}  // namespace db
