#pragma once
// The process's environment, read where the tool lets a user point it elsewhere.

#include <string>

namespace platform {

// The value of the environment variable name; empty when it is unset or set to nothing, which the
// tool treats alike. Any thread, while nothing changes the environment.
[[nodiscard]] std::string EnvironmentValue(const char* name);

}  // namespace platform
