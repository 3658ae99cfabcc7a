// The error log on disk: presence, appending whole records, reading and
// deleting. Paths go through paths::resolve; failures carry errno numbers.
#pragma once

#include <QByteArray>
#include <QString>

#include "platform/core/status.h"

namespace logfile {

// The default log: ErrStack.log in the application folder when the user
// can write there, else in the per-user state folder (see below). Never fails.
QString defaultLogFile();

// The default log of a program whose folder is `programFolder`: the folder's
// ErrStack.log when the user may create files in it, else ErrStack.log in
// stateFolder(). Never fails.
QString defaultLogFileFor(const QString& programFolder);

// $XDG_STATE_HOME/kestrova, or ~/.local/state/kestrova when that variable is
// unset or not absolute. Created only by the first write of a log into it.
QString stateFolder();

// True when `path` names a regular file whose name does not begin with a
// dot; folders, hidden names, other kinds and missing paths are absent.
bool isPresent(const QString& path);

// Appends `record` to the file (created when missing, and stateFolder() with
// it when the file is to be there) in one write. Ok when
// the whole record is in the file; otherwise an error, and the file is as
// it was. A file without any write permission bit is refused with EACCES.
Status append(const QString& path, const QByteArray& record);

// The whole content of the file into `*bytes`; a missing file is created
// empty first. Fails with the errno of the open or read.
Status readAll(const QString& path, QByteArray* bytes);

// Deletes the file. Ok when it was removed; EACCES for a file without any
// write permission bit (also for root), EBUSY when another program writes
// it, else the errno of unlink.
Status remove(const QString& path);

}  // namespace logfile
