#pragma once
// Waiting on the UI thread while the user interface keeps running.
//
// While these functions dispatch, key presses do nothing except Space (which still clicks the
// focused button): a wait is not a dialog's own loop, so Tab, Enter, Escape and mnemonics are not
// dialog commands. Mouse clicks and the close box work. A modal dialog opened from inside a wait
// has its keys back. Without a Qt application the waits sleep.

#include <cstdint>
#include <functional>

namespace platform {

// Dispatches every pending event of the UI thread, then returns.
void PumpMessages();

// Dispatches events until more than ms milliseconds have passed; at least one pass runs. The
// thread sleeps between events.
void DelayPumping(int ms);

// Dispatches events until done() returns true (checked first, then after each event) or the
// clock reads past deadlineMs. True when done() ended it. Sleeps between events.
bool PumpUntil(const std::function<bool()>& done, int64_t deadlineMs);

// Dispatches events until done() returns true (checked first, then after each event), however
// long that takes: a wait for an answer with no deadline at all. Sleeps between events.
void PumpUntil(const std::function<bool()>& done);

// Any thread, including one that must not touch Qt: makes a PumpUntil in progress on the UI
// thread look at its condition again. Cheap, and never blocks.
void WakeUiThread();

// Any thread: shows text and caption on the UI thread at its next pump or event loop pass, so
// the calling thread never blocks on the user: through the shower set by SetMessageShower, or on
// the debug output while none is set.
void ShowMessageFromAnyThread(const char* text, const char* caption);

// How ShowMessageFromAnyThread's messages are shown on the UI thread (the dialogs set a modeless
// warning box); null: on the debug output. UI thread, before the first message it should show.
using MessageShower = void (*)(const char* text, const char* caption);
void SetMessageShower(MessageShower shower);

// UI thread: connects the wake-up channel to the running application so that wake-ups and
// messages from other threads are handled even before the first wait. Harmless to repeat.
void AttachUiWakeup();

}  // namespace platform
