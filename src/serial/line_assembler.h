#pragma once
// LineAssembler: the receive side of the port. It turns the bytes the reader takes from the
// device into lines, counts and captures them while the capture is on, and matches every line
// that ends against the expected texts.
//
// A line ends at CR or LF; a run of them (even one split between chunks) ends one line. A line
// that reaches kLineBufSize bytes without an end is dropped and assembly starts again. A line is
// matched as a C string, so a NUL hides the rest of it; it matches when it holds any expected
// text. After a match no line is counted, captured or matched until the next AddExpected.
//
// Threads: Receive and PendingLength on one thread at a time (the port's reader); every other
// operation on any thread (the UI thread in the program). A short mutex guards the expected texts,
// the last line and the line-end work, so an update of the table never meets a half-matched line;
// matched and its index are atomics. No operation fails: excess input is dropped as described.

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

namespace serial {

class ResponseCapture;

// A line as the tool keeps and hands it on: 79 characters and a NUL.
inline constexpr int kLineSize = 80;
inline constexpr int kLineBufSize = 256;
inline constexpr int kMaxExpected = 30;
inline constexpr int kExpectTextSize = 100;  // 99 characters and a NUL

class LineAssembler {
 public:
  // capture is filled at line ends while it is enabled. onLine, when set, gets every line as it
  // ends (up to kLineBufSize - 1 bytes), on the receiving thread, before the line is matched.
  explicit LineAssembler(ResponseCapture& capture,
                         std::function<void(std::string_view line)> onLine = {});
  LineAssembler(const LineAssembler&) = delete;
  LineAssembler& operator=(const LineAssembler&) = delete;

  // Receiving thread: assembles one chunk. Each line end wakes the UI thread
  // (platform::WakeUiThread) after its match is stored, so a waiter never sees the line without
  // it.
  void Receive(const char* data, unsigned length);

  // Stores text (at most 99 characters are kept) and clears the match; a 31st text is ignored
  // and leaves the match alone.
  void AddExpected(const char* text);
  // Forgets the texts; the match is left as it is.
  void ClearExpected();
  // True once a line holding an expected text has ended since the last AddExpected.
  [[nodiscard]] bool IsMatched() const { return matched_.load(); }
  // Which expected text (0 for the first added) the matching line held; -1 before a match.
  [[nodiscard]] int MatchedIndex() const { return matchedIndex_.load(); }
  // How many expected texts are stored (at most kMaxExpected).
  [[nodiscard]] int ExpectedCount() const { return expectCount_.load(); }
  // The expected text at index as stored (cut to 99 characters); empty past the count.
  [[nodiscard]] std::string ExpectedText(int index) const;
  // The last line that ended since ClearLastLine, cut to kLineSize - 1 characters (empty when
  // none did), for saying what came back instead of an expected text.
  void CopyLastLine(char (&out)[kLineSize]) const;
  void ClearLastLine();
  // Receiving thread, or while none receives: the bytes of the line being assembled, not yet
  // ended (fewer than kLineBufSize).
  [[nodiscard]] unsigned PendingLength() const { return linePos_; }

 private:
  void EndLine();
  void MatchLine();  // with mutex_ held

  ResponseCapture& capture_;
  std::function<void(std::string_view)> onLine_;
  // Receiving thread only.
  char lineBuf_[kLineBufSize] = {};
  uint16_t linePos_ = 0;
  bool inTerminatorRun_ = false;  // carried across chunks: a CR LF split by a read ends one line

  mutable std::mutex mutex_;
  char expectTexts_[kMaxExpected][kExpectTextSize] = {};  // guarded by mutex_
  char lastLine_[kLineSize] = {};                         // guarded by mutex_
  std::atomic<uint16_t> expectCount_{0};
  std::atomic<bool> matched_{false};
  std::atomic<int> matchedIndex_{-1};
};

}  // namespace serial
