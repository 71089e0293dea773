#pragma once
// SIGTERM, SIGINT and SIGHUP (a logout, kill, Ctrl-C) turned into a call on the UI thread.

#include <csignal>
#include <functional>
#include <memory>

class QSocketNotifier;

namespace platform {

// The exit status of a process ended by signal n, as a shell reports it.
[[nodiscard]] constexpr int ExitForSignal(int signalNumber) { return 128 + signalNumber; }

// While it lives, each of those signals calls onSignal(signal number) on the UI thread, from its
// event loop or any wait that pumps it. The signal handler itself only writes the number into
// a pipe. A signal that finds an earlier one unread for 10 s ends the process at once with
// ExitForSignal(its number), for a UI thread that no longer listens; one that listens hears
// every signal, however many come and however fast. Its end gives the signals back the actions
// they had before and forgets what was heard but not yet called. One at a time, on the UI thread,
// with a Qt application; Watching() is false (signals left as they were) when the pipe cannot be
// made, and WatchError() then holds its errno, for the caller to say.
class TerminationSignalWatch {
 public:
  explicit TerminationSignalWatch(std::function<void(int signalNumber)> onSignal);
  ~TerminationSignalWatch();
  TerminationSignalWatch(const TerminationSignalWatch&) = delete;
  TerminationSignalWatch& operator=(const TerminationSignalWatch&) = delete;

  [[nodiscard]] bool Watching() const { return notifier_ != nullptr; }
  [[nodiscard]] int WatchError() const { return watchError_; }
  // From now on a signal calls onSignal instead.
  void Hear(std::function<void(int signalNumber)> onSignal);

 private:
  std::shared_ptr<std::function<void(int)>> onSignal_;
  std::unique_ptr<QSocketNotifier> notifier_;
  struct sigaction before_[3]{};
  int watchError_ = 0;
};

// A write to a pipe or socket whose reader has gone fails with EPIPE instead of ending the
// process: standard output or error closed under the tool must not stop it in the middle of
// putting the modem back. Call once at start-up, before any thread.
void IgnoreBrokenPipes();

}  // namespace platform
