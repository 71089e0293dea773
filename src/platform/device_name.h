#pragma once
// Port names ("COM3") and the device paths they stand for. Precedence, first found: a mapping
// given on the command line (SetPortOverrides), $KALVEX_COMn, a line of ports.conf
// (LoadPortsConfig), $KALVEX_COM_DIR/COMn, /dev/ttyS<n-1>.
//
// Threads: the mappings are set once at start, on the UI thread, before any port is opened;
// after that every call only reads them.

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {

inline constexpr int kMaxComNumber = 9;  // COM1 to COM9 can be mapped

enum class PortSource { kOption, kEnvironment, kConfigFile, kComDir, kDefault, kPath };

struct ResolvedPort {
  std::string path;
  PortSource source = PortSource::kPath;
};

// The device path for a port name such as "COM3" and where it came from (see above). A name that
// is not COM followed by a number is taken as a path (kPath).
[[nodiscard]] ResolvedPort ResolvePort(const char* deviceName);
[[nodiscard]] std::string DevicePathFor(const char* deviceName);
// "--port", "KALVEX_COM3", "ports.conf", "KALVEX_COM_DIR", "default" or "path".
[[nodiscard]] std::string PortSourceName(PortSource source, const char* deviceName);

// The n of a port name "COMn" as --port and ports.conf give it: "COM" in any letter case and one
// digit from 1 to 9, nothing else (no blank, sign, leading zero or second digit); 0 for any other
// text. Any thread.
[[nodiscard]] int ParseComName(std::string_view name);

struct PortMapping {
  int number = 0;      // 1-9
  std::string device;  // as given, blanks around it removed; may be empty
};

// One "COMn=DEVICE" of --port or of a ports.conf line: blanks around COMn and around DEVICE are
// ignored, COMn as ParseComName reads it. What DEVICE must be is the caller's (ports.conf wants
// an absolute path). False with *problem "'TEXT' is not COMn=DEVICE with n from 1 to 9" (TEXT
// cut at 80 characters and shown with VisibleText). Any thread.
[[nodiscard]] bool ParsePortMapping(std::string_view text, PortMapping* mapping,
                                    std::string* problem);

// COM number (1-9) and device path pairs from --port; replaces any set before.
void SetPortOverrides(const std::vector<std::pair<int, std::string>>& mappings);

struct PortsConfig {
  std::vector<std::pair<int, std::string>> mappings;
  std::vector<std::string> problems;  // "FILE:LINE: what is wrong; ignored", one per bad line
};

// Reads ports.conf text: "COMn=DEVICE" (ParsePortMapping; DEVICE an absolute path) one per line,
// blank lines, "#" to the end of a line is a comment. A bad line or a second line for the same
// COMn is reported with its line number and ignored. fileName only labels the problems.
[[nodiscard]] PortsConfig ParsePortsConfig(const std::string& text, const std::string& fileName);

// $XDG_CONFIG_HOME/kalvex-modem-diag/ports.conf, with $HOME/.config when XDG_CONFIG_HOME is
// unset or not absolute; empty when neither is known.
[[nodiscard]] std::string PortsConfigPath();

// Reads PortsConfigPath() (a regular file of at most 64 KiB, never a link or a FIFO: see
// outside_file.h) and installs its mappings. Returns the problems to show (a file that does not
// exist is none; one that cannot be read is one). UI thread, at start.
[[nodiscard]] std::vector<std::string> LoadPortsConfig();
// Installs mappings as if read from ports.conf (the start-up load and tests).
void SetConfiguredPorts(const std::vector<std::pair<int, std::string>>& mappings);

}  // namespace platform
