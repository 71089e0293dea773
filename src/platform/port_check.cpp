#include "platform/port_check.h"

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/outside_file.h"
#include "platform/sys_error.h"
#include "platform/unique_fd.h"
#include "platform/visible_text.h"

namespace platform {
namespace {

// A command name has at most 15 bytes and a newline.
constexpr int64_t kMaxCommandNameBytes = 64;

// A process's name is chosen by whoever runs it (prctl, exec of any file name); it is shown
// only through VisibleText.
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

OpenCheck Busy(const char* path, int error) {
  OpenCheck check;
  check.verdict = OpenVerdict::kBusy;
  check.error = error;
  check.holders = ProcessesHolding(path);
  return check;
}

OpenCheck PermissionDenied(const char* path, int error) {
  OpenCheck check;
  check.verdict = OpenVerdict::kPermissionDenied;
  check.error = error;
  struct stat st {};
  if (::stat(path, &st) == 0) {
    check.group = GroupName(st.st_gid);
    check.mode = st.st_mode & 07777;
    check.groupMayOpen = (st.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
  }
  return check;
}

OpenCheck Failed(int error, const char* step) {
  OpenCheck check;
  check.verdict = OpenVerdict::kFailed;
  check.error = error;
  check.detail = std::string(step) + ": " + DescribeErrno(error);
  return check;
}

OpenCheck FromOpenErrno(const char* path, int error) {
  switch (OpenVerdictFromErrno(error)) {
    case OpenVerdict::kPermissionDenied: return PermissionDenied(path, error);
    case OpenVerdict::kBusy: return Busy(path, error);
    case OpenVerdict::kNoSuchDevice: {
      OpenCheck check;
      check.verdict = OpenVerdict::kNoSuchDevice;
      check.error = error;
      return check;
    }
    default: return Failed(error, "open");
  }
}

std::string HolderText(const PortHolder& holder) {
  char pid[32];
  std::snprintf(pid, sizeof pid, "PID %d", holder.pid);
  return holder.name.empty() ? std::string(pid) : VisibleText(holder.name) + " (" + pid + ")";
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
  if (int owner = LiveUucpLockHolder(path)) {
    OpenCheck check;
    check.verdict = OpenVerdict::kBusy;
    check.lockPid = owner;
    check.holders.push_back({owner, CommandName(owner)});
    return check;
  }
  UniqueFd fd(
      RetryOnEintr([&] { return ::open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC); }));
  if (!fd.Valid()) return FromOpenErrno(path, errno);
  struct termios tio {};
  if (::tcgetattr(fd.Get(), &tio) != 0) return Failed(errno, "not a terminal");
  // The lock goes with the descriptor, so the check leaves nothing held.
  if (RetryOnEintr([&] { return ::flock(fd.Get(), LOCK_EX | LOCK_NB); }) != 0) {
    const int err = errno;
    if (err == EWOULDBLOCK) return Busy(path, err);
    return Failed(err, "lock refused");
  }
  return {};
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

std::string DescribeOpenErrno(int error) {
  const std::string name = "(" + ErrnoName(error) + ")";
  switch (OpenVerdictFromErrno(error)) {
    case OpenVerdict::kPermissionDenied: return "permission denied " + name;
    case OpenVerdict::kBusy: return "busy " + name;
    case OpenVerdict::kNoSuchDevice: return "no such device " + name;
    default: return DescribeErrno(error);
  }
}

std::string DescribeOpenCheck(const OpenCheck& check) {
  switch (check.verdict) {
    case OpenVerdict::kOpenable: return "can be opened";
    case OpenVerdict::kNoSuchDevice: return "no such device";
    case OpenVerdict::kPermissionDenied: {
      if (check.group.empty()) return "permission denied";
      char mode[8];
      std::snprintf(mode, sizeof mode, "%04o", check.mode);
      if (!check.groupMayOpen) {
        return "permission denied: its mode " + std::string(mode) + " lets group '" + check.group +
               "' neither read nor write it";
      }
      return "permission denied: the device belongs to group '" + check.group + "'";
    }
    case OpenVerdict::kBusy: {
      std::string text = "busy: ";
      if (check.lockPid != 0) {
        text += "locked by " + HolderText(check.holders.front());
      } else if (check.holders.empty()) {
        text += "held by another program";
      } else {
        text += "held by ";
        for (size_t i = 0; i < check.holders.size(); ++i)
          text += (i ? ", " : "") + HolderText(check.holders[i]);
      }
      return text;
    }
    case OpenVerdict::kFailed: return "cannot be opened: " + check.detail;
  }
  return {};
}

}  // namespace platform
