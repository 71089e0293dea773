#pragma once
// The detection run: which COM port has the modem.

#include <string>
#include <vector>

#include "modem/main_view.h"
#include "modem/port_verdict.h"
#include "modem/untried_device.h"

namespace modem {

class Session;

// What a detection found.
struct DetectionResult {
  bool ran = false;   // false: another detection was running, this call did nothing
  int comNumber = 0;  // 0 when no modem was found
  std::string comName;
  std::string devicePath;
  std::string i3Line;
  bool i3Cut = false;  // the "I3" line was longer than a line may be: its first bytes were dropped
  std::string firmware;
  std::string country;
  // What it found on each port it tried, in the order tried; the last one is kFound when it
  // found the modem. A port whose probe a stop cut short has none.
  std::vector<PortVerdict> verdicts;
  // No modem found: the system's serial devices that no COM name maps to (never tried).
  std::vector<UntriedDevice> untried;
};

// The COM numbers detection tries, in order.
inline constexpr int kPortProbeOrder[] = {3, 4, 2, 1, 5, 6};

// The detection run: tries the ports of kPortProbeOrder (a port that
// does not answer "&FZ" while its device's journal holds data mode gets the guarded escape and
// "&FZ" once more; a port is the modem's when an answer line to "I3", not its echo or a result
// code, holds a line of the list), leaves the found port open in session.detectedPort, puts back
// what a journal of that modem holds from a run that ended without doing so, fills the modem
// information fields, takes the register snapshot, makes the tests available and beeps; or shows
// "Can not find Kalvex Internal Modem in your system !", with each port's verdict and the untried
// devices as its details, and leaves fields and buttons as they were. Each step is told to view
// as it happens. A call made while a run waits does nothing. UI thread; pumps messages while it
// waits (about 1 s on a found modem, up to 3.2 s for a silent port and 4.3 s for an unknown one).
DetectionResult DetectModem(Session& session, MainView& view);

}  // namespace modem
