#pragma once
// The one place that turns an errno value into words, and the one EINTR retry.

#include <cerrno>
#include <string>

namespace platform {

// "No such file or directory (ENOENT)" and the like; never fails.
std::string DescribeErrno(int err);
// "ENOENT" and the like; "errno N" for a value without a name.
std::string ErrnoName(int err);

// Runs call until it does not fail with EINTR; returns its last result.
template <class Call>
auto RetryOnEintr(Call call) {
  for (;;) {
    auto result = call();
    if (!(result == -1 && errno == EINTR)) return result;
  }
}

}  // namespace platform
