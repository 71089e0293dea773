#pragma once
// Message boxes chosen by style bits (buttons, icon) that answer with a button number, so a
// caller names the box it shows and the answer it checks in one line each.

class QWidget;

namespace widgets {

inline constexpr unsigned kMbOk = 0x00;
inline constexpr unsigned kMbYesNo = 0x04;
inline constexpr unsigned kMbIconQuestion = 0x20;
inline constexpr unsigned kMbIconExclamation = 0x30;  // the warning icon
inline constexpr unsigned kMbIconInformation = 0x40;

inline constexpr int kIdYes = 6;
inline constexpr int kIdNo = 7;

// Shows a modal box and returns the button pressed: kIdOk (1) for OK, kIdYes or kIdNo. Escape or
// the close box on an OK box counts as OK, and on a Yes/No box as No. text and caption are 8-bit
// and shown as plain text, never markup. caption null: the program file's name without directory
// and extension. owner may be null. details, when given, is shown behind the box's "Show Details"
// button (local 8-bit, plain text). UI thread. Without a QApplication the text and details go to
// standard error and the result is kIdOk (kIdNo for Yes/No).
int MessageBox(QWidget* owner, const char* text, const char* caption, unsigned style,
               const char* details = nullptr);

// Shows a modeless warning box with text and caption (8-bit, plain text) and returns at once: it
// stalls nothing that waits meanwhile. Without a QApplication the text goes to standard error. UI
// thread; fits platform::SetMessageShower.
void ShowModelessWarning(const char* text, const char* caption);

// The program file's name without directory and extension ("kalvex-modem-diag"), from the
// running executable, not argv[0]. Valid until the next call. UI thread.
const char* ApplicationName();

}  // namespace widgets
