#pragma once
// The verdict on one port tried by detection, with its cause: the ones found before anything is
// said to the port (from platform::CheckPortOpen) and the ones the modem's answers give.

#include <string>
#include <vector>

#include "platform/port_check.h"

namespace modem {

enum class PortVerdictKind {
  kNoSuchDevice,
  kPermissionDenied,
  kBusy,
  kOpenFailed,    // opened no further for another reason (not a terminal, lock refused)
  kNoAnswer,      // no "OK" to "&FZ" within the time-out
  kNumericCodes,  // "0" instead of "OK": its stored profile answers in numeric codes (V0)
  kQuiet,         // only the echo of "&FZ": its stored profile is quiet (Q1), or a loopback
  kNotListed,     // answered, but its "I3" line is not in the identification list
  kFound,
};

struct PortVerdict {
  std::string comName;     // "COM3"
  std::string devicePath;  // what COM3 stood for
  PortVerdictKind kind = PortVerdictKind::kNoAnswer;
  platform::OpenCheck open;  // the first four kinds: why it did not open
  std::string i3Line;        // kNotListed and kFound: the identification line as received
  bool i3Cut = false;        // it was longer than a line may be: its first bytes were dropped
};

// What a check of a device found (serial::DescribeOpenCheck) and, where there is one, what the
// user can do about it: join the device's group, stop ModemManager or keep it off the device.
// The words after "COM3 (/dev/ttyS2): ", also for a device not yet probed (--list-ports).
[[nodiscard]] std::string OpenCheckReason(const platform::OpenCheck& check);

// What a modem whose stored profile gives numeric result codes (V0), or none (Q1, which a port
// that echoes everything cannot be told from), is, and how the user mends it.
[[nodiscard]] std::string NumericCodesReason();
[[nodiscard]] std::string QuietReason();

// The verdict of a port that did not open, from the check of its device.
[[nodiscard]] PortVerdict VerdictFromOpenCheck(const std::string& comName,
                                               const std::string& devicePath,
                                               const platform::OpenCheck& check);

// "COM3 (/dev/ttyS2): permission denied: ..." without a newline; the device, the I3 line and
// process names shown with serial::VisibleText.
[[nodiscard]] std::string FormatVerdictLine(const PortVerdict& verdict);
// The same words without "COM3 (/dev/ttyS2): ".
[[nodiscard]] std::string VerdictReason(const PortVerdict& verdict);
// A stable word for documents: "no-such-device", "permission-denied", "busy", "open-failed",
// "no-answer", "numeric-codes", "quiet", "not-listed", "found".
[[nodiscard]] const char* VerdictName(PortVerdictKind kind);
// One line per verdict, in order, joined by newlines: the details of "Can not find ...".
[[nodiscard]] std::string VerdictDetails(const std::vector<PortVerdict>& verdicts);

}  // namespace modem
