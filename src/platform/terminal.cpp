#include "platform/terminal.h"

#include <QSocketNotifier>

#include <unistd.h>
#include <cerrno>

#include "platform/sys_error.h"

namespace platform {

bool StandardInputIsTerminal() { return ::isatty(STDIN_FILENO) == 1; }

bool StandardErrorIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

struct StandardInputLines::State {
  Callback onLine;
  std::string pending;
  bool ended = false;
  std::unique_ptr<QSocketNotifier> notifier;

  void ReadAvailable() {
    char buffer[256];
    // One read per readiness: a terminal in canonical mode hands over one line at a time, and
    // a second read here would block until the next one is typed.
    const ssize_t got = RetryOnEintr([&] { return ::read(STDIN_FILENO, buffer, sizeof buffer); });
    if (got < 0 && errno == EAGAIN) return;
    if (got <= 0) {
      End();
      return;
    }
    pending.append(buffer, size_t(got));
    size_t newline;
    while (!ended && (newline = pending.find('\n')) != std::string::npos) {
      std::string line = pending.substr(0, newline);
      pending.erase(0, newline + 1);
      onLine(line, false);
    }
  }

  void End() {
    if (ended) return;
    ended = true;
    notifier->setEnabled(false);
    onLine(pending, true);
  }
};

StandardInputLines::StandardInputLines(Callback onLine) : state_(std::make_unique<State>()) {
  state_->onLine = std::move(onLine);
  state_->notifier = std::make_unique<QSocketNotifier>(STDIN_FILENO, QSocketNotifier::Read);
  State* state = state_.get();
  QObject::connect(state_->notifier.get(), &QSocketNotifier::activated, state_->notifier.get(),
                   [state] { state->ReadAvailable(); });
}

StandardInputLines::~StandardInputLines() = default;

}  // namespace platform
