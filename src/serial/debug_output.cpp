#include "serial/debug_output.h"

#include <cstdarg>
#include <cstdio>
#include <string>
#include <string_view>

#include "platform/standard_error.h"
#include "serial/visible_text.h"

namespace serial {
namespace {

// One of the program's own formats, cut at 511 characters.
std::string Formatted(const char* format, va_list args) {
  char text[512];
  std::vsnprintf(text, sizeof text, format, args);
  return text;
}

}  // namespace

void ShowDebugOutput(bool shown) { platform::StandardError().ShowDebugTexts(shown); }

void DebugOutput(const char* text) {
  if (platform::StandardError().DebugTextsShown()) WarningOutput(text);
}

void WarningOutput(const char* text) {
  std::string_view body(text);
  while (!body.empty() && (body.front() == '\n' || body.front() == '\r')) body.remove_prefix(1);
  while (!body.empty() && (body.back() == '\n' || body.back() == '\r')) body.remove_suffix(1);
  if (body.empty()) return;
  platform::WriteStandardError(VisibleText(body) + '\n');
}

void DebugOutputF(const char* format, ...) {
  va_list args;
  va_start(args, format);
  const std::string text = Formatted(format, args);
  va_end(args);
  DebugOutput(text.c_str());
}

void WarningOutputF(const char* format, ...) {
  va_list args;
  va_start(args, format);
  const std::string text = Formatted(format, args);
  va_end(args);
  WarningOutput(text.c_str());
}

}  // namespace serial
