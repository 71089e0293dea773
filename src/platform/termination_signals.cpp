#include "platform/termination_signals.h"

#include <QCoreApplication>
#include <QPointer>
#include <QSocketNotifier>

#include <fcntl.h>
#include <time.h>
#include <unistd.h>
#include <atomic>
#include <csignal>
#include <cstdint>

#include "platform/debug_output.h"
#include "platform/sys_error.h"

namespace platform {
namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};
// A signal that finds an earlier one unread for this long: the UI thread no longer listens (one
// that does drains the pipe from every wait within milliseconds).
constexpr int64_t kDeafMs = 3000;

int pipeFds[2] = {-1, -1};
std::atomic<int> unheard{0};
std::atomic<int64_t> oldestUnheardMs{0};
static_assert(std::atomic<int64_t>::is_always_lock_free, "touched by the signal handler");

int64_t MonotonicMs() {
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return int64_t(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

std::function<void(int)>& Callback() {
  static std::function<void(int)> callback;
  return callback;
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

void DrainPipe() {
  unsigned char bytes[16];
  ssize_t got;
  while ((got = RetryOnEintr([&] { return ::read(pipeFds[0], bytes, sizeof bytes); })) > 0) {
    unheard.fetch_sub(int(got));
    for (ssize_t i = 0; i < got; ++i) {
      if (Callback()) Callback()(bytes[i]);
    }
  }
}

}  // namespace

bool WatchTerminationSignals(std::function<void(int signalNumber)> onSignal) {
  Callback() = std::move(onSignal);
  if (pipeFds[0] < 0 && ::pipe2(pipeFds, O_NONBLOCK | O_CLOEXEC) != 0) {
    DebugOutputF("Termination signals not watched: %s", DescribeErrno(errno).c_str());
    return false;
  }
  // A test may make several applications one after another; each needs its own notifier.
  static QPointer<QSocketNotifier> notifier;
  if (!notifier) {
    notifier = new QSocketNotifier(pipeFds[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [] { DrainPipe(); });
  }
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int signalNumber : kSignals) ::sigaction(signalNumber, &action, nullptr);
  return true;
}

void IgnoreBrokenPipes() {
  struct sigaction action {};
  action.sa_handler = SIG_IGN;
  ::sigemptyset(&action.sa_mask);
  ::sigaction(SIGPIPE, &action, nullptr);
}

}  // namespace platform
