// The line assembler fed random chunk sequences interleaved with expected-text and capture
// changes, as the two threads produce them. Each input is a little program:
//   0: a chunk of up to 160 bytes    1: AddExpected(text of up to 120 bytes)   2: ClearExpected
//   3: capture on, counter reset     4: capture off
#include <cassert>
#include <cstdint>
#include <cstring>

#include "serial/line_assembler.h"
#include "serial/response_capture.h"

namespace {

void CheckInvariants(const serial::LineAssembler& lines, const serial::ResponseCapture& capture) {
  if (lines.PendingLength() >= unsigned(serial::kLineBufSize)) __builtin_trap();
  if (lines.ExpectedCount() > serial::kMaxExpected) __builtin_trap();
  if (lines.IsMatched() != (lines.MatchedIndex() >= 0)) __builtin_trap();
  char line[serial::kLineSize];
  capture.CopyLine(line);
  if (!std::memchr(line, '\0', sizeof line)) __builtin_trap();
  lines.CopyLastLine(line);
  if (!std::memchr(line, '\0', sizeof line)) __builtin_trap();
  char prefix[serial::kCapturedPrefixSize];
  capture.CopyPrefix(prefix);
  if (!std::memchr(prefix, '\0', sizeof prefix)) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  serial::ResponseCapture capture;
  serial::LineAssembler lines{capture};
  size_t at = 0;
  while (at < size) {
    uint8_t op = data[at++] % 5;
    size_t length = at < size ? data[at++] : 0;
    if (op <= 1) length = length > size - at ? size - at : length;
    switch (op) {
      case 0:
        lines.Receive(reinterpret_cast<const char*>(data + at),
                      static_cast<unsigned>(length % 161));
        at += length % 161;
        break;
      case 1: {
        char text[121] = {};
        size_t n = length % 121;
        std::memcpy(text, data + at, n);
        lines.AddExpected(text);
        at += n;
        break;
      }
      case 2: lines.ClearExpected(); break;
      case 3:
        capture.captureEnabled = 1;
        capture.captureLineCount = 0;
        break;
      default: capture.captureEnabled = 0; break;
    }
    CheckInvariants(lines, capture);
  }
  return 0;
}
