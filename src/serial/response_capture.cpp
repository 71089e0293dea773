#include "serial/response_capture.h"

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

void ResponseCapture::Store(const char* line) {
  std::lock_guard lock(mutex_);
  CopyBounded(capturedLine_, line);
  CopyBounded(capturedPrefix_, line);
}

void ResponseCapture::StoreFirst(const char* line) {
  std::lock_guard lock(mutex_);
  CopyBounded(firstLine_, line);
}

void ResponseCapture::CopyLine(char (&out)[kLineSize]) const {
  std::lock_guard lock(mutex_);
  std::memcpy(out, capturedLine_, sizeof out);
}

void ResponseCapture::CopyPrefix(char (&out)[kCapturedPrefixSize]) const {
  std::lock_guard lock(mutex_);
  std::memcpy(out, capturedPrefix_, sizeof out);
}

void ResponseCapture::CopyFirst(char (&out)[kLineSize]) const {
  std::lock_guard lock(mutex_);
  std::memcpy(out, firstLine_, sizeof out);
}

void ResponseCapture::ReplaceLine(const char* line) {
  std::lock_guard lock(mutex_);
  CopyBounded(capturedLine_, line);
}

}  // namespace serial
