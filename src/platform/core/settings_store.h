// The per-user settings store: text values by application name, section and
// key, kept in $XDG_CONFIG_HOME/kestrova/settings.ini (INI, one group
// "<application>/<section>" per section).
#pragma once

#include <QString>

#include "platform/core/status.h"

namespace settings {

// The full path of the settings file for the current environment.
QString storePath();

// Reads the value of `key`; a missing key (or missing file) reads as
// `defaultValue`. On success writes it to `*value` and returns ok; when the
// file exists but cannot be read or parsed, returns an error and leaves
// `*value` untouched.
Status GetSetting(const QString& appName, const QString& section, const QString& key, const QString& defaultValue,
                  QString* value);

// Stores `value` under `key` and flushes the file to disk. Returns ok once it
// is stored, or an error when it could not be written (folder or file not
// writable, a file where the folder should be).
Status SaveSetting(const QString& appName, const QString& section, const QString& key, const QString& value);

}  // namespace settings
