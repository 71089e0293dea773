#pragma once
// The run's map of COM names to devices as the command line and the user's ports.conf make it,
// and the words --help uses for where a COM name's device comes from. UI thread, at start.

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "serial/port_names.h"

namespace diagnostics {

// One --port COMn=DEVICE as the user gave it.
struct PortOption {
  int number = 0;      // 1-9
  std::string device;  // blanks around it removed; may be empty
};

// Reads text as ports.conf reads a line: "COMn=DEVICE", blanks around either side ignored, COM in
// any letter case and one digit 1-9. False with *problem "'TEXT' is not COMn=DEVICE with n from 1
// to 9" (TEXT cut at 80 characters and made visible). What DEVICE must be is the caller's.
[[nodiscard]] bool ParsePortOption(std::string_view text, PortOption* option, std::string* problem);

// The lines of --help that say where a COM name's device comes from, first found first, each
// indented by two blanks and ending with a newline.
[[nodiscard]] std::string PortSourcesHelp();

// The map of a run whose --port options are mappings (COM number, device), before ports.conf is
// read.
[[nodiscard]] serial::PortMap PortMapFromOptions(
    const std::vector<std::pair<int, std::string>>& mappings);

// Reads the user's ports.conf into ports (what it held from an earlier read is dropped). Returns
// the problems to show, one line each ("FILE:LINE: what is wrong; ignored", or why the whole file
// is not used); none when the file does not exist.
[[nodiscard]] std::vector<std::string> LoadPortsConfig(serial::PortMap& ports);

}  // namespace diagnostics
