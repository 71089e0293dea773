#pragma once
// What this process holds, read from /proc: open descriptors, threads, resident memory. Any
// thread; a failed read gives -1.

#include <dirent.h>

#include <cstdio>
#include <cstring>

namespace soak {

struct ProcessUsage {
  int fds = -1;
  int threads = -1;
  long rssKb = -1;
};

// Entries of a /proc directory, without "." and "..". The directory's own descriptor is one of
// the entries of /proc/self/fd while it is read, at every call alike.
inline int CountEntries(const char* path) {
  DIR* dir = ::opendir(path);
  if (!dir) return -1;
  int count = 0;
  while (const dirent* entry = ::readdir(dir)) {
    if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) ++count;
  }
  ::closedir(dir);
  return count;
}

inline long ResidentKb() {
  std::FILE* status = std::fopen("/proc/self/status", "r");
  if (!status) return -1;
  char line[256];
  long kb = -1;
  while (std::fgets(line, sizeof line, status)) {
    if (std::sscanf(line, "VmRSS: %ld kB", &kb) == 1) break;
  }
  std::fclose(status);
  return kb;
}

inline ProcessUsage ReadProcessUsage() {
  return {CountEntries("/proc/self/fd"), CountEntries("/proc/self/task"), ResidentKb()};
}

}  // namespace soak
