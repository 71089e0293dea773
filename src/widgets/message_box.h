#pragma once
// Message boxes named by their buttons and icon, answering with the button pressed, so a caller
// names the box it shows and the answer it checks in one line each.

#include <string>

class QWidget;

namespace widgets {

enum class BoxButtons { kOk, kYesNo };
enum class BoxIcon { kNone, kQuestion, kWarning, kInformation };
enum class BoxAnswer { kOk, kYes, kNo };

// Shows a modal box and returns the button pressed. Escape or the close box on an OK box counts
// as OK, and on a Yes/No box as No. text and caption are 8-bit
// and shown as plain text, never markup. caption null: the program file's name without directory
// and extension. owner may be null. details, when given, is shown behind the box's "Show Details"
// button (local 8-bit, plain text). UI thread. Without a QApplication the text and details go to
// standard error and the answer is OK (No for Yes/No).
BoxAnswer MessageBox(QWidget* owner, const char* text, const char* caption, BoxButtons buttons,
                     BoxIcon icon = BoxIcon::kNone, const char* details = nullptr);

// Shows a modeless warning box with text and caption (8-bit, plain text) and returns at once: it
// stalls nothing that waits meanwhile. Without a QApplication the text goes to standard error. UI
// thread; what the dialogs show messages from other threads with (platform::UiWaits).
void ShowModelessWarning(const char* text, const char* caption);

// The program file's name without directory and extension ("kalvex-modem-diag"), from the
// running executable, not argv[0]. UI thread.
std::string ApplicationName();

}  // namespace widgets
