#pragma once
// A refusal in one line: the reason goes into the caller's error text, the result is the
// caller's failure value. Any thread.

#include <optional>
#include <string>
#include <utility>

namespace sim {

inline bool Fail(std::string& error, std::string reason) {
  error = std::move(reason);
  return false;
}

inline std::nullopt_t Refuse(std::string& error, std::string reason) {
  error = std::move(reason);
  return std::nullopt;
}

}  // namespace sim
