// Maps the system's Windows-style paths onto the Linux file system.
#pragma once

#include <QString>

namespace paths {

// True when `path` begins with an ASCII drive letter (either case) and a
// colon: "C:\...", "c:x", "D:". Only such a path takes "\" as a separator.
bool isDrivePath(const QString& path);

// Resolves a path before it touches the file system: a drive path has its
// backslashes turned into slashes and its drive letter with the colon
// replaced by that drive's root: $KESTROVA_DRIVE_<LETTER>, or by default
// $XDG_DATA_HOME/kestrova/drive_<letter> (~/.local/share/... when unset).
// Any other path, absolute or relative, is returned as it is: on Linux a
// backslash there is part of a file name. Never fails.
QString resolve(const QString& path);

// The root folder of a drive letter (either case), as above.
QString driveRoot(QChar letter);

}  // namespace paths
