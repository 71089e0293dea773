#pragma once
// What this process holds, read from /proc: open descriptors, threads, resident memory. Any
// thread; a failed read gives -1.

#include <dirent.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace soak {

struct ProcessUsage {
  int fds = -1;
  // Threads the program started itself: the main thread, the watchdog, the port's reader and
  // the simulated modem's event thread while they run. Qt and GLib name every helper thread they
  // start (the image-conversion pool, an event queue); a std::thread keeps the name of the thread
  // that started it, which is the program's own, so the program's threads are the ones that
  // carry its name.
  int ownThreads = -1;
  // Every other thread: helpers that Qt starts and ends as it needs them. Shown, not bounded.
  int helperThreads = -1;
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

// The first line of a /proc comm file, without its newline; empty when it cannot be read (the
// thread has just ended).
inline std::string ReadComm(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "r");
  if (!file) return {};
  char name[64] = {};
  if (!std::fgets(name, sizeof name, file)) name[0] = '\0';
  std::fclose(file);
  name[std::strcspn(name, "\n")] = '\0';
  return name;
}

// Counts the threads named as the main thread is (own) and the others (helpers). A thread that
// ends while the directory is read counts in neither.
inline void CountThreads(int& own, int& helpers) {
  own = helpers = -1;
  std::string programName = ReadComm("/proc/self/comm");
  DIR* dir = ::opendir("/proc/self/task");
  if (!dir || programName.empty()) {
    if (dir) ::closedir(dir);
    return;
  }
  own = helpers = 0;
  while (const dirent* entry = ::readdir(dir)) {
    if (entry->d_name[0] == '.') continue;
    std::string name = ReadComm(std::string("/proc/self/task/") + entry->d_name + "/comm");
    if (name.empty()) continue;
    ++(name == programName ? own : helpers);
  }
  ::closedir(dir);
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
  ProcessUsage usage;
  usage.fds = CountEntries("/proc/self/fd");
  CountThreads(usage.ownThreads, usage.helperThreads);
  usage.rssKb = ResidentKb();
  return usage;
}

}  // namespace soak
