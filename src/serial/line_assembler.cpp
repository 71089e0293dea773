#include "serial/line_assembler.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstring>
#include <utility>

#include "serial/response_capture.h"

namespace serial {
namespace {

// The codes of V.250 that end a command, and RING, which a modem sends whenever a call comes.
constexpr std::string_view kResultCodes[] = {"OK",   "ERROR",     "RING",        "NO CARRIER",
                                             "BUSY", "NO ANSWER", "NO DIALTONE", "NO DIAL TONE"};
// CONNECT carries the rate after it on most modems: "CONNECT 33600/ARQ".
constexpr std::string_view kConnect = "CONNECT";

bool SameLetters(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::toupper(static_cast<unsigned char>(x)) ==
                  std::toupper(static_cast<unsigned char>(y));
         });
}

std::string_view Trimmed(std::string_view line) {
  const size_t start = line.find_first_not_of(' ');
  if (start == std::string_view::npos) return {};
  return line.substr(start, line.find_last_not_of(' ') - start + 1);
}

}  // namespace

bool IsResultCode(std::string_view line) {
  const std::string_view code = Trimmed(line);
  for (std::string_view result : kResultCodes) {
    if (SameLetters(code, result)) return true;
  }
  if (code.size() < kConnect.size() || !SameLetters(code.substr(0, kConnect.size()), kConnect))
    return false;
  return code.size() == kConnect.size() || code[kConnect.size()] == ' ';
}

LineAssembler::LineAssembler(ResponseCapture& capture,
                             std::function<void(std::string_view line, bool cut)> onLine,
                             platform::UiWaker waker)
    : capture_(capture), onLine_(std::move(onLine)), waker_(std::move(waker)) {}

void LineAssembler::Receive(const char* data, unsigned length) {
  for (unsigned i = 0; i < length; ++i) {
    char c = data[i];
    if (c != '\r' && c != '\n') {
      inTerminatorRun_ = false;
      lineBuf_[linePos_++] = c;
      if (linePos_ == kLineBufSize) {  // too long: dropped without a line end
        linePos_ = 0;
        lineCut_ = true;
      }
    } else if (!inTerminatorRun_) {
      inTerminatorRun_ = true;
      EndLine();
      linePos_ = 0;
    }
  }
}

void LineAssembler::EndLine() {
  lineBuf_[linePos_] = '\0';
  const bool cut = std::exchange(lineCut_, false);
  if (onLine_) onLine_(std::string_view(lineBuf_, linePos_), cut);
  {
    std::lock_guard lock(mutex_);
    size_t kept = std::min<size_t>(linePos_, sizeof lastLine_ - 1);
    std::memcpy(lastLine_, lineBuf_, kept);
    lastLine_[kept] = '\0';
    const bool result = IsResultCode(lineBuf_);
    if (result) resultLines_.fetch_add(1);
    // The modem repeats the command as it took it; letter case is its own business.
    const bool echo = echo_[0] != '\0' && !echoSeen_.load() &&
                      SameLetters(std::string_view(lineBuf_, linePos_), echo_);
    if (!untilEcho_ || echo) {
      untilEcho_ = false;
      if (result) commandResults_.fetch_add(1);
      if (echo) echoSeen_.store(true);
      MatchLine(cut, echo);
    }
  }
  // Every line may be the end a waiting UI thread looks for, whether it matched or not; the
  // wake-up comes after the match is stored, so the waiter never sees the line without it.
  waker_.Wake();
}

void LineAssembler::MatchLine(bool cut, bool echo) {
  if (matched_.load()) return;
  const bool answer = !echo && lineBuf_[0] != '\0' && !IsResultCode(lineBuf_);
  if (capture_.captureEnabled.load()) {
    int16_t count = capture_.captureLineCount.load();
    if (count < INT16_MAX) capture_.captureLineCount.store(++count);
    int16_t answers = capture_.answerLines.load();
    if (answer && answers < INT16_MAX) capture_.answerLines.store(++answers);
    if (answer && answers == 1) capture_.Store(lineBuf_, linePos_, cut);
  }
  if (echo) return;
  // A line cut by the length limit is the tail of something longer: not a line to know a modem by.
  if (scope_ == MatchScope::kAnswerLine && (!answer || cut)) return;
  uint16_t texts = expectCount_.load();
  for (uint16_t i = 0; i < texts; ++i) {
    if (std::strstr(lineBuf_, expectTexts_[i])) {
      matchedIndex_.store(i);
      matched_.store(true);
      return;
    }
  }
}

void LineAssembler::BeginCommand(std::string_view echo, bool untilEcho, MatchScope scope) {
  std::lock_guard lock(mutex_);
  const size_t length = std::min(echo.size(), sizeof echo_ - 1);
  std::memcpy(echo_, echo.data(), length);
  echo_[length] = '\0';
  untilEcho_ = untilEcho && length > 0;
  scope_ = scope;
  echoSeen_.store(false);
  commandResults_.store(0);
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
