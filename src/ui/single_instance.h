#pragma once
// The refusal of a second running copy of the tool, shared by the dialogs and the report.

#include "platform/instance_lock.h"

namespace ui {

// Shown, and written to standard error, when another copy holds the instance lock.
inline constexpr char kAlreadyRunning[] =
    "Kalvex Internal Modem Diagnostics Tool is already running.";

// Takes lock for this process. Another copy holding it: says kAlreadyRunning on standard error
// and, with showBox, in a message box; returns false, and the caller ends with status 1 before
// touching a file or a port. A lock file that cannot be used is reported on standard error and
// does not stop the start. UI thread when showBox.
[[nodiscard]] bool ClaimSingleInstance(platform::InstanceLock& lock, bool showBox);

}  // namespace ui
