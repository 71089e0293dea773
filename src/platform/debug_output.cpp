#include "platform/debug_output.h"

#include <unistd.h>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "platform/sys_error.h"

namespace platform {

void DebugOutput(const char* text) {
  // One write per text: two threads' texts never interleave inside a line.
  size_t length = std::strlen(text);
  RetryOnEintr([&] { return ::write(STDERR_FILENO, text, length); });
}

void DebugOutputF(const char* format, ...) {
  char text[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  DebugOutput(text);
}

}  // namespace platform
