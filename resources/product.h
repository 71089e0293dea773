#pragma once
// The product's identity: the names and the texts that say who the tool is and what it looks
// for, and the main dialog's texts that more than one layer writes. Every layer, the dialogs,
// the report and the tests read them from here.

namespace product {

// The program's file name: the caption of boxes that give none, the data directories' name, the
// "tool" of the documents it writes.
inline constexpr char kProgramName[] = "kalvex-modem-diag";

// The main window's title, the title of the tool's own boxes, and its name in the texts that
// name it.
inline constexpr char kToolTitle[] = "Kalvex Internal Modem Diagnostics Tool";
// The tool does not start beside a window of this title (whole title, any letter case).
inline constexpr char kRefusingWindowTitle[] = "Built-In Modem Diagnostics";
// Another copy holds the instance lock.
inline constexpr char kAlreadyRunningText[] =
    "Kalvex Internal Modem Diagnostics Tool is already running.";
// No port answered as a modem of the identification list.
inline constexpr char kNotFoundText[] = "Can not find Kalvex Internal Modem in your system !";
// No identification list in any of the places looked in.
inline constexpr char kListMissingText[] = "Ati3.dat missing !";

// The modem's name in the main dialog: the field's text before detection and once it found the
// modem.
inline constexpr char kModemName[] = "Zelto Win Modem";
// A main dialog field that a run is about to fill: the modem information during detection, the
// results during the basic function and loopback tests.
inline constexpr char kWaitText[] = "Wait...";

}  // namespace product
