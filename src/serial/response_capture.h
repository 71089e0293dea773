#pragma once
// ResponseCapture: the capture of the answer to a command: the first line after the command's
// echo that is neither a result code, an unsolicited code nor empty (LineAssembler says which
// lines those are). The reader thread stores it at a line end; the UI thread enables it,
// restarts it before each command, and reads the result.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "serial/line_assembler.h"

namespace serial {

inline constexpr int kCapturedPrefixSize = 3;

class ResponseCapture {
 public:
  std::atomic<int16_t> captureEnabled{0};
  // Lines counted since the last Restart while the capture was on and nothing had matched, the
  // echo included.
  std::atomic<int16_t> captureLineCount{0};
  // Answer lines among them: the first is the one captured.
  std::atomic<int16_t> answerLines{0};

  // UI thread, before a command goes out: nothing counted, no answer captured yet. The texts of
  // the last capture stay until the next one.
  void Restart();

  // Reader thread: keeps line (length bytes, NULs included; cut when bytes before it were
  // dropped) as the answer: whole, and as the captured line of at most 79 characters up to its
  // first NUL, with its first two characters as the prefix.
  void Store(const char* line, size_t length, bool cut);

  // UI thread: copies of the captured texts, NUL-terminated.
  void CopyLine(char (&out)[kLineSize]) const;
  void CopyPrefix(char (&out)[kCapturedPrefixSize]) const;
  // UI thread: the captured answer as received, every byte up to the line limit; *cut, when
  // given, says whether bytes of it were dropped on the way (it was longer than the line limit).
  [[nodiscard]] std::string WholeLine(bool* cut = nullptr) const;
  // UI thread: replaces the captured line (detection cuts it at its first comma).
  void ReplaceLine(const char* line);

 private:
  mutable std::mutex mutex_;  // a late line may be stored while the UI thread reads
  char capturedLine_[kLineSize] = {};
  char capturedPrefix_[kCapturedPrefixSize] = {};
  char wholeLine_[kLineBufSize] = {};
  size_t wholeLength_ = 0;
  bool wholeCut_ = false;
};

}  // namespace serial
