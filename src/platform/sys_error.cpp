#include "platform/sys_error.h"

#include <cstdio>
#include <cstring>

namespace platform {

std::string DescribeErrno(int err) {
  char buffer[160];
  // The GNU strerror_r may return a static string instead of filling the buffer.
  const char* text = ::strerror_r(err, buffer, sizeof buffer);
  const char* name = ::strerrorname_np(err);
  char out[224];
  std::snprintf(out, sizeof out, "%s (%s)", text, name ? name : "unknown errno");
  return out;
}

std::string ErrnoName(int err) {
  const char* name = ::strerrorname_np(err);
  return name ? std::string(name) : "errno " + std::to_string(err);
}

}  // namespace platform
