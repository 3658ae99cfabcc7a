// The operating-system login name of the user running this process.
#pragma once

#include <functional>

#include <QString>

namespace login {

// The login name of the process's effective user, or empty text when the
// system cannot tell it.
QString loginName();

// Replaces the source of the name (tests); an empty function restores the
// system's user database.
void setLoginNameSource(std::function<QString()> source);

}  // namespace login
