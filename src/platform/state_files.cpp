#include "platform/state_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "platform/data_files.h"
#include "platform/outside_file.h"
#include "platform/sys_error.h"
#include "platform/unique_fd.h"

namespace platform {
namespace {

std::string DirectoryOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash == 0 ? 1 : slash);
}

// Creates each missing directory of path with mode 0700; an existing one is left as it is.
bool MakeDirectories(const std::string& path, std::string* error) {
  for (size_t at = 1; at <= path.size(); ++at) {
    if (at != path.size() && path[at] != '/') continue;
    const std::string part = path.substr(0, at);
    if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
      *error = "cannot create " + part + ": " + DescribeErrno(errno);
      return false;
    }
  }
  return true;
}

bool WriteAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t wrote =
        RetryOnEintr([&] { return ::write(fd, bytes.data() + done, bytes.size() - done); });
    if (wrote <= 0) return false;
    done += size_t(wrote);
  }
  return true;
}

}  // namespace

std::string StateDirectory() {
  const char* state = std::getenv("XDG_STATE_HOME");
  std::string base = state != nullptr && state[0] == '/' ? std::string(state) : std::string();
  if (base.empty()) {
    const std::string home = HomeDirectory();
    if (home.empty()) return {};
    base = home + "/.local/state";
  }
  return base + "/" + kDataDirectoryName;
}

bool WriteFileAtomically(const std::string& path, const std::string& bytes, std::string* error) {
  const std::string directory = DirectoryOf(path);
  if (!MakeDirectories(directory, error)) return false;
  const std::string temporary = path + ".new";
  // A file left by a crash in the middle of a write is ours to replace; a link there is not.
  (void)::unlink(temporary.c_str());
  OpenedFile file =
      OpenOutsideFile(temporary, FileRule{FileAccess::kCreateNew, kAcceptRegular, -1, 0600, false});
  if (!file.Opened()) {
    *error = "cannot create " + temporary + ": " + file.reason;
    return false;
  }
  if (!WriteAll(file.fd.Get(), bytes) || ::fsync(file.fd.Get()) != 0) {
    *error = "cannot write " + temporary + ": " + DescribeErrno(errno);
    (void)::unlink(temporary.c_str());
    return false;
  }
  file.fd.Reset();
  if (::rename(temporary.c_str(), path.c_str()) != 0) {
    *error = "cannot rename " + temporary + ": " + DescribeErrno(errno);
    (void)::unlink(temporary.c_str());
    return false;
  }
  // The rename itself is on the disk only once the directory is.
  UniqueFd dir(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.Valid()) (void)::fsync(dir.Get());
  return true;
}

PrivateFileRead ReadPrivateFile(const std::string& path, long maxBytes, std::string* content,
                                std::string* error) {
  OpenedFile file = OpenOutsideFile(path, RegularFileToRead(maxBytes));
  if (!file.Opened()) {
    *error = file.reason;
    switch (file.refusal) {
      case FileRefusal::kMissing: return PrivateFileRead::kMissing;
      case FileRefusal::kSystemError: return PrivateFileRead::kFailed;
      default: return PrivateFileRead::kRefused;
    }
  }
  if (file.facts.owner != ::getuid() || (file.facts.mode & 077) != 0) {
    *error = "not a private file of this user (owner and mode 0600 expected)";
    return PrivateFileRead::kRefused;
  }
  return ReadAll(file.fd, maxBytes, content, error) ? PrivateFileRead::kRead
                                                    : PrivateFileRead::kFailed;
}

std::string PrivateFileMend(const std::string& path) {
  struct stat facts {};
  if (::lstat(path.c_str(), &facts) != 0 || !S_ISREG(facts.st_mode)) return {};
  std::string quoted = "'";
  for (char c : path) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  quoted += "'";
  const std::string chmod = "chmod 600 " + quoted;
  // A run under sudo leaves root's file behind, which only root can give back.
  if (facts.st_uid != ::getuid())
    return "sudo chown " + std::to_string(::getuid()) + " " + quoted + " && " + chmod;
  if ((facts.st_mode & 077) != 0) return chmod;
  return {};
}

bool RenameFile(const std::string& from, const std::string& to, std::string* error) {
  if (::rename(from.c_str(), to.c_str()) == 0) return true;
  *error = DescribeErrno(errno);
  return false;
}

bool RemoveFile(const std::string& path, std::string* error) {
  if (::unlink(path.c_str()) == 0 || errno == ENOENT) return true;
  *error = DescribeErrno(errno);
  return false;
}

}  // namespace platform
