#pragma once
// Standard error, written in one place: every text the program puts there (usage errors, a
// report's progress and questions, debug texts, boxes shown without a display) goes through the
// one StandardErrorStream, so no two texts ever mix, whichever threads write them.

#include <atomic>
#include <mutex>
#include <string_view>

namespace platform {

// The process's standard error: the lock that lets one writer at a time reach descriptor 2,
// and whether the debug texts (serial/debug_output.h) are shown there. There is one, reached
// through StandardError(); it lives from before main until the process ends, so a text written
// from a late destructor at exit still finds it. Any thread.
class StandardErrorStream {
 public:
  constexpr StandardErrorStream() = default;
  StandardErrorStream(const StandardErrorStream&) = delete;
  StandardErrorStream& operator=(const StandardErrorStream&) = delete;

  // Writes text exactly as given, bytes unchanged; a text meant as a line ends with its own
  // newline. Texts never interleave: one writer at a time, and a text is written whole (EINTR
  // and short writes continue it), normally with a single write(). A standard error that stays
  // unwritable for a second, or fails, loses the rest of that text and nothing else.
  void Write(std::string_view text);

  // Whether debug texts reach standard error: they do unless a run that says the same to a
  // person in its own lines (the report, the port listing) turns them off. Set once at start,
  // before any thread; read from any thread. Warnings are written whatever it says.
  void ShowDebugTexts(bool shown) { debugTextsShown_.store(shown); }
  [[nodiscard]] bool DebugTextsShown() const { return debugTextsShown_.load(); }

 private:
  std::mutex writer_;
  std::atomic<bool> debugTextsShown_{true};
};

// The one standard-error stream of the process.
[[nodiscard]] StandardErrorStream& StandardError();

// StandardError().Write(text).
void WriteStandardError(std::string_view text);

}  // namespace platform
