#pragma once
// The terminal a run without a display talks to: whether standard input and standard error are
// terminals, and the lines typed on standard input, read without blocking the event loop.

#include <functional>
#include <memory>
#include <string>

namespace platform {

// True when the descriptor is a terminal (a pipe, a file or /dev/null is not). Any thread.
[[nodiscard]] bool StandardInputIsTerminal();
[[nodiscard]] bool StandardErrorIsTerminal();

// Calls onLine with each line typed on standard input (without its newline), and once with
// ended = true at end of input or on a read error; nothing more after that. Reads only what is
// there when the event loop says it is readable, so a wait that pumps messages never blocks on
// the user. UI thread, with a Qt application; the calls stop when the object is destroyed.
class StandardInputLines {
 public:
  using Callback = std::function<void(const std::string& line, bool ended)>;
  explicit StandardInputLines(Callback onLine);
  ~StandardInputLines();
  StandardInputLines(const StandardInputLines&) = delete;
  StandardInputLines& operator=(const StandardInputLines&) = delete;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace platform
