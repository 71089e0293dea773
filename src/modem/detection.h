#pragma once
// The detection run: which COM port has the modem.

#include "modem/main_view.h"

namespace modem {

// The detection run of timer 0: stops the timer, tries COM3, 4, 2, 1, 5, 6, leaves the found
// port open in view.detectedPort, fills the modem information fields, takes the register
// snapshot, enables 1001, 1004, 1005 and beeps; or shows "Can not find Kalvex Internal Modem in
// your system !" and leaves fields and buttons as they were. 1001, 1004, 1005 and 1021 are held
// disabled while it runs and get their own state back at its end. A call made while a run waits
// only stops the timer. UI thread; pumps messages while it waits (about 1 s on a found modem,
// up to 3.2 s for a silent port and 4.3 s for an unknown one).
void DetectModem(MainView& view);

}  // namespace modem
