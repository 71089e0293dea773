#pragma once
// Port names ("COM3") and the device paths they stand for. The sources of a COM name's device are
// one table, kPortSources, in the order they are tried: resolution, the port listing and --help
// all read it.
//
// Threads: a PortMap is filled once at start, on the UI thread, before any port is opened; after
// that it is only read, from any thread.

#include <array>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace serial {

inline constexpr int kMaxComNumber = 9;  // COM1 to COM9 can be mapped

enum class PortSource { kOption, kEnvironment, kConfigFile, kComDir, kDefault, kPath };

struct PortSourceEntry {
  PortSource source;
  // How the listing and the JSON documents name the source; "COMn" stands for the port's name.
  const char* word;
  // The line of --help that says where the device comes from.
  const char* description;
};

// The first source that has a device for a COM name wins; kDefault always has one. kPath is no
// source of a COM name (a name that is no COM name is its own path) and is not listed.
inline constexpr PortSourceEntry kPortSources[] = {
    {PortSource::kOption, "--port", "--port COMn=DEVICE"},
    {PortSource::kEnvironment, "KALVEX_COMn", "$KALVEX_COMn (a device path)"},
    {PortSource::kConfigFile, "ports.conf",
     "COMn=DEVICE in $XDG_CONFIG_HOME/kalvex-modem-diag/ports.conf (one per line)"},
    {PortSource::kComDir, "KALVEX_COM_DIR", "$KALVEX_COM_DIR/COMn"},
    {PortSource::kDefault, "default", "/dev/ttyS<n-1> (COM1 is /dev/ttyS0)"},
};

struct ResolvedPort {
  std::string path;
  PortSource source = PortSource::kPath;
};

// The COM names a run maps with --port and ports.conf; the environment and the defaults are
// read at each resolution. A default-constructed map has neither table, so it resolves as the
// environment and the defaults say.
class PortMap {
 public:
  // COM number (1-9) and device path pairs; each replaces what its table held before. Pairs
  // with a number outside 1-9 are left out.
  void SetOverrides(const std::vector<std::pair<int, std::string>>& mappings);   // --port
  void SetConfigured(const std::vector<std::pair<int, std::string>>& mappings);  // ports.conf

  // The device path for a port name such as "COM3" and where it came from (kPortSources). A
  // name that is not COM followed by a number is taken as a path (kPath).
  [[nodiscard]] ResolvedPort Resolve(const char* deviceName) const;
  [[nodiscard]] std::string DevicePathFor(const char* deviceName) const;

 private:
  using Table = std::array<std::string, kMaxComNumber + 1>;  // index: COM number; "" unmapped

  [[nodiscard]] std::string DeviceFrom(PortSource source, int number, const char* deviceName) const;

  Table overrides_;
  Table configured_;
};

// The source's word with "COMn" replaced by deviceName: "--port", "KALVEX_COM3", "ports.conf",
// "KALVEX_COM_DIR", "default"; "path" for kPath.
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

struct PortsConfig {
  std::vector<std::pair<int, std::string>> mappings;
  std::vector<std::string> problems;  // "FILE:LINE: what is wrong; ignored", one per bad line
};

// Reads ports.conf text: "COMn=DEVICE" (ParsePortMapping; DEVICE an absolute path) one per line,
// blank lines, "#" to the end of a line is a comment. A bad line or a second line for the same
// COMn is reported with its line number and ignored. fileName only labels the problems.
[[nodiscard]] PortsConfig ParsePortsConfig(const std::string& text, const std::string& fileName);

// ports.conf in the user's configuration directory (platform::ConfigFilePath: XDG_CONFIG_HOME,
// else ~/.config with the home from the password database when HOME is unset); empty when no
// home is known.
[[nodiscard]] std::string PortsConfigPath();

// Reads PortsConfigPath() (a regular file of at most 64 KiB, never a link or a FIFO: see
// outside_file.h) and makes its mappings ports' configured table (emptied when none are read).
// Returns the problems to show (a file that does not
// exist is none; one that cannot be read is one, and so is one that another user than root owns
// or that others can write: platform::UntrustedFileReason; it is then not used at all). UI
// thread, at start.
[[nodiscard]] std::vector<std::string> LoadPortsConfig(PortMap& ports);

}  // namespace serial
