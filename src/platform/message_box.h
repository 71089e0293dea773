#pragma once
// Message boxes with the classic style bits and results, so callers read like the behaviour
// they implement.

class QWidget;

namespace platform {

inline constexpr unsigned kMbOk = 0x00;
inline constexpr unsigned kMbYesNo = 0x04;
inline constexpr unsigned kMbIconQuestion = 0x20;
inline constexpr unsigned kMbIconExclamation = 0x30;  // the warning icon
inline constexpr unsigned kMbIconInformation = 0x40;

inline constexpr int kIdYes = 6;
inline constexpr int kIdNo = 7;

// Shows a modal box and returns the button pressed: kIdOk (1) for OK, kIdYes or kIdNo; a box
// closed another way (Escape, close box) returns kIdCancel (2) for OK boxes and kIdNo for Yes/No.
// caption null: the program file's name without directory and extension. owner may be null.
// UI thread only; needs a QApplication.
int MessageBox(QWidget* owner, const char* text, const char* caption, unsigned style);

// The program file's name without directory and extension ("kalvex-modem-diag").
const char* ApplicationName();

}  // namespace platform
