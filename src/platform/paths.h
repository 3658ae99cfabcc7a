// Maps the system's Windows-style paths onto the Linux file system.
#pragma once

#include <QString>

namespace paths {

// Resolves a path before it touches the file system: backslashes become
// slashes, and a leading drive letter with its colon ("C:", "c:", any letter)
// becomes that drive's root: $KESTROVA_DRIVE_<LETTER>, or by default
// $XDG_DATA_HOME/kestrova/drive_<letter> (~/.local/share/... when unset).
// Any other path, absolute or relative, is returned with only the
// backslashes turned. Never fails.
QString resolve(const QString& path);

// The root folder of a drive letter (either case), as above.
QString driveRoot(QChar letter);

}  // namespace paths
