#include "platform/message_pump.h"

#include <poll.h>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QPointer>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <limits>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/clock.h"
#include "platform/event_fd.h"
#include "platform/standard_error.h"
#include "platform/sys_error.h"

namespace platform {
namespace {

// During a wait the tool is not inside a dialog's own loop, so keys are not dialog commands.
// Space still clicks the focused button. The filter acts only at the loop level of the wait in
// progress: a modal dialog opened from inside the wait runs one level deeper and keeps its keys.
class WaitKeyFilter final : public QObject {
 public:
  int activeLevel = -1;

  bool eventFilter(QObject*, QEvent* event) override {
    QEvent::Type type = event->type();
    if (type != QEvent::KeyPress && type != QEvent::KeyRelease &&
        type != QEvent::ShortcutOverride) {
      return false;
    }
    if (activeLevel < 0 || QThread::currentThread()->loopLevel() != activeLevel) return false;
    if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Space) return false;
    // An accepted override tells Qt the key is taken, so no shortcut or mnemonic fires.
    if (type == QEvent::ShortcutOverride) event->accept();
    return true;
  }
};

struct UiWakeup {
  EventFd event;
  std::mutex mutex;  // guards messages
  std::vector<std::pair<std::string, std::string>> messages;
  QPointer<QSocketNotifier> notifier;
  QPointer<QTimer> deadlineTimer;
  QPointer<WaitKeyFilter> keyFilter;
  MessageShower shower = nullptr;  // UI thread only
};

UiWakeup& Wakeup() {
  // Never destroyed: the port may close, and wait, during static destruction at exit.
  static UiWakeup* wakeup = new UiWakeup;
  return *wakeup;
}

void ShowPendingMessages() {
  std::vector<std::pair<std::string, std::string>> messages;
  {
    std::lock_guard lock(Wakeup().mutex);
    messages.swap(Wakeup().messages);
  }
  for (const auto& [text, caption] : messages) {
    if (Wakeup().shower == nullptr) {
      if (StandardError().DebugTextsShown()) WriteStandardError(caption + ": " + text + "\n");
      continue;
    }
    Wakeup().shower(text.c_str(), caption.c_str());
  }
}

// UI thread: hooks the wake-up descriptor, the deadline timer and the key filter into the
// current application (a test may create several applications one after another).
UiWakeup* AttachToApplication() {
  QCoreApplication* app = QCoreApplication::instance();
  if (!app || QThread::currentThread() != app->thread()) return nullptr;
  UiWakeup& wakeup = Wakeup();
  if (!wakeup.notifier && wakeup.event.Valid()) {
    wakeup.notifier = new QSocketNotifier(wakeup.event.Fd(), QSocketNotifier::Read, app);
    QObject::connect(wakeup.notifier, &QSocketNotifier::activated, app, [] {
      Wakeup().event.Drain();
      ShowPendingMessages();
    });
  }
  if (!wakeup.deadlineTimer) {
    wakeup.deadlineTimer = new QTimer(app);
    wakeup.deadlineTimer->setSingleShot(true);
    wakeup.deadlineTimer->setTimerType(Qt::PreciseTimer);
  }
  if (!wakeup.keyFilter) {
    wakeup.keyFilter = new WaitKeyFilter;
    wakeup.keyFilter->setParent(app);
    app->installEventFilter(wakeup.keyFilter);
  }
  return &wakeup;
}

// Marks the current loop level as a wait for the key filter, for one dispatch.
class WaitScope {
 public:
  explicit WaitScope(UiWakeup& wakeup) : filter_(wakeup.keyFilter) {
    saved_ = filter_->activeLevel;
    filter_->activeLevel = QThread::currentThread()->loopLevel();
  }
  ~WaitScope() {
    if (filter_) filter_->activeLevel = saved_;
  }

 private:
  QPointer<WaitKeyFilter> filter_;
  int saved_;
};

// Sleeps until an event has been dispatched or, when there is a deadline, it has passed.
void WaitForEvents(std::optional<int64_t> deadlineMs) {
  // QTimer and poll() take an int of milliseconds; a longer wait just wakes up once between.
  const int64_t left =
      deadlineMs ? std::clamp<int64_t>(*deadlineMs - NowMs(), 0, std::numeric_limits<int>::max())
                 : -1;
  if (UiWakeup* wakeup = AttachToApplication()) {
    WaitScope scope(*wakeup);
    if (deadlineMs) wakeup->deadlineTimer->start(static_cast<int>(left));
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    if (wakeup->deadlineTimer) wakeup->deadlineTimer->stop();
    return;
  }
  UiWakeup& wakeup = Wakeup();
  pollfd pfd{wakeup.event.Fd(), POLLIN, 0};
  if (RetryOnEintr([&] { return ::poll(&pfd, 1, static_cast<int>(left)); }) > 0) {
    wakeup.event.Drain();
    ShowPendingMessages();
  }
}

}  // namespace

void PumpMessages() {
  if (UiWakeup* wakeup = AttachToApplication()) {
    WaitScope scope(*wakeup);
    QCoreApplication::processEvents(QEventLoop::AllEvents);
  }
}

void DelayPumping(int ms) {
  int64_t deadline = NowMs() + ms;
  PumpMessages();
  PumpUntil([] { return false; }, deadline);
}

bool PumpUntil(const std::function<bool()>& done, int64_t deadlineMs) {
  if (done()) return true;
  for (;;) {
    int64_t now = NowMs();
    // The deadline is inclusive: only a reading strictly past it ends the wait.
    if (now > deadlineMs) return false;
    WaitForEvents(deadlineMs < std::numeric_limits<int64_t>::max() ? deadlineMs + 1 : deadlineMs);
    if (done()) return true;
  }
}

void PumpUntil(const std::function<bool()>& done) {
  while (!done()) WaitForEvents(std::nullopt);
}

void WakeUiThread() { Wakeup().event.Signal(); }

void ShowMessageFromAnyThread(const char* text, const char* caption) {
  {
    std::lock_guard lock(Wakeup().mutex);
    Wakeup().messages.emplace_back(text, caption);
  }
  WakeUiThread();
}

void AttachUiWakeup() { AttachToApplication(); }

void SetMessageShower(MessageShower shower) { Wakeup().shower = shower; }

}  // namespace platform
