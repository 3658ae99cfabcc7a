// The program's own identity at run time: title, version text, folder.
#pragma once

#include <QString>

#include "app_identity.h"

namespace app {

// The application title, "Purge Database".
QString title();

// "major.minor.revision", each in plain decimal: "1.0.1".
QString versionText();

// The folder that holds the running executable, without a trailing slash.
QString folder();

}  // namespace app
