#include "modem/detection.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>

#include "modem/put_back.h"
#include "modem/register_snapshot.h"
#include "modem/session.h"
#include "modem/transaction.h"
#include "resources/product.h"
#include "serial/debug_output.h"
#include "serial/port_names.h"
#include "serial/visible_text.h"

namespace modem {
namespace {

constexpr int kSettleAfterOpenMs = 100;

// "I3" with the capture on, to name the line in the port's verdict: the answer's first line that
// is not the echo, a result code or empty, whole. The captured line is put back as it was: the
// firmware field shows it when "I5" gets no answer.
WaitResult IdentifyCapturing(Session& session, const IdentificationList& list,
                             PortVerdict& verdict) {
  serial::ResponseCapture& capture = session.port.capture;
  char before[serial::kLineSize] = {};
  capture.CopyLine(before);
  WaitResult result;
  {
    CaptureScope scope(session);
    result = IdentifyModem(session, list.lines, list.count);
  }
  verdict.i3Line.clear();
  verdict.i3Cut = false;
  if (capture.answerLines.load() > 0) verdict.i3Line = capture.WholeLine(&verdict.i3Cut);
  capture.ReplaceLine(before);
  // A modem is known by its line; without one there is nothing to know it by, nor to tell its
  // journal from another modem's.
  if (verdict.i3Line.empty()) return WaitResult::kTimedOut;
  return result;
}

// A port with no answer to "&FZ" may be a modem left in a loopback by a run that crashed, on a
// modem that ignores the drop of DTR: when that device's journal says so, the guarded escape
// brings it back to commands once, and "&FZ" is tried again.
bool ReachedAfterEscape(Session& session, const std::string& devicePath) {
  if (!JournalEnteredDataMode(session, devicePath) || session.stop.Requested()) return false;
  session.port.NoteEvent("the journal says data mode was entered: escape, then \"&FZ\" again");
  Pause(session, kEscapeGuardMs);
  if (Transact(session, "+++", "OK", kCommandTimeoutSeconds, Framing::kAsIs) != WaitResult::kSeen)
    return false;
  return Transact(session, "&FZ", "OK", kCommandTimeoutSeconds) == WaitResult::kSeen;
}

// Why "&FZ" got no "OK", from the last line that came: a modem's stored profile may answer
// in numeric codes ("0") or give its echo and nothing else.
PortVerdictKind SilenceKind(const Session& session) {
  if (!session.lastTimeOut) return PortVerdictKind::kNoAnswer;
  const std::string& last = session.lastTimeOut->lastLine;
  if (last == "0") return PortVerdictKind::kNumericCodes;
  std::string lower;
  for (char c : last) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower == "at&fz" ? PortVerdictKind::kQuiet : PortVerdictKind::kNoAnswer;
}

// Tries one port. True when the modem answered there; the port is then left open. The port's
// verdict is added to verdicts unless a stop cut its waits short.
bool ProbePort(Session& session, MainView& view, int port, std::vector<PortVerdict>& verdicts) {
  char name[8];
  std::snprintf(name, sizeof name, "COM%d", port);
  PortVerdict verdict;
  verdict.comName = name;
  verdict.devicePath = session.ports.DevicePathFor(name);
  view.ShowProbe(port, ProbeStep::kDetect);
  ClosePort(session);
  view.ShowProbe(port, ProbeStep::kClose);
  view.ShowBusy(true);
  const bool opened = OpenComPort(session, port);
  view.ShowBusy(false);
  if (!opened) {
    verdicts.push_back(
        VerdictFromOpenCheck(verdict.comName, verdict.devicePath, session.port.LastOpenFailure()));
    return false;
  }
  view.ShowProbe(port, ProbeStep::kOpen);
  session.waits.Delay(kSettleAfterOpenMs);
  session.lastTimeOut.reset();
  if (Transact(session, "&FZ", "OK", kCommandTimeoutSeconds) == WaitResult::kTimedOut) {
    verdict.kind = SilenceKind(session);
    if (!ReachedAfterEscape(session, verdict.devicePath)) {
      view.ShowProbe(port, ProbeStep::kCloseNoAnswer);
      ClosePort(session);
      view.ShowProbe(port, ProbeStep::kClosedNoAnswer);
      if (!session.stop.Requested()) verdicts.push_back(verdict);
      return false;
    }
  }
  const bool seen =
      IdentifyCapturing(session, view.identificationList, verdict) == WaitResult::kSeen;
  verdict.kind = seen ? PortVerdictKind::kFound : PortVerdictKind::kNotListed;
  if (seen || !session.stop.Requested()) verdicts.push_back(verdict);
  if (seen) return true;
  ClosePort(session);
  return false;
}

// The firmware version is the first comma-separated field of the "I5" answer, leading commas
// skipped. The captured line itself ends at the comma after that field, because the country read
// that follows shows the captured line when the modem sends no second line: then the country
// field shows the firmware alone, never the rest of the "I5" answer.
std::string Firmware(serial::ResponseCapture& capture) {
  char line[serial::kLineSize] = {};
  capture.CopyLine(line);
  size_t start = std::strspn(line, ",");
  if (line[start] == '\0') return {};
  size_t end = start + std::strcspn(line + start, ",");
  if (line[end] == ',') {
    line[end] = '\0';
    capture.ReplaceLine(line);
  }
  return line + start;
}

void ReadModemInformation(Session& session, MainView& view, DetectionResult& result) {
  {
    CaptureScope capture(session);
    (void)Transact(session, "I5", "OK", kCommandTimeoutSeconds);
    result.firmware = Firmware(session.port.capture);
    view.ShowFirmware(result.firmware);
    (void)Transact(session, "I9", "OK", kCommandTimeoutSeconds);
    char country[serial::kLineSize] = {};
    session.port.capture.CopyLine(country);
    result.country = country;
    view.ShowCountry(result.country);
  }
  view.ShowModemName();
  TakeRegisterSnapshot(session);
}

}  // namespace

std::string ProbeStatusText(int comNumber, ProbeStep step) {
  const char* format = "Detect COM%d... ";
  switch (step) {
    case ProbeStep::kDetect: break;
    case ProbeStep::kClose: format = "Close COM%d... "; break;
    case ProbeStep::kOpen: format = "Open COM%d... "; break;
    case ProbeStep::kCloseNoAnswer: format = "Close2 COM%d... "; break;
    case ProbeStep::kClosedNoAnswer: format = "Close3 COM%d... "; break;
  }
  char text[32];
  std::snprintf(text, sizeof text, format, comNumber);
  return text;
}

std::string FoundStatusText(int comNumber) { return "COM" + std::to_string(comNumber); }

DetectionResult DetectModem(Session& session, MainView& view) {
  DetectionResult result;
  // A request that arrives while a run waits (made from inside that wait) must not start a
  // second run on the same port.
  if (session.detectionRunning) return result;
  session.detectionRunning = true;
  result.ran = true;

  // Which list decides is said first: a list that was cut, or another copy than the one
  // expected, explains a modem that is not recognised.
  const std::string listUsed = DescribeIdentificationList(view.identificationList);
  const std::string listCut = IdentificationListCutNote(view.identificationList);
  serial::DebugOutput(listUsed.c_str());
  if (!listCut.empty()) serial::DebugOutput(listCut.c_str());

  view.ShowDetecting();

  // The next port found may hold another modem: the one found before gets its own back first.
  if (!session.stop.Requested()) PutBackBeforeDetection(session);

  int found = 0;
  for (int port : kPortProbeOrder) {
    // A stop ends the run where it is: no further port, no box, no beep.
    if (session.stop.Requested()) break;
    if (ProbePort(session, view, port, result.verdicts)) {
      found = port;
      break;
    }
  }

  if (found != 0) {
    const PortVerdict& verdict = result.verdicts.back();
    // A ledger belongs to the device and "I3" line it was made on.
    if (verdict.devicePath != session.detectedDevice || verdict.i3Line != session.detectedI3Line)
      LeaveChangesBehind(session);
    session.detectedPort = found;
    session.detectedDevice = verdict.devicePath;
    session.detectedI3Line = verdict.i3Line;
    result.comNumber = found;
    result.comName = verdict.comName;
    result.devicePath = verdict.devicePath;
    result.i3Line = verdict.i3Line;
    result.i3Cut = verdict.i3Cut;
    view.ShowFound(found);
    if (!session.stop.Requested()) RecoverFromJournal(session);
    if (!session.stop.Requested()) ReadModemInformation(session, view, result);
  } else if (!session.stop.Requested()) {
    // A list that was cut may be why the modem's line is not in it.
    std::string details = VerdictDetails(result.verdicts);
    if (!listCut.empty()) details += "\n\n" + serial::VisibleText(listCut);
    result.untried = UntriedDevices(session.ports);
    if (!result.untried.empty()) details += "\n\n" + UntriedDetails(result.untried);
    view.ShowNotFound(details.c_str());
  }

  session.detectionRunning = false;
  if (found == 0 || session.stop.Requested()) return result;
  view.ShowTestsAvailable();
  view.Beep();
  return result;
}

}  // namespace modem
