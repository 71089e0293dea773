#pragma once
// Start-up loading of the identification list, and the detection run.

#include "modem/main_view.h"

namespace modem {

// Fills view.identificationList from "ati3.dat" in the current directory. When the file is
// missing, a directory or unreadable: shows "Ati3.dat missing !" captioned with the application's
// name and ends the process with status 0. UI thread.
void LoadIdentificationList(MainView& view);

// The detection run of timer 0: tries COM3, 4, 2, 1, 5, 6, leaves the found port open, fills the
// modem information fields, takes the register snapshot and enables the test buttons; or shows
// "Can not find Kalvex Internal Modem in your system !". UI thread; pumps messages while it waits.
void DetectModem(MainView& view);

}  // namespace modem
