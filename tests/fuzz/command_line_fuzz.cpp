// The command line on arbitrary arguments (the input cut at NUL bytes, each decoded as main does):
// a usage error is one line a terminal cannot act on, and an accepted line holds only what the
// options allow.
#include <QString>
#include <QStringList>

#include <cstdint>
#include <string>

#include "ui/command_line.h"

namespace {

bool OneVisibleLine(const std::string& text) {
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  QStringList arguments{QStringLiteral("kalvex-modem-diag")};
  const char* bytes = reinterpret_cast<const char*>(data);
  size_t start = 0;
  for (size_t i = 0; i <= size; ++i) {
    if (i < size && bytes[i] != '\0') continue;
    arguments << QString::fromLocal8Bit(bytes + start, static_cast<qsizetype>(i - start));
    start = i + 1;
  }
  const ui::ParsedCommandLine parsed = ui::ParseCommandLine(arguments);
  if (!parsed.error.empty()) {
    if (parsed.error.rfind("kalvex-modem-diag: ", 0) != 0 || !OneVisibleLine(parsed.error))
      __builtin_trap();
    return 0;
  }
  bool seen[10] = {};
  for (const auto& [number, device] : parsed.line.portMappings) {
    if (number < 1 || number > 9 || seen[number] || device.empty()) __builtin_trap();
    seen[number] = true;
  }
  const ui::CommandLine& line = parsed.line;
  if (line.mode != ui::RunMode::kReport &&
      (line.json || !line.testGroups.empty() || line.answerSpeaker != ui::GivenAnswer::kAsk ||
       line.lineConnected != ui::GivenAnswer::kAsk) &&
      line.mode != ui::RunMode::kHelp && line.mode != ui::RunMode::kVersion) {
    __builtin_trap();
  }
  return 0;
}
