#pragma once
// Stopping a detection or a test run early. A stop request (Quit, the close box, a termination
// signal) ends the wait in progress at once; from then on every transaction and pause returns at
// once without sending, so the run unwinds to its end without touching the modem. Putting the
// modem back runs inside a PutBackScope, which a stop request does not cut short: only an
// abandoned put-back (a second termination signal) does. UI thread only (the thread that made the
// token; a debug build checks the requests and the scopes).

#include <utility>

#include "platform/ui_waits.h"
#include "serial/thread_check.h"

namespace modem {

class StopToken {
 public:
  // waker: the UI thread's waits, so that a request ends the wait in progress at once.
  explicit StopToken(platform::UiWaker waker) : waker_(std::move(waker)) {}

  // Asks the running operation to stop. Sticky: the program ends after such a run.
  void Request();
  // Also cuts short the put-back in progress; what is left is reported as not put back.
  void AbandonPutBack();
  [[nodiscard]] bool Requested() const { return requested_; }
  [[nodiscard]] bool PutBackAbandoned() const { return abandoned_; }
  // True when a wait or a command must not go on now: a stop outside a PutBackScope, or an
  // abandoned put-back.
  [[nodiscard]] bool CutsWaits() const { return abandoned_ || (requested_ && putBackDepth_ == 0); }

 private:
  friend class PutBackScope;
  platform::UiWaker waker_;
  bool requested_ = false;
  bool abandoned_ = false;
  int putBackDepth_ = 0;
  serial::ThreadCheck uiThread_;
};

// While one exists, a stop request does not cut waits short: what puts the modem back runs on.
class PutBackScope {
 public:
  explicit PutBackScope(StopToken& stop) : stop_(stop) {
    stop_.uiThread_.Check();
    ++stop_.putBackDepth_;
  }
  ~PutBackScope() { --stop_.putBackDepth_; }
  PutBackScope(const PutBackScope&) = delete;
  PutBackScope& operator=(const PutBackScope&) = delete;

 private:
  StopToken& stop_;
};

}  // namespace modem
