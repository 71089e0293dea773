#pragma once
// Which machine a report comes from, so that a fleet's documents can be told apart and matched
// with the machine's own records.

#include <optional>
#include <string>

namespace platform {

// The machine's host name as the kernel has it; empty when it has none. Any thread.
[[nodiscard]] std::string HostName();

// The 32 lower-case hex digits of path (by default /etc/machine-id); nullopt when the file is
// missing, unreadable or holds anything else. Reads at most a few bytes. Any thread.
[[nodiscard]] std::optional<std::string> MachineId(const char* path = "/etc/machine-id");

}  // namespace platform
