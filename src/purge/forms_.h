// Finding loaded windows by name, and loading, showing and unloading the
// progress window.
#pragma once

#include <QString>

class frmPleaseWait;

// True when a loaded window has the name `formName`, letter case ignored.
// False for an empty name; never fails.
bool IsFormLoaded(const QString& formName);

// Loads the progress window (hidden) when it is not loaded. True when no
// error occurred; a second call leaves the one window. False, loading
// nothing, in a process without a QApplication.
bool LoadPleaseWait();

// Shows the progress window modelessly, with no owner, when it is loaded;
// does nothing otherwise. True when no error occurred.
bool ShowPleaseWait();

// Unloads the progress window and drops its reference when it is loaded.
// True when no error occurred.
bool UnloadPleaseWait();

// The loaded progress window, or nullptr when none is loaded.
frmPleaseWait* PleaseWait();
