#include "platform/ui_waits.h"

#include <poll.h>
#include <QCoreApplication>
#include <QThread>
#include <algorithm>
#include <limits>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/clock.h"
#include "platform/event_fd.h"
#include "platform/standard_error.h"
#include "platform/sys_error.h"

namespace platform {

struct WakeupChannel {
  EventFd event;
  std::mutex mutex;  // guards messages
  std::vector<std::pair<std::string, std::string>> messages;
};

void UiWaker::Wake() const {
  if (channel_) channel_->event.Signal();
}

void UiWaker::ShowMessage(std::string text, std::string caption) const {
  if (!channel_) return;
  {
    std::lock_guard lock(channel_->mutex);
    channel_->messages.emplace_back(std::move(text), std::move(caption));
  }
  Wake();
}

// Marks the current loop level as a wait's for one dispatch.
class UiWaits::Dispatch {
 public:
  explicit Dispatch(UiWaits& waits) : waits_(waits), saved_(waits.waitLevel_) {
    waits_.waitLevel_ = QThread::currentThread()->loopLevel();
  }
  ~Dispatch() { waits_.waitLevel_ = saved_; }
  Dispatch(const Dispatch&) = delete;
  Dispatch& operator=(const Dispatch&) = delete;

 private:
  UiWaits& waits_;
  int saved_;
};

UiWaits::UiWaits() : channel_(std::make_shared<WakeupChannel>()) {}

UiWaits::~UiWaits() {
  delete notifier_.data();
  delete deadlineTimer_.data();
}

void UiWaits::ShowPendingMessages() {
  std::vector<std::pair<std::string, std::string>> messages;
  {
    std::lock_guard lock(channel_->mutex);
    messages.swap(channel_->messages);
  }
  for (const auto& [text, caption] : messages) {
    if (shower_)
      shower_(text, caption);
    else
      WriteStandardError(caption + ": " + text + "\n");
  }
}

bool UiWaits::AttachToApplication() {
  QCoreApplication* app = QCoreApplication::instance();
  if (!app || QThread::currentThread() != app->thread()) return false;
  if (!notifier_ && channel_->event.Valid()) {
    notifier_ = new QSocketNotifier(channel_->event.Fd(), QSocketNotifier::Read, app);
    QObject::connect(notifier_, &QSocketNotifier::activated, app, [this] {
      channel_->event.Drain();
      ShowPendingMessages();
    });
  }
  if (!deadlineTimer_) {
    deadlineTimer_ = new QTimer(app);
    deadlineTimer_->setSingleShot(true);
    deadlineTimer_->setTimerType(Qt::PreciseTimer);
  }
  return true;
}

void UiWaits::Attach() { (void)AttachToApplication(); }

// Sleeps until an event has been dispatched or, when there is a deadline, it has passed.
void UiWaits::WaitForEvents(int64_t deadlineMs, bool hasDeadline) {
  // QTimer and poll() take an int of milliseconds; a longer wait just wakes up once between.
  const int64_t left =
      hasDeadline ? std::clamp<int64_t>(deadlineMs - NowMs(), 0, std::numeric_limits<int>::max())
                  : -1;
  if (AttachToApplication()) {
    Dispatch dispatch(*this);
    if (hasDeadline) deadlineTimer_->start(static_cast<int>(left));
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    if (deadlineTimer_) deadlineTimer_->stop();
    return;
  }
  pollfd pfd{channel_->event.Fd(), POLLIN, 0};
  if (RetryOnEintr([&] { return ::poll(&pfd, 1, static_cast<int>(left)); }) > 0) {
    channel_->event.Drain();
    ShowPendingMessages();
  }
}

void UiWaits::Pump() {
  if (!AttachToApplication()) return;
  Dispatch dispatch(*this);
  QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void UiWaits::Delay(int ms) {
  const int64_t deadline = NowMs() + ms;
  Pump();
  Until([] { return false; }, deadline);
}

bool UiWaits::Until(const std::function<bool()>& done, int64_t deadlineMs) {
  if (done()) return true;
  for (;;) {
    // The deadline is inclusive: only a reading strictly past it ends the wait.
    if (NowMs() > deadlineMs) return false;
    WaitForEvents(deadlineMs < std::numeric_limits<int64_t>::max() ? deadlineMs + 1 : deadlineMs,
                  true);
    if (done()) return true;
  }
}

void UiWaits::Until(const std::function<bool()>& done) {
  while (!done()) WaitForEvents(0, false);
}

}  // namespace platform
