#pragma once
// The refusal of a second running copy of the tool, shared by the dialogs and the report, and
// the dialogs' way of bringing the running copy to the front instead.

#include "platform/instance_lock.h"
#include "resources/product.h"

namespace ui {

// Shown, and written to standard error, when another copy holds the instance lock.
inline constexpr const char* kAlreadyRunning = product::kAlreadyRunningText;

// Takes lock for this process. Another copy holding it: says kAlreadyRunning on standard error
// and, with showBox, in a message box; returns false, and the caller ends with status 1 before
// touching a file or a port. A lock file that cannot be used is reported on standard error and
// does not stop the start. UI thread when showBox.
[[nodiscard]] bool ClaimSingleInstance(platform::InstanceLock& lock, bool showBox);

enum class DialogsClaim {
  kClaimed,  // this copy holds lock (or no lock can be used) and runs
  kRaised,   // another copy holds it and has shown its window: end with status 0 at once
  kRefused,  // another copy holds it and has no window (a report): said, as ClaimSingleInstance
             // with showBox does; end with status 1
};

// The dialogs' start: takes lock, or asks the copy that holds it to show its window (a second
// start from the desktop's menu brings the running dialogs to the front). UI thread.
[[nodiscard]] DialogsClaim ClaimForDialogs(platform::InstanceLock& lock);

// Brings every window of this copy to the front, un-minimised, its modal dialog on top: what a
// second start asks for. UI thread.
void RaiseWindows();

}  // namespace ui
