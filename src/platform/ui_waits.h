#pragma once
// Waiting on the UI thread while the user interface keeps running, and waking such a wait from
// another thread.
//
// A UiWaits belongs to whoever runs the UI thread's work (the program's session, a port probe, a
// test) and lives as long as the waits and wake-ups that use it; a UiWaker handed to another
// thread keeps the wake-up channel itself alive, so a thread may wake it after its owner is gone.
// With a Qt application on the UI thread the waits dispatch its events; without one they sleep on
// the wake-up channel alone.

#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace platform {

struct WakeupChannel;

// Any thread: makes a wait in progress on the UI thread look at its condition again, and hands it
// messages to show. Copyable; a default-made one wakes nothing.
class UiWaker {
 public:
  UiWaker() = default;

  // Cheap and never blocks.
  void Wake() const;
  // Shows text and caption on the UI thread at its next wait or event loop pass, so the calling
  // thread never blocks on the user: through the owner's message shower, or on standard error
  // while none is set.
  void ShowMessage(std::string text, std::string caption) const;

 private:
  friend class UiWaits;
  explicit UiWaker(std::shared_ptr<WakeupChannel> channel) : channel_(std::move(channel)) {}
  std::shared_ptr<WakeupChannel> channel_;
};

class UiWaits {
 public:
  UiWaits();
  ~UiWaits();  // UI thread
  UiWaits(const UiWaits&) = delete;
  UiWaits& operator=(const UiWaits&) = delete;

  // A handle for other threads (and for the UI thread's own requests).
  [[nodiscard]] UiWaker Waker() const { return UiWaker(channel_); }

  // UI thread, all of the following.

  // Dispatches every pending event, then returns.
  void Pump();
  // Dispatches events until more than ms milliseconds have passed; at least one pass runs.
  void Delay(int ms);
  // Dispatches events until done() returns true (checked first, then after each event) or the
  // clock reads past deadlineMs (platform::NowMs). True when done() ended it.
  bool Until(const std::function<bool()>& done, int64_t deadlineMs);
  // As above with no deadline at all: a wait for an answer that may never time out.
  void Until(const std::function<bool()>& done);

  // Connects the wake-up channel to the running application, so that wake-ups and messages are
  // handled even before the first wait. Harmless to repeat; nothing without an application.
  void Attach();

  // How the waker's messages are shown; empty: on standard error. Set it before the first
  // message it should show, and clear it before what it calls goes away.
  using MessageShower = std::function<void(const std::string& text, const std::string& caption)>;
  void SetMessageShower(MessageShower shower) { shower_ = std::move(shower); }

  // The event loop level of the wait dispatching now, or -1 when none is: a dialog opened from
  // inside a wait runs one level deeper and is not part of it.
  [[nodiscard]] int WaitLoopLevel() const { return waitLevel_; }

 private:
  class Dispatch;
  [[nodiscard]] bool AttachToApplication();
  void WaitForEvents(int64_t deadlineMs, bool hasDeadline);
  void ShowPendingMessages();

  std::shared_ptr<WakeupChannel> channel_;
  MessageShower shower_;
  int waitLevel_ = -1;
  // Children of the application they were made for: a test may make several, one after another.
  QPointer<QSocketNotifier> notifier_;
  QPointer<QTimer> deadlineTimer_;
};

}  // namespace platform
