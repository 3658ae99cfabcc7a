// The error log on disk: presence, appending whole records, reading and
// deleting. Paths go through paths::resolve; failures carry errno numbers.
#pragma once

#include <QByteArray>
#include <QString>

#include "platform/status.h"

namespace logfile {

// The default log: ErrStack.log in the application folder.
QString defaultLogFile();

// True when `path` names a regular file whose name does not begin with a
// dot; folders, hidden names, other kinds and missing paths are absent.
bool isPresent(const QString& path);

// Appends `record` to the file (created when missing) in one write. Ok when
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
