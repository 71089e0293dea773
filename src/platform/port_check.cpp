#include "platform/port_check.h"

#include <dirent.h>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/outside_file.h"

namespace platform {
namespace {

// A command name has at most 15 bytes and a newline.
constexpr int64_t kMaxCommandNameBytes = 64;

// A process's name is chosen by whoever runs it (prctl, exec of any file name): it is kept as it
// is, and whoever shows it makes it visible text.
std::string CommandName(int pid) {
  char path[64];
  std::snprintf(path, sizeof path, "/proc/%d/comm", pid);
  std::string text;
  OpenedFile opened;
  if (!ReadOutsideFile(path, kMaxCommandNameBytes, &text, &opened)) return {};
  // The kernel ends the name with one newline; a name may itself end with blanks.
  if (!text.empty() && text.back() == '\n') text.pop_back();
  return text;
}

std::string GroupName(gid_t gid) {
  struct group entry {};
  struct group* found = nullptr;
  char buffer[4096];
  if (::getgrgid_r(gid, &entry, buffer, sizeof buffer, &found) == 0 && found) return found->gr_name;
  return std::to_string(gid);
}

// Same file: the same device number for device nodes, else the same inode.
bool SameFile(const struct stat& a, const struct stat& b) {
  if (S_ISCHR(a.st_mode) && S_ISCHR(b.st_mode)) return a.st_rdev == b.st_rdev;
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool IsNumber(const char* text) {
  if (!*text) return false;
  for (; *text; ++text) {
    if (*text < '0' || *text > '9') return false;
  }
  return true;
}

bool ProcessHolds(const char* pid, const struct stat& target) {
  const std::string fdDir = std::string("/proc/") + pid + "/fd";
  DIR* dir = ::opendir(fdDir.c_str());
  if (!dir) return false;
  bool holds = false;
  while (const dirent* entry = ::readdir(dir)) {
    if (!IsNumber(entry->d_name)) continue;
    struct stat st {};
    if (::stat((fdDir + "/" + entry->d_name).c_str(), &st) == 0 && SameFile(st, target)) {
      holds = true;
      break;
    }
  }
  ::closedir(dir);
  return holds;
}

void AddPermissionFacts(const char* path, OpenCheck& check) {
  struct stat st {};
  if (::stat(path, &st) != 0) return;
  check.group = GroupName(st.st_gid);
  check.mode = st.st_mode & 07777;
  check.groupMayOpen = (st.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
}

}  // namespace

std::vector<PortHolder> ProcessesHolding(const char* path) {
  std::vector<PortHolder> holders;
  struct stat target {};
  if (::stat(path, &target) != 0) return holders;
  DIR* proc = ::opendir("/proc");
  if (!proc) return holders;
  const std::string self = std::to_string(::getpid());
  while (const dirent* entry = ::readdir(proc)) {
    if (!IsNumber(entry->d_name) || self == entry->d_name) continue;
    if (!ProcessHolds(entry->d_name, target)) continue;
    const int pid = std::atoi(entry->d_name);
    holders.push_back({pid, CommandName(pid)});
  }
  ::closedir(proc);
  return holders;
}

OpenCheck CheckPortOpen(const char* path) {
  SerialDevice device;
  const bool opened = device.Open(path);
  device.Close();
  return opened ? OpenCheck{} : ExplainOpen(path, device.LastOpen());
}

OpenCheck ExplainOpen(const char* path, const OpenAttempt& attempt) {
  OpenCheck check;
  check.step = attempt.failedStep;
  check.error = attempt.error;
  switch (attempt.failedStep) {
    case OpenStep::kNone: break;
    case OpenStep::kUucpLock:
      check.verdict = OpenVerdict::kBusy;
      check.lockPid = attempt.lockPid;
      check.holders.push_back({attempt.lockPid, CommandName(attempt.lockPid)});
      break;
    case OpenStep::kOpen: check.verdict = OpenVerdictFromErrno(attempt.error); break;
    case OpenStep::kLock:
      check.verdict = attempt.error == EWOULDBLOCK ? OpenVerdict::kBusy : OpenVerdict::kFailed;
      break;
    case OpenStep::kTerminal:
    case OpenStep::kExclusive: check.verdict = OpenVerdict::kFailed; break;
  }
  if (check.verdict == OpenVerdict::kBusy && check.lockPid == 0)
    check.holders = ProcessesHolding(path);
  if (check.verdict == OpenVerdict::kPermissionDenied) AddPermissionFacts(path, check);
  return check;
}

OpenVerdict OpenVerdictFromErrno(int error) {
  switch (error) {
    case EACCES:
    case EPERM: return OpenVerdict::kPermissionDenied;
    case EBUSY: return OpenVerdict::kBusy;
    // A serial node without hardware behind it fails with EIO.
    case ENOENT:
    case ENODEV:
    case ENXIO:
    case ENOTDIR:
    case EIO: return OpenVerdict::kNoSuchDevice;
    default: return OpenVerdict::kFailed;
  }
}

}  // namespace platform
