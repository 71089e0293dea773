#pragma once
// Why a serial device cannot be opened now, or that it can: the same steps as SerialDevice::Open
// (UUCP lock, open, terminal, exclusive lock), taken without keeping the device, and who holds it
// when it is busy. Any thread; reads /proc and the lock directory, opens and closes the device.

#include <string>
#include <vector>

namespace platform {

enum class OpenVerdict { kOpenable, kNoSuchDevice, kPermissionDenied, kBusy, kFailed };

struct PortHolder {
  int pid = 0;
  std::string name;  // the process's command name, as it is; empty when it cannot be read
};

struct OpenCheck {
  OpenVerdict verdict = OpenVerdict::kOpenable;
  int error = 0;                    // errno of the step that failed; 0 when none did
  std::string group;                // kPermissionDenied: the device's group (name, else number)
  bool groupMayOpen = false;        // kPermissionDenied: the group has read and write permission
  unsigned mode = 0;                // kPermissionDenied: the device's permission bits
  int lockPid = 0;                  // kBusy through a UUCP lock: its live PID
  std::vector<PortHolder> holders;  // kBusy: other processes that have it open (may be empty)
  std::string detail;               // kFailed: the step and its errno text
};

[[nodiscard]] OpenCheck CheckPortOpen(const char* path);

// The verdict an open() that failed with error gives: kPermissionDenied, kBusy, kNoSuchDevice
// (EIO too: a serial node without hardware behind it), else kFailed. The one place that sorts an
// open's errno.
[[nodiscard]] OpenVerdict OpenVerdictFromErrno(int error);

// An open's errno in words, the reason said once: "busy (EBUSY)", "permission denied (EACCES)",
// "no such device (ENOENT)", or for any other errno its text ("... (EINVAL)").
[[nodiscard]] std::string DescribeOpenErrno(int error);

// Processes other than this one with path open, found through /proc/*/fd (only those whose
// descriptors this user may read). Empty when none is found.
[[nodiscard]] std::vector<PortHolder> ProcessesHolding(const char* path);

// What the check found, in words: "busy: held by minicom (PID 4242)", "permission denied: the
// device belongs to group 'dialout'". Facts only; what a user can do about them is the caller's
// to say. Process names are shown with VisibleText.
[[nodiscard]] std::string DescribeOpenCheck(const OpenCheck& check);

// The live PID named by the UUCP lock file of path (in $KALVEX_LOCK_DIR, else /var/lock), or 0
// for none, a stale lock or this process's own.
[[nodiscard]] int LiveUucpLockHolder(const char* path);

}  // namespace platform
