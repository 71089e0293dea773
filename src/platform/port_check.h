#pragma once
// Why a serial device cannot be opened now, or that it can: SerialDevice::Open tried and closed at
// once, and, when it is refused, the facts about who holds it or who may open it. Facts only; the
// words for them are the callers'. Any thread; reads /proc and the lock directory, opens and
// closes the device.

#include <string>
#include <vector>

#include "platform/serial_device.h"

namespace platform {

enum class OpenVerdict { kOpenable, kNoSuchDevice, kPermissionDenied, kBusy, kFailed };

struct PortHolder {
  int pid = 0;
  std::string name;  // the process's command name, as it is; empty when it cannot be read
};

struct OpenCheck {
  OpenVerdict verdict = OpenVerdict::kOpenable;
  OpenStep step = OpenStep::kNone;  // the step of the open that failed
  int error = 0;                    // errno of the step that failed; 0 when none did
  std::string group;                // kPermissionDenied: the device's group (name, else number)
  bool groupMayOpen = false;        // kPermissionDenied: the group has read and write permission
  unsigned mode = 0;                // kPermissionDenied: the device's permission bits
  int lockPid = 0;                  // kBusy through a UUCP lock: its live PID
  std::vector<PortHolder> holders;  // kBusy: other processes that have it open (may be empty)
  // kFailed for a cause the layers above found after the device opened (the line settings, a
  // port already open), in their words; empty when step and error say it.
  std::string detail;
};

[[nodiscard]] OpenCheck CheckPortOpen(const char* path);

// The facts about path behind an open that attempt says failed: the verdict and, for a busy
// device, its holders, for a refused one, its group and mode. kOpenable when it opened.
[[nodiscard]] OpenCheck ExplainOpen(const char* path, const OpenAttempt& attempt);

// The verdict an open() that failed with error gives: kPermissionDenied, kBusy, kNoSuchDevice
// (EIO too: a serial node without hardware behind it), else kFailed. The one place that sorts an
// open's errno.
[[nodiscard]] OpenVerdict OpenVerdictFromErrno(int error);

// Processes other than this one with path open, found through /proc/*/fd (only those whose
// descriptors this user may read). Empty when none is found.
[[nodiscard]] std::vector<PortHolder> ProcessesHolding(const char* path);

}  // namespace platform
