// The file routines of the purge workflow (is a file there, delete it and
// make sure it is gone, copy it and make sure the copy is there).
#pragma once

#include <cstdint>

#include <QString>

// True when `path` names an ordinary file: folders, hidden names and missing
// paths are absent, read-only files present. Throws a RuntimeError (errno
// and its text) when the search itself fails, e.g. a name that is too long.
bool FileExists(const QString& path);

// True when `path` is absent on return (already absent, or deleted). False
// when it is still there or the deletion failed (read-only, in use by
// another program, unreachable); with `showMessage` the operator is then told
// in the "Can't Delete a File ..." box.
bool DeleteFile(const QString& path, bool showMessage);

// Copies `source` over `destination` (replacing it). True when the copy
// ended without failure and the destination is present; errNum/errDesc are
// then 0 and "". On failure false with the platform's number and
// description; the destination is left as it was. Nothing is shown.
bool CopyFile(const QString& source, const QString& destination, QString& errDesc, int32_t& errNum);
