#include "serial/response_capture.h"

#include <algorithm>
#include <cstring>

namespace serial {

namespace {

// Bounded copy that always terminates: a longer line keeps its first size-1 characters.
template <size_t N>
void CopyBounded(char (&to)[N], const char* from) {
  size_t length = strnlen(from, N - 1);
  std::memcpy(to, from, length);
  to[length] = '\0';
}

}  // namespace

void ResponseCapture::Restart() {
  captureLineCount.store(0);
  answerLines.store(0);
}

void ResponseCapture::Store(const char* line, size_t length, bool cut) {
  std::lock_guard lock(mutex_);
  CopyBounded(capturedLine_, line);
  CopyBounded(capturedPrefix_, line);
  wholeLength_ = std::min(length, sizeof wholeLine_);
  std::memcpy(wholeLine_, line, wholeLength_);
  wholeCut_ = cut;
}

void ResponseCapture::CopyLine(char (&out)[kLineSize]) const {
  std::lock_guard lock(mutex_);
  std::memcpy(out, capturedLine_, sizeof out);
}

void ResponseCapture::CopyPrefix(char (&out)[kCapturedPrefixSize]) const {
  std::lock_guard lock(mutex_);
  std::memcpy(out, capturedPrefix_, sizeof out);
}

std::string ResponseCapture::WholeLine(bool* cut) const {
  std::lock_guard lock(mutex_);
  if (cut != nullptr) *cut = wholeCut_;
  return std::string(wholeLine_, wholeLength_);
}

void ResponseCapture::ReplaceLine(const char* line) {
  std::lock_guard lock(mutex_);
  CopyBounded(capturedLine_, line);
}

}  // namespace serial
