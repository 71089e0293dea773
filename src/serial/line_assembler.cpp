#include "serial/line_assembler.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <utility>

#include "platform/message_pump.h"
#include "serial/response_capture.h"

namespace serial {

LineAssembler::LineAssembler(ResponseCapture& capture,
                             std::function<void(std::string_view line)> onLine)
    : capture_(capture), onLine_(std::move(onLine)) {}

void LineAssembler::Receive(const char* data, unsigned length) {
  for (unsigned i = 0; i < length; ++i) {
    char c = data[i];
    if (c != '\r' && c != '\n') {
      inTerminatorRun_ = false;
      lineBuf_[linePos_++] = c;
      if (linePos_ == kLineBufSize) linePos_ = 0;  // too long: dropped without a line end
    } else if (!inTerminatorRun_) {
      inTerminatorRun_ = true;
      EndLine();
      linePos_ = 0;
    }
  }
}

void LineAssembler::EndLine() {
  lineBuf_[linePos_] = '\0';
  if (onLine_) onLine_(std::string_view(lineBuf_, linePos_));
  {
    std::lock_guard lock(mutex_);
    size_t kept = std::min<size_t>(linePos_, sizeof lastLine_ - 1);
    std::memcpy(lastLine_, lineBuf_, kept);
    lastLine_[kept] = '\0';
    MatchLine();
  }
  // Every line may be the end a waiting UI thread looks for, whether it matched or not; the
  // wake-up comes after the match is stored, so the waiter never sees the line without it.
  platform::WakeUiThread();
}

void LineAssembler::MatchLine() {
  if (matched_.load()) return;
  if (capture_.captureEnabled.load()) {
    int16_t count = capture_.captureLineCount.load();
    if (count < INT16_MAX) capture_.captureLineCount.store(++count);
    if (count == 1) capture_.StoreFirst(lineBuf_);
    if (count == 2) capture_.Store(lineBuf_);
  }
  uint16_t texts = expectCount_.load();
  for (uint16_t i = 0; i < texts; ++i) {
    if (std::strstr(lineBuf_, expectTexts_[i])) {
      matchedIndex_.store(i);
      matched_.store(true);
      return;
    }
  }
}

void LineAssembler::AddExpected(const char* text) {
  std::lock_guard lock(mutex_);
  uint16_t count = expectCount_.load();
  if (count >= kMaxExpected) return;
  size_t length = strnlen(text, kExpectTextSize - 1);
  std::memcpy(expectTexts_[count], text, length);
  expectTexts_[count][length] = '\0';
  expectCount_.store(count + 1);
  matchedIndex_.store(-1);
  matched_.store(false);
}

void LineAssembler::ClearExpected() {
  std::lock_guard lock(mutex_);
  expectCount_.store(0);
}

std::string LineAssembler::ExpectedText(int index) const {
  std::lock_guard lock(mutex_);
  if (index < 0 || index >= expectCount_.load()) return {};
  return expectTexts_[index];
}

void LineAssembler::CopyLastLine(char (&out)[kLineSize]) const {
  std::lock_guard lock(mutex_);
  std::memcpy(out, lastLine_, sizeof out);
}

void LineAssembler::ClearLastLine() {
  std::lock_guard lock(mutex_);
  lastLine_[0] = '\0';
}

}  // namespace serial
