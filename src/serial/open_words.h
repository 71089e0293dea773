#pragma once
// A refused open of a serial device in words, for the debug output, the transcript and the
// verdicts above: the facts SerialDevice::Open and the port check found, never what a user can
// do about them (the modem layer's verdicts add that). Outside text (process names) is shown
// with VisibleText. Any thread.

#include <string>

#include "platform/port_check.h"
#include "platform/serial_device.h"

namespace serial {

// An open's errno in words, the reason said once: "busy (EBUSY)", "permission denied (EACCES)",
// "no such device (ENOENT)", or for any other errno its text ("... (EINVAL)").
[[nodiscard]] std::string DescribeOpenErrno(int error);

// Why an Open that attempt says failed did, as the debug output says it: "busy: locked by PID
// 4242", "not a terminal: ...", "busy: another program holds its lock". Empty when it opened.
[[nodiscard]] std::string DescribeOpenAttempt(const platform::OpenAttempt& attempt);

// Writes what attempt found about path to the debug output, as one line each: a lock file that
// was not taken as one, and why the open failed.
void DebugOpenAttempt(const char* path, const platform::OpenAttempt& attempt);

// What the check found: "busy: held by minicom (PID 4242)", "permission denied: the device
// belongs to group 'dialout'", "cannot be opened: not a terminal: ...".
[[nodiscard]] std::string DescribeOpenCheck(const platform::OpenCheck& check);

}  // namespace serial
