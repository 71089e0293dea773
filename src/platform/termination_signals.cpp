#include "platform/termination_signals.h"

#include <QSocketNotifier>

#include <fcntl.h>
#include <time.h>
#include <unistd.h>
#include <atomic>
#include <csignal>
#include <cstdint>
#include <iterator>

#include "platform/sys_error.h"

namespace platform {
namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};
// A signal that finds an earlier one unread for this long: the UI thread no longer listens. One
// that does drains the pipe from every wait within milliseconds, but a loaded machine can stall
// a process for seconds, and a stall must not cost the user their modem's put-back.
constexpr int64_t kDeafMs = 10000;

int pipeFds[2] = {-1, -1};
std::atomic<int> unheard{0};
std::atomic<int64_t> oldestUnheardMs{0};
static_assert(std::atomic<int64_t>::is_always_lock_free, "touched by the signal handler");

int64_t MonotonicMs() {
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return int64_t(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

void OnSignal(int signalNumber) {
  int savedErrno = errno;
  const int64_t now = MonotonicMs();
  if (unheard.fetch_add(1) == 0) {
    oldestUnheardMs.store(now);
  } else if (now - oldestUnheardMs.load() >= kDeafMs) {
    ::_exit(ExitForSignal(signalNumber));
  }
  unsigned char byte = static_cast<unsigned char>(signalNumber);
  (void)::write(pipeFds[1], &byte, 1);
  errno = savedErrno;
}

// Reads what the handler wrote and calls onSignal for each number; without onSignal it is
// forgotten.
void DrainPipe(const std::function<void(int)>* onSignal) {
  unsigned char bytes[16];
  ssize_t got;
  while ((got = RetryOnEintr([&] { return ::read(pipeFds[0], bytes, sizeof bytes); })) > 0) {
    unheard.fetch_sub(int(got));
    for (ssize_t i = 0; i < got && onSignal != nullptr; ++i) {
      if (*onSignal) (*onSignal)(bytes[i]);
    }
  }
}

}  // namespace

TerminationSignalWatch::TerminationSignalWatch(std::function<void(int)> onSignal)
    : onSignal_(std::make_shared<std::function<void(int)>>(std::move(onSignal))) {
  static_assert(std::size(kSignals) == std::size(decltype(before_){}));
  if (pipeFds[0] < 0 && ::pipe2(pipeFds, O_NONBLOCK | O_CLOEXEC) != 0) {
    watchError_ = errno;
    return;
  }
  notifier_ = std::make_unique<QSocketNotifier>(pipeFds[0], QSocketNotifier::Read);
  // A weak hold: a call that ends the watch while signals are being heard stops the rest.
  QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(),
                   [held = std::weak_ptr(onSignal_)] {
                     const std::shared_ptr<std::function<void(int)>> onSignal = held.lock();
                     DrainPipe(onSignal.get());
                   });
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (size_t i = 0; i < std::size(kSignals); ++i) ::sigaction(kSignals[i], &action, &before_[i]);
}

TerminationSignalWatch::~TerminationSignalWatch() {
  if (!notifier_) return;
  for (size_t i = 0; i < std::size(kSignals); ++i) ::sigaction(kSignals[i], &before_[i], nullptr);
  notifier_.reset();
  onSignal_.reset();
  DrainPipe(nullptr);
}

void TerminationSignalWatch::Hear(std::function<void(int)> onSignal) {
  *onSignal_ = std::move(onSignal);
}

void IgnoreBrokenPipes() {
  struct sigaction action {};
  action.sa_handler = SIG_IGN;
  ::sigemptyset(&action.sa_mask);
  ::sigaction(SIGPIPE, &action, nullptr);
}

}  // namespace platform
