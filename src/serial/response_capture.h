#pragma once
// ResponseCapture: the capture of the second line of an answer (with the modem's echo on, the
// first line after the echoed command). The reader thread stores it at a line end; the UI thread
// enables it, resets the line counter before each command, and reads the result.

#include <atomic>
#include <cstdint>
#include <mutex>

#include "serial/line_assembler.h"

namespace serial {

inline constexpr int kCapturedPrefixSize = 3;

class ResponseCapture {
 public:
  std::atomic<int16_t> captureEnabled{0};
  std::atomic<int16_t> captureLineCount{0};

  // Reader thread: copies line as the captured line (at most 79 characters) and its first two
  // characters as the prefix.
  void Store(const char* line);
  // Reader thread: keeps the first line of the answer (the echo of the command), at most 79
  // characters, so a read can tell its own answer from a late or stray one.
  void StoreFirst(const char* line);

  // UI thread: copies of the captured texts, NUL-terminated.
  void CopyLine(char (&out)[kLineSize]) const;
  void CopyPrefix(char (&out)[kCapturedPrefixSize]) const;
  void CopyFirst(char (&out)[kLineSize]) const;
  // UI thread: replaces the captured line (detection cuts it at its first comma).
  void ReplaceLine(const char* line);

 private:
  mutable std::mutex mutex_;  // a late line may be stored while the UI thread reads
  char capturedLine_[kLineSize] = {};
  char capturedPrefix_[kCapturedPrefixSize] = {};
  char firstLine_[kLineSize] = {};
};

}  // namespace serial
