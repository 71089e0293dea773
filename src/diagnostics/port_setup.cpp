#include "diagnostics/port_setup.h"

namespace diagnostics {

bool ParsePortOption(std::string_view text, PortOption* option, std::string* problem) {
  serial::PortMapping mapping;
  if (!serial::ParsePortMapping(text, &mapping, problem)) return false;
  option->number = mapping.number;
  option->device = std::move(mapping.device);
  return true;
}

std::string PortSourcesHelp() {
  std::string text;
  for (const serial::PortSourceEntry& entry : serial::kPortSources)
    text += std::string("  ") + entry.description + "\n";
  return text;
}

serial::PortMap PortMapFromOptions(const std::vector<std::pair<int, std::string>>& mappings) {
  serial::PortMap ports;
  ports.SetOverrides(mappings);
  return ports;
}

std::vector<std::string> LoadPortsConfig(serial::PortMap& ports) {
  return serial::LoadPortsConfig(ports);
}

}  // namespace diagnostics
