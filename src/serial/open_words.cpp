#include "serial/open_words.h"

#include <cerrno>
#include <cstdio>

#include "platform/sys_error.h"
#include "serial/debug_output.h"
#include "serial/visible_text.h"

namespace serial {
namespace {

using platform::OpenStep;
using platform::OpenVerdict;

std::string HolderText(const platform::PortHolder& holder) {
  char pid[32];
  std::snprintf(pid, sizeof pid, "PID %d", holder.pid);
  return holder.name.empty() ? std::string(pid) : VisibleText(holder.name) + " (" + pid + ")";
}

// A step that failed for another reason than the device's state, with its errno.
std::string FailedStep(OpenStep step, int error) {
  const char* name = "open";
  if (step == OpenStep::kTerminal) name = "not a terminal";
  if (step == OpenStep::kLock) name = "lock refused";
  if (step == OpenStep::kExclusive) name = "exclusive mode refused";
  return std::string(name) + ": " + platform::DescribeErrno(error);
}

}  // namespace

std::string DescribeOpenErrno(int error) {
  const std::string name = "(" + platform::ErrnoName(error) + ")";
  switch (platform::OpenVerdictFromErrno(error)) {
    case OpenVerdict::kPermissionDenied: return "permission denied " + name;
    case OpenVerdict::kBusy: return "busy " + name;
    case OpenVerdict::kNoSuchDevice: return "no such device " + name;
    default: return platform::DescribeErrno(error);
  }
}

std::string DescribeOpenAttempt(const platform::OpenAttempt& attempt) {
  switch (attempt.failedStep) {
    case OpenStep::kNone: return {};
    case OpenStep::kUucpLock: return "busy: locked by PID " + std::to_string(attempt.lockPid);
    case OpenStep::kOpen: return DescribeOpenErrno(attempt.error);
    case OpenStep::kLock:
      if (attempt.error == EWOULDBLOCK) return "busy: another program holds its lock";
      break;
    case OpenStep::kTerminal:
    case OpenStep::kExclusive: break;
  }
  return FailedStep(attempt.failedStep, attempt.error);
}

void DebugOpenAttempt(const char* path, const platform::OpenAttempt& attempt) {
  if (!attempt.ignoredLockPath.empty()) {
    DebugOutputF("Lock file %.200s ignored: %.200s", attempt.ignoredLockPath.c_str(),
                 attempt.ignoredLockReason.c_str());
  }
  if (!attempt.Opened())
    DebugOutputF("Open %.200s failed: %.200s", path, DescribeOpenAttempt(attempt).c_str());
}

std::string DescribeOpenCheck(const platform::OpenCheck& check) {
  switch (check.verdict) {
    case OpenVerdict::kOpenable: return "can be opened";
    case OpenVerdict::kNoSuchDevice: return "no such device";
    case OpenVerdict::kPermissionDenied: {
      if (check.group.empty()) return "permission denied";
      char mode[8];
      std::snprintf(mode, sizeof mode, "%04o", check.mode);
      if (!check.groupMayOpen) {
        return "permission denied: its mode " + std::string(mode) + " lets group '" + check.group +
               "' neither read nor write it";
      }
      return "permission denied: the device belongs to group '" + check.group + "'";
    }
    case OpenVerdict::kBusy: {
      std::string text = "busy: ";
      if (check.lockPid != 0) {
        text += "locked by " + HolderText(check.holders.front());
      } else if (check.holders.empty()) {
        text += "held by another program";
      } else {
        text += "held by ";
        for (size_t i = 0; i < check.holders.size(); ++i)
          text += (i ? ", " : "") + HolderText(check.holders[i]);
      }
      return text;
    }
    case OpenVerdict::kFailed:
      return "cannot be opened: " +
             (check.detail.empty() ? FailedStep(check.step, check.error) : check.detail);
  }
  return {};
}

}  // namespace serial
