#pragma once
// LineAssembler: the receive side of the port. It turns the bytes the reader takes from the
// device into lines, counts and captures them while the capture is on, and matches every line
// that ends against the expected texts.
//
// A line ends at CR or LF; a run of them (even one split between chunks) ends one line. A line
// that reaches kLineBufSize bytes without an end is dropped and assembly starts again; the line
// that ends is then marked as cut. A line is matched as a C string, so a NUL hides the rest of it;
// it matches when it holds any expected text. After a match no line is counted, captured or
// matched until the next AddExpected.
//
// Lines are read by what they are: the echo of the command in progress (BeginCommand) is neither
// matched nor captured, result codes and unsolicited codes ("OK", "RING", "NO CARRIER", ...) are
// never the captured answer, and the answer captured is the first other line that is not empty.
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

#include "platform/ui_waits.h"

namespace serial {

class ResponseCapture;

// True when line, spaces around it aside and in any letter case, is a result code a modem ends a
// command with or an unsolicited code it sends on its own: "OK", "ERROR", "RING", "NO CARRIER",
// "NO DIALTONE", "BUSY", "NO ANSWER", "CONNECT" with or without its rate. Never an answer's text.
[[nodiscard]] bool IsResultCode(std::string_view line);

// Which lines the expected texts are looked for in.
enum class MatchScope {
  kAnyLine,     // every line but the command's echo: a result code is what most commands await
  kAnswerLine,  // only answer lines (not the echo, a result code or empty), and none that was cut
};

// A line as the tool keeps and hands it on: 79 characters and a NUL.
inline constexpr int kLineSize = 80;
inline constexpr int kLineBufSize = 256;
inline constexpr int kMaxExpected = 30;
inline constexpr int kExpectTextSize = 100;  // 99 characters and a NUL

class LineAssembler {
 public:
  // capture is filled at line ends while it is enabled. onLine, when set, gets every line as it
  // ends (up to kLineBufSize - 1 bytes, cut true when bytes before them were dropped), on the
  // receiving thread, before the line is matched. waker is woken at every line end.
  explicit LineAssembler(ResponseCapture& capture,
                         std::function<void(std::string_view line, bool cut)> onLine = {},
                         platform::UiWaker waker = {});
  LineAssembler(const LineAssembler&) = delete;
  LineAssembler& operator=(const LineAssembler&) = delete;

  // Receiving thread: assembles one chunk. Each line end wakes the UI thread (the waker) after
  // its match is stored, so a waiter never sees the line without it.
  void Receive(const char* data, unsigned length);

  // Before a command is sent: echo is the line the modem sends back for it ("atI3", letter case
  // aside; empty for bytes that get no echo), and scope says where its expected texts count.
  // untilEcho: every line before that echo belongs to an earlier command whose answer came late,
  // and is neither counted, captured nor matched. Clears EchoSeen and CommandResults.
  void BeginCommand(std::string_view echo, bool untilEcho = false,
                    MatchScope scope = MatchScope::kAnyLine);
  // True once the echo given to BeginCommand has ended as a line.
  [[nodiscard]] bool EchoSeen() const { return echoSeen_.load(); }
  // Result codes ended since the assembler was made, counted whatever else they did: a late
  // answer has come when this moves on.
  [[nodiscard]] unsigned ResultLines() const { return resultLines_.load(); }
  // Result codes ended since BeginCommand, lines before the awaited echo aside, matched or not:
  // more than one means the command's answer is not alone.
  [[nodiscard]] unsigned CommandResults() const { return commandResults_.load(); }

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
  void MatchLine(bool cut, bool echo);  // with mutex_ held

  ResponseCapture& capture_;
  std::function<void(std::string_view, bool)> onLine_;
  platform::UiWaker waker_;
  // Receiving thread only.
  char lineBuf_[kLineBufSize] = {};
  uint16_t linePos_ = 0;
  bool inTerminatorRun_ = false;  // carried across chunks: a CR LF split by a read ends one line
  bool lineCut_ = false;          // bytes of the line being assembled were dropped

  mutable std::mutex mutex_;
  char expectTexts_[kMaxExpected][kExpectTextSize] = {};  // guarded by mutex_
  char lastLine_[kLineSize] = {};                         // guarded by mutex_
  char echo_[kLineBufSize] = {};                          // guarded by mutex_
  bool untilEcho_ = false;                                // guarded by mutex_
  MatchScope scope_ = MatchScope::kAnyLine;               // guarded by mutex_
  std::atomic<bool> echoSeen_{false};
  std::atomic<unsigned> resultLines_{0};
  std::atomic<unsigned> commandResults_{0};
  std::atomic<uint16_t> expectCount_{0};
  std::atomic<bool> matched_{false};
  std::atomic<int> matchedIndex_{-1};
};

}  // namespace serial
