#pragma once
// The product's identity: the names and the texts that say who the tool is and what it looks
// for. Every layer, the dialogs, the report and the tests read them from here.

namespace product {

// The title of the tool's own boxes, and its name in the texts that name it.
inline constexpr char kToolTitle[] = "Kalvex Internal Modem Diagnostics Tool";
// No port answered as a modem of the identification list.
inline constexpr char kNotFoundText[] = "Can not find Kalvex Internal Modem in your system !";
// No identification list in any of the places looked in.
inline constexpr char kListMissingText[] = "Ati3.dat missing !";

}  // namespace product
