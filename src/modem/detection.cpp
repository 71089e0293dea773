#include "modem/detection.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>

#include "modem/register_snapshot.h"
#include "modem/safe_state.h"
#include "modem/transaction.h"
#include "platform/debug_output.h"
#include "platform/device_name.h"
#include "platform/message_box.h"
#include "platform/message_pump.h"
#include "platform/visible_text.h"
#include "resources/control_ids.h"
#include "serial/response_capture.h"
#include "serial/tty_port.h"

namespace modem {
namespace {

constexpr int kPortProbeOrder[] = {3, 4, 2, 1, 5, 6};

constexpr int kTransactSeconds = 3;
constexpr int kSettleAfterOpenMs = 100;

bool detectionRunning = false;

void SetStatus(MainView& view, const char* format, int port) {
  char text[32];
  std::snprintf(text, sizeof text, format, port);
  view.SetItemText(ids::kLocation, text);
}

bool IsI3Echo(const char* line) {
  static constexpr char kEcho[] = "ati3";
  for (size_t i = 0; i < sizeof kEcho; ++i) {
    if (std::tolower(static_cast<unsigned char>(line[i])) != kEcho[i]) return false;
  }
  return true;
}

// The identification line of the answer just captured: the first line, or the one after it when
// the first is the modem's echo of "atI3". Empty when nothing came.
std::string CapturedI3Line() {
  int count = serial::responseCapture.captureLineCount.load();
  char first[serial::kCapturedLineSize] = {};
  serial::responseCapture.CopyFirst(first);
  if (count >= 1 && !IsI3Echo(first)) return first;
  if (count < 2) return {};
  char second[serial::kCapturedLineSize] = {};
  serial::responseCapture.CopyLine(second);
  return second;
}

// "I3" with the capture on, to name the line in the port's verdict. The captured line is put back
// as it was: the firmware field shows it when "I5" gets no answer.
int IdentifyCapturing(const IdentificationList& list, std::string* i3Line) {
  char before[serial::kCapturedLineSize] = {};
  serial::responseCapture.CopyLine(before);
  int result;
  {
    CaptureScope capture;
    result = IdentifyModem(list.lines, list.count);
  }
  *i3Line = CapturedI3Line();
  serial::responseCapture.ReplaceLine(before);
  return result;
}

// Tries one port. True when the modem answered there; the port is then left open. The port's
// verdict is added to view.portVerdicts unless a stop cut its waits short.
bool ProbePort(MainView& view, int port) {
  char name[8];
  std::snprintf(name, sizeof name, "COM%d", port);
  PortVerdict verdict;
  verdict.comName = name;
  verdict.devicePath = platform::DevicePathFor(name);
  SetStatus(view, "Detect COM%d... ", port);
  ClosePort();
  SetStatus(view, "Close COM%d... ", port);
  if (OpenComPort(port) == kOpenFailed) {
    view.portVerdicts.push_back(VerdictFromOpenCheck(verdict.comName, verdict.devicePath,
                                                     serial::ttyPort.LastOpenFailure()));
    return false;
  }
  SetStatus(view, "Open COM%d... ", port);
  platform::DelayPumping(kSettleAfterOpenMs);
  if (Transact("&FZ", "OK", kTransactSeconds, 1) == kTimedOut) {
    SetStatus(view, "Close2 COM%d... ", port);
    ClosePort();
    SetStatus(view, "Close3 COM%d... ", port);
    verdict.kind = PortVerdictKind::kNoAnswer;
    if (!StopRequested()) view.portVerdicts.push_back(verdict);
    return false;
  }
  const bool seen = IdentifyCapturing(view.identificationList, &verdict.i3Line) == kSeen;
  verdict.kind = seen ? PortVerdictKind::kFound : PortVerdictKind::kNotListed;
  if (seen || !StopRequested()) view.portVerdicts.push_back(verdict);
  if (seen) return true;
  ClosePort();
  return false;
}

// The firmware version is the first comma-separated field of the "I5" answer, leading commas
// skipped. The captured line itself ends at the comma after that field, because the country read
// that follows shows the captured line when the modem sends no second line: then the country
// field shows the firmware alone, never the rest of the "I5" answer.
void ShowFirmware(MainView& view) {
  char line[serial::kCapturedLineSize] = {};
  serial::responseCapture.CopyLine(line);
  size_t start = std::strspn(line, ",");
  if (line[start] == '\0') {
    view.SetItemText(ids::kFirmware, "");
    return;
  }
  size_t end = start + std::strcspn(line + start, ",");
  if (line[end] == ',') {
    line[end] = '\0';
    serial::responseCapture.ReplaceLine(line);
  }
  view.SetItemText(ids::kFirmware, line + start);
}

void ReadModemInformation(MainView& view) {
  {
    CaptureScope capture;
    (void)Transact("I5", "OK", kTransactSeconds, 1);
    ShowFirmware(view);
    (void)Transact("I9", "OK", kTransactSeconds, 1);
    char country[serial::kCapturedLineSize] = {};
    serial::responseCapture.CopyLine(country);
    view.SetItemText(ids::kCountry, country);
  }
  view.SetItemText(ids::kModemName, "Zelto Win Modem");
  TakeRegisterSnapshot();
}

}  // namespace

void DetectModem(MainView& view) {
  view.StopTimer(0);
  // A tick that arrives while a run waits (the timer armed again from inside that wait) must
  // not start a second run on the same port.
  if (detectionRunning) return;
  detectionRunning = true;

  bool wasEnabled[std::size(ids::kRunButtons)];
  for (size_t i = 0; i < std::size(ids::kRunButtons); ++i) {
    wasEnabled[i] = view.IsItemEnabled(ids::kRunButtons[i]);
    view.EnableItem(ids::kRunButtons[i], false);
  }

  // Which list decides is said first: a list that was cut, or another copy than the one
  // expected, explains a modem that is not recognised.
  const std::string listUsed = DescribeIdentificationList(view.identificationList);
  const std::string listCut = IdentificationListCutNote(view.identificationList);
  platform::DebugOutput(listUsed.c_str());
  if (!listCut.empty()) platform::DebugOutput(listCut.c_str());

  view.portVerdicts.clear();
  view.SetItemText(ids::kModemName, "Wait...");
  view.SetItemText(ids::kFirmware, "Wait...");
  view.SetItemText(ids::kCountry, "Wait...");

  int found = 0;
  for (int port : kPortProbeOrder) {
    // A stop ends the run where it is: no further port, no box, no beep.
    if (StopRequested()) break;
    if (ProbePort(view, port)) {
      found = port;
      break;
    }
  }

  if (found != 0) {
    view.detectedPort = found;
    SetStatus(view, "COM%d", found);
    if (!StopRequested()) ReadModemInformation(view);
  } else if (!StopRequested()) {
    // A list that was cut may be why the modem's line is not in it.
    std::string details = VerdictDetails(view.portVerdicts);
    if (!listCut.empty()) details += "\n\n" + platform::VisibleText(listCut);
    view.ShowMessageBox("Can not find Kalvex Internal Modem in your system !",
                        "Kalvex Internal Modem Diagnostics Tool",
                        platform::kMbOk | platform::kMbIconExclamation, details.c_str());
  }

  for (size_t i = 0; i < std::size(ids::kRunButtons); ++i)
    view.EnableItem(ids::kRunButtons[i], wasEnabled[i]);
  detectionRunning = false;
  if (found == 0 || StopRequested()) return;
  for (int id : ids::kTestButtons) view.EnableItem(id, true);
  view.Beep();
}

}  // namespace modem
