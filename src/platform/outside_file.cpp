#include "platform/outside_file.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/sys_error.h"

namespace platform {
namespace {

FileKind KindOf(mode_t mode) {
  if (S_ISREG(mode)) return FileKind::kRegular;
  if (S_ISDIR(mode)) return FileKind::kDirectory;
  if (S_ISCHR(mode)) return FileKind::kCharacterDevice;
  if (S_ISBLK(mode)) return FileKind::kBlockDevice;
  if (S_ISFIFO(mode)) return FileKind::kFifo;
  if (S_ISSOCK(mode)) return FileKind::kSocket;
  return FileKind::kOther;
}

bool Accepts(const FileRule& rule, FileKind kind) {
  switch (kind) {
    case FileKind::kRegular: return (rule.kinds & kAcceptRegular) != 0;
    case FileKind::kCharacterDevice: return (rule.kinds & kAcceptCharacterDevice) != 0;
    case FileKind::kFifo: return (rule.kinds & kAcceptFifo) != 0;
    default: return false;
  }
}

std::string WhatIsAccepted(const FileRule& rule) {
  if (rule.kinds == kAcceptRegular) return "a regular file";
  std::vector<const char*> names;
  if (rule.kinds & kAcceptRegular) names.push_back("a regular file");
  if (rule.kinds & kAcceptCharacterDevice) names.push_back("a character device");
  if (rule.kinds & kAcceptFifo) names.push_back("a FIFO");
  std::string text;
  for (size_t i = 0; i < names.size(); ++i)
    text += std::string(i == 0 ? "" : i + 1 == names.size() ? " or " : ", ") + names[i];
  return text;
}

std::string KindWords(FileKind kind) {
  switch (kind) {
    case FileKind::kRegular: return "a regular file";
    case FileKind::kDirectory: return "a directory";
    case FileKind::kCharacterDevice:
    case FileKind::kBlockDevice: return "a device";
    case FileKind::kFifo: return "a FIFO";
    case FileKind::kSocket: return "a socket";
    case FileKind::kOther: break;
  }
  return "an unknown kind of file";
}

OpenedFile Refused(FileRefusal refusal, std::string reason, int error = 0) {
  OpenedFile result;
  result.refusal = refusal;
  result.reason = std::move(reason);
  result.error = error;
  return result;
}

OpenedFile WrongKind(const FileRule& rule, FileKind kind) {
  return Refused(FileRefusal::kWrongKind, KindWords(kind) + ", not " + WhatIsAccepted(rule));
}

OpenedFile SystemError(int error) {
  return Refused(FileRefusal::kSystemError, DescribeErrno(error), error);
}

OpenedFile Symlink() {
  return Refused(FileRefusal::kSymbolicLink, "a symbolic link, which is not followed", ELOOP);
}

OpenedFile NoReader() {
  return Refused(FileRefusal::kNoReader, "a FIFO that nobody reads (ENXIO)", ENXIO);
}

bool Writes(FileAccess access) { return access != FileAccess::kRead; }

int AccessFlags(FileAccess access) {
  switch (access) {
    case FileAccess::kRead: return O_RDONLY;
    case FileAccess::kWriteTruncate: return O_WRONLY | O_CREAT;
    case FileAccess::kReadWriteCreate: return O_RDWR | O_CREAT;
    case FileAccess::kCreateNew: return O_WRONLY | O_CREAT | O_EXCL;
  }
  return O_RDONLY;
}

FileFacts FactsOf(const struct stat& st) {
  FileFacts facts;
  facts.kind = KindOf(st.st_mode);
  facts.size = static_cast<int64_t>(st.st_size);
  facts.owner = st.st_uid;
  facts.group = st.st_gid;
  facts.mode = st.st_mode & 07777;
  return facts;
}

// What was opened is what counts: the name may have been replaced since the lstat.
OpenedFile Checked(UniqueFd fd, const FileRule& rule, bool mayTruncate) {
  struct stat st {};
  if (::fstat(fd.Get(), &st) != 0) return SystemError(errno);
  const FileFacts facts = FactsOf(st);
  if (!Accepts(rule, facts.kind)) return WrongKind(rule, facts.kind);
  if (facts.kind == FileKind::kRegular && rule.access == FileAccess::kRead && rule.maxBytes >= 0 &&
      facts.size > rule.maxBytes) {
    return Refused(FileRefusal::kTooLarge, "larger than " + std::to_string(rule.maxBytes) +
                                               " bytes (" + std::to_string(facts.size) + ")");
  }
  OpenedFile result;
  result.facts = facts;
  if (mayTruncate && facts.kind == FileKind::kRegular &&
      rule.access == FileAccess::kWriteTruncate) {
    if (RetryOnEintr([&] { return ::ftruncate(fd.Get(), 0); }) != 0) return SystemError(errno);
    result.facts.size = 0;
  }
  result.fd = std::move(fd);
  return result;
}

// The descriptor a name stands for when it names one this process holds; nullopt otherwise.
std::optional<int> HeldDescriptorName(std::string_view path) {
  if (path == "/dev/stdin") return 0;
  if (path == "/dev/stdout") return 1;
  if (path == "/dev/stderr") return 2;
  for (std::string_view prefix : {"/dev/fd/", "/proc/self/fd/"}) {
    if (path.substr(0, prefix.size()) != prefix) continue;
    const std::string_view digits = path.substr(prefix.size());
    int number = -1;
    // Digits only: no sign, no blank, no leading zero, nothing after them.
    if (digits.empty() || (digits.size() > 1 && digits[0] == '0')) return std::nullopt;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
    if (error != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
    return number;
  }
  return std::nullopt;
}

// A FIFO or pipe open for writing reports an error condition to poll() once nobody reads it.
bool HasReader(int fd) {
  pollfd pfd{fd, POLLOUT, 0};
  return RetryOnEintr([&] { return ::poll(&pfd, 1, 0); }) < 0 || (pfd.revents & POLLERR) == 0;
}

OpenedFile OpenHeld(const std::string& path, int number, const FileRule& rule) {
  const std::string held = "descriptor " + std::to_string(number);
  const int flags = ::fcntl(number, F_GETFL);
  if (flags < 0) return Refused(FileRefusal::kNotHeld, held + " is not open (EBADF)", EBADF);
  if (!Writes(rule.access)) {
    // Opened anew through the link, so reading it moves no offset the holder relies on.
    UniqueFd fd(RetryOnEintr(
        [&] { return ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY); }));
    if (!fd.Valid()) return SystemError(errno);
    OpenedFile result = Checked(std::move(fd), rule, false);
    result.heldDescriptor = result.Opened();
    return result;
  }
  const int mode = flags & O_ACCMODE;
  if (mode != O_WRONLY && mode != O_RDWR)
    return Refused(FileRefusal::kNotHeld, held + " is not open for writing", EBADF);
  UniqueFd fd(::fcntl(number, F_DUPFD_CLOEXEC, 0));
  if (!fd.Valid()) return SystemError(errno);
  OpenedFile result = Checked(std::move(fd), rule, false);
  if (result.Opened() && result.facts.kind == FileKind::kFifo && !HasReader(result.fd.Get()))
    return NoReader();
  result.heldDescriptor = result.Opened();
  return result;
}

}  // namespace

OpenedFile OpenOutsideFile(const std::string& path, const FileRule& rule) {
  if (rule.heldDescriptors) {
    if (const std::optional<int> number = HeldDescriptorName(path))
      return OpenHeld(path, *number, rule);
  }
  struct stat seen {};
  if (::lstat(path.c_str(), &seen) == 0) {
    if (S_ISLNK(seen.st_mode)) return Symlink();
    if (!Accepts(rule, KindOf(seen.st_mode))) return WrongKind(rule, KindOf(seen.st_mode));
  } else if (errno == ENOENT && !Writes(rule.access)) {
    return Refused(FileRefusal::kMissing, "it does not exist", ENOENT);
  } else if (errno != ENOENT) {
    return SystemError(errno);
  }
  const int flags = AccessFlags(rule.access) | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY;
  UniqueFd fd(RetryOnEintr([&] { return ::open(path.c_str(), flags, rule.createMode); }));
  if (!fd.Valid()) {
    const int error = errno;
    if (error == ELOOP) return Symlink();
    // For a file to create, ENOENT means its directory is missing: a system error to show.
    if (error == ENOENT && !Writes(rule.access))
      return Refused(FileRefusal::kMissing, "it does not exist", ENOENT);
    // Opening a FIFO to write without waiting fails so when nobody has it open to read.
    if (error == ENXIO && ::lstat(path.c_str(), &seen) == 0 && S_ISFIFO(seen.st_mode))
      return NoReader();
    return SystemError(error);
  }
  return Checked(std::move(fd), rule, true);
}

bool ReadAll(const UniqueFd& fd, int64_t maxBytes, std::string* text, std::string* reason) {
  text->clear();
  char buffer[4096];
  for (;;) {
    const ssize_t got = RetryOnEintr([&] { return ::read(fd.Get(), buffer, sizeof buffer); });
    if (got < 0) {
      *reason = DescribeErrno(errno);
      text->clear();
      return false;
    }
    if (got == 0) return true;
    text->append(buffer, static_cast<size_t>(got));
    if (maxBytes >= 0 && static_cast<int64_t>(text->size()) > maxBytes) {
      *reason = "larger than " + std::to_string(maxBytes) + " bytes";
      text->clear();
      return false;
    }
  }
}

bool ReadOutsideFile(const std::string& path, int64_t maxBytes, std::string* text,
                     OpenedFile* opened) {
  *opened = OpenOutsideFile(path, RegularFileToRead(maxBytes));
  text->clear();
  if (!opened->Opened()) return false;
  std::string reason;
  if (ReadAll(opened->fd, maxBytes, text, &reason)) return true;
  OpenedFile failed = Refused(FileRefusal::kSystemError, reason);
  failed.facts = opened->facts;
  *opened = std::move(failed);
  return false;
}

namespace {

std::string UserName(unsigned uid) {
  struct passwd entry {};
  struct passwd* found = nullptr;
  char buffer[4096];
  if (::getpwuid_r(uid, &entry, buffer, sizeof buffer, &found) == 0 && found)
    return "'" + std::string(found->pw_name) + "' (uid " + std::to_string(uid) + ")";
  return "uid " + std::to_string(uid);
}

// The user private group scheme: a group named for its only user. Writing by it is writing by
// the owner.
bool IsOwnersPrivateGroup(unsigned uid, unsigned gid) {
  struct passwd user {};
  struct passwd* foundUser = nullptr;
  char userBuffer[4096];
  if (::getpwuid_r(uid, &user, userBuffer, sizeof userBuffer, &foundUser) != 0 || !foundUser)
    return false;
  if (foundUser->pw_gid != gid) return false;
  struct group entry {};
  struct group* found = nullptr;
  char buffer[16384];
  if (::getgrgid_r(gid, &entry, buffer, sizeof buffer, &found) != 0 || !found) return false;
  for (char** member = found->gr_mem; member && *member; ++member) {
    if (std::strcmp(*member, foundUser->pw_name) != 0) return false;
  }
  return true;
}

}  // namespace

std::string UntrustedFileReason(const FileFacts& facts) {
  const unsigned self = ::geteuid();
  if (facts.owner != 0 && facts.owner != self)
    return "it belongs to " + UserName(facts.owner) + ", neither root nor you";
  char mode[8];
  std::snprintf(mode, sizeof mode, "%04o", facts.mode);
  if (facts.mode & S_IWOTH) return std::string("anyone can write it (mode ") + mode + ")";
  if ((facts.mode & S_IWGRP) && !IsOwnersPrivateGroup(facts.owner, facts.group))
    return std::string("its group can write it (mode ") + mode + ")";
  return {};
}

}  // namespace platform
