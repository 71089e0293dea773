// The ports.conf parser on arbitrary text: what it keeps is COM1 to COM9 once each with an
// absolute path, every problem is one line that names its line and holds no control character,
// and the port-name grammar it shares with --port agrees with its definition.
#include <cctype>
#include <cstdint>
#include <string>
#include <string_view>

#include "serial/port_names.h"

namespace {

bool OneVisibleLine(const std::string& text) {
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) return false;
  }
  return true;
}

// "COM" in any letter case and one digit from 1 to 9.
int ReferenceComNumber(std::string_view name) {
  if (name.size() != 4) return 0;
  for (size_t i = 0; i < 3; ++i) {
    if (std::toupper(static_cast<unsigned char>(name[i])) != "COM"[i]) return 0;
  }
  return name[3] >= '1' && name[3] <= '9' ? name[3] - '0' : 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const serial::PortsConfig config = serial::ParsePortsConfig(text, "ports.conf");
  bool seen[serial::kMaxComNumber + 1] = {};
  for (const auto& [number, device] : config.mappings) {
    if (number < 1 || number > serial::kMaxComNumber || seen[number]) __builtin_trap();
    seen[number] = true;
    if (device.empty() || device.front() != '/') __builtin_trap();
    if (device.find_first_of("\n#") != std::string::npos) __builtin_trap();
  }
  for (const std::string& problem : config.problems) {
    if (problem.rfind("ports.conf:", 0) != 0 || !OneVisibleLine(problem)) __builtin_trap();
  }
  const std::string_view head(text.data(), text.size() < 8 ? text.size() : 8);
  if (serial::ParseComName(head) != ReferenceComNumber(head)) __builtin_trap();
  return 0;
}
