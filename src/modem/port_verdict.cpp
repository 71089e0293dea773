#include "modem/port_verdict.h"

#include "serial/open_words.h"
#include "serial/visible_text.h"

namespace modem {
namespace {

// Holders of a device by this name take it for a mobile broadband modem and open every port
// that answers like one; most desktops run it.
constexpr char kModemManager[] = "ModemManager";

// What a user can do about a refused open, as "; ..." after the facts; empty when nothing.
std::string OpenHint(const platform::OpenCheck& check) {
  if (check.verdict == platform::OpenVerdict::kPermissionDenied && !check.group.empty() &&
      check.groupMayOpen) {
    return "; add yourself with 'sudo usermod -aG " + check.group + " $USER', then log in again";
  }
  if (check.verdict != platform::OpenVerdict::kBusy) return {};
  for (const platform::PortHolder& holder : check.holders) {
    if (holder.name == kModemManager) {
      return "; stop it with 'sudo systemctl stop ModemManager', or mark the device ignored "
             "with contrib/udev/99-kalvex-modem-diag.rules";
    }
  }
  return {};
}

}  // namespace

std::string OpenCheckReason(const platform::OpenCheck& check) {
  return serial::DescribeOpenCheck(check) + OpenHint(check);
}

std::string NumericCodesReason() {
  return "answers in numeric result codes: its stored profile is V0; \"AT&F&W\" in a terminal "
         "program restores the factory profile";
}

std::string QuietReason() {
  return "sends only its echo, no result codes: its stored profile is Q1 (or the port echoes "
         "everything, like a loopback plug); \"AT&F&W\" in a terminal program restores the "
         "factory profile";
}

PortVerdict VerdictFromOpenCheck(const std::string& comName, const std::string& devicePath,
                                 const platform::OpenCheck& check) {
  PortVerdict verdict;
  verdict.comName = comName;
  verdict.devicePath = devicePath;
  verdict.open = check;
  switch (check.verdict) {
    case platform::OpenVerdict::kNoSuchDevice: verdict.kind = PortVerdictKind::kNoSuchDevice; break;
    case platform::OpenVerdict::kPermissionDenied:
      verdict.kind = PortVerdictKind::kPermissionDenied;
      break;
    case platform::OpenVerdict::kBusy: verdict.kind = PortVerdictKind::kBusy; break;
    // Opened now though it did not a moment ago: the cause is gone, so it is not known.
    case platform::OpenVerdict::kOpenable:
    case platform::OpenVerdict::kFailed: verdict.kind = PortVerdictKind::kOpenFailed; break;
  }
  return verdict;
}

std::string VerdictReason(const PortVerdict& verdict) {
  switch (verdict.kind) {
    case PortVerdictKind::kNoSuchDevice:
    case PortVerdictKind::kPermissionDenied:
    case PortVerdictKind::kBusy: return OpenCheckReason(verdict.open);
    case PortVerdictKind::kOpenFailed:
      if (verdict.open.verdict == platform::OpenVerdict::kFailed)
        return OpenCheckReason(verdict.open);
      return "could not be opened (the cause was gone when checked)";
    case PortVerdictKind::kNoAnswer: return "no answer to \"&FZ\" within the time-out";
    case PortVerdictKind::kNumericCodes: return NumericCodesReason();
    case PortVerdictKind::kQuiet: return QuietReason();
    case PortVerdictKind::kNotListed:
      if (verdict.i3Line.empty()) return "answered, but gave no \"I3\" line";
      return "answered, but its \"I3\" line \"" + serial::VisibleText(verdict.i3Line) +
             (verdict.i3Cut ? "\" (the end of a longer line)" : "\"") +
             " is not in the identification list";
    case PortVerdictKind::kFound: return "found: \"" + serial::VisibleText(verdict.i3Line) + "\"";
  }
  return {};
}

std::string FormatVerdictLine(const PortVerdict& verdict) {
  return serial::VisibleText(verdict.comName) + " (" + serial::VisibleText(verdict.devicePath) +
         "): " + VerdictReason(verdict);
}

const char* VerdictName(PortVerdictKind kind) {
  switch (kind) {
    case PortVerdictKind::kNoSuchDevice: return "no-such-device";
    case PortVerdictKind::kPermissionDenied: return "permission-denied";
    case PortVerdictKind::kBusy: return "busy";
    case PortVerdictKind::kOpenFailed: return "open-failed";
    case PortVerdictKind::kNoAnswer: return "no-answer";
    case PortVerdictKind::kNumericCodes: return "numeric-codes";
    case PortVerdictKind::kQuiet: return "quiet";
    case PortVerdictKind::kNotListed: return "not-listed";
    case PortVerdictKind::kFound: return "found";
  }
  return "";
}

std::string VerdictDetails(const std::vector<PortVerdict>& verdicts) {
  std::string text;
  for (const PortVerdict& verdict : verdicts) {
    if (!text.empty()) text += '\n';
    text += FormatVerdictLine(verdict);
  }
  return text;
}

}  // namespace modem
