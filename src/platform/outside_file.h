#pragma once
// Opening a file named from outside the tool: by the user (--transcript, ports.conf), by the
// environment (ati3.dat under $XDG_DATA_DIRS, the instance lock under $XDG_RUNTIME_DIR, the
// journal under $XDG_STATE_HOME) or by another program (UUCP lock files, sysfs and /proc fields).
// Every such open goes through OpenOutsideFile, so that none of them can be made to wait for
// good, to follow a link planted in a shared directory, or to read a device or a huge file as
// data:
//   - a kind the rule does not accept is refused after an lstat(), before anything is opened
//     (opening a device can act on it);
//   - open() with O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY: a FIFO never waits for its
//     other end, and one opened for writing without a reader is refused at once;
//   - fstat() of what was opened decides: its kind, and for a regular file read its size;
//   - a symbolic link as the last component is refused, except, where the rule allows it, a name
//     of a descriptor this process already holds: /dev/stdin, /dev/stdout, /dev/stderr,
//     /dev/fd/N and /proc/self/fd/N ("--transcript /dev/stderr", "--transcript >(gzip > t.gz)").
//     For reading such a name is opened again (an offset of its own); for writing the
//     descriptor is duplicated, so its offset is shared and nothing of it is truncated.
// Any thread; keeps nothing between calls.
//
// A private state file written whole (the ledger's journal): OpenOutsideFile(temporary name,
// {FileAccess::kCreateNew, kAcceptRegular, -1, 0600}), write, fsync, rename over the real name;
// read back with RegularFileToRead(bound) and ReadAll, and check UntrustedFileReason(facts).

#include <cstdint>
#include <string>

#include "platform/unique_fd.h"

namespace platform {

enum class FileAccess {
  kRead,             // read only
  kWriteTruncate,    // write; created (createMode) when missing; a regular file is emptied
  kReadWriteCreate,  // read and write; created (createMode) when missing; never emptied
  kCreateNew,        // write a file that must not exist yet (a temporary file to rename)
};

// The kinds a rule accepts, as bits.
inline constexpr unsigned kAcceptRegular = 1;
inline constexpr unsigned kAcceptCharacterDevice = 2;  // /dev/null, /dev/tty
inline constexpr unsigned kAcceptFifo = 4;             // for writing: only with a reader

struct FileRule {
  FileAccess access = FileAccess::kRead;
  unsigned kinds = kAcceptRegular;
  int64_t maxBytes = -1;         // kRead: a larger regular file is refused; -1 no bound
  unsigned createMode = 0600;    // permission bits of a file this open creates
  bool heldDescriptors = false;  // accept /dev/stderr, /dev/fd/N, /proc/self/fd/N (above)
};

// A regular file to read, of at most maxBytes.
[[nodiscard]] inline FileRule RegularFileToRead(int64_t maxBytes) {
  return FileRule{FileAccess::kRead, kAcceptRegular, maxBytes, 0600, false};
}

enum class FileRefusal {
  kNone,          // opened
  kMissing,       // nothing at path (ENOENT), and the rule creates nothing
  kSymbolicLink,  // the last component is a symbolic link
  kWrongKind,     // a directory, device, FIFO or socket the rule does not accept
  kTooLarge,      // a regular file past the rule's bound
  kNoReader,      // a FIFO (or pipe) opened for writing that nobody reads
  kNotHeld,       // /dev/fd/N and the like: N is not open here, or not for this access
  kSystemError,   // open, fstat or truncation failed otherwise; errno in error
};

enum class FileKind {
  kRegular,
  kDirectory,
  kCharacterDevice,
  kBlockDevice,
  kFifo,
  kSocket,
  kOther
};

// What fstat() said of the file that was opened.
struct FileFacts {
  FileKind kind = FileKind::kOther;
  int64_t size = 0;
  unsigned owner = 0;  // uid
  unsigned group = 0;  // gid
  unsigned mode = 0;   // permission bits (07777)
};

struct OpenedFile {
  UniqueFd fd;  // valid when opened
  FileRefusal refusal = FileRefusal::kNone;
  int error = 0;       // the errno behind a refusal, when there was one
  std::string reason;  // a refusal in words for a user ("a FIFO, not a regular file"); else empty
  FileFacts facts;     // valid when opened
  bool heldDescriptor = false;  // opened through the name of a descriptor this process holds

  [[nodiscard]] bool Opened() const { return fd.Valid(); }
};

// Opens path by rule (see above). On refusal nothing is left open and nothing is created,
// except that kWriteTruncate and kReadWriteCreate may have created an empty file before a
// failed check of it.
[[nodiscard]] OpenedFile OpenOutsideFile(const std::string& path, const FileRule& rule);

// Reads the whole of an opened file, at most maxBytes (procfs and sysfs give no true size, so the
// read is bounded too). True with the bytes in *text; false with *reason ("larger than N bytes",
// or the errno in words) and *text empty.
[[nodiscard]] bool ReadAll(const UniqueFd& fd, int64_t maxBytes, std::string* text,
                           std::string* reason);

// OpenOutsideFile(path, RegularFileToRead(maxBytes)) and ReadAll: true with the bytes in *text;
// false with the refusal in *opened (kMissing for nothing there) and its words in opened->reason.
[[nodiscard]] bool ReadOutsideFile(const std::string& path, int64_t maxBytes, std::string* text,
                                   OpenedFile* opened);

// Why a file that decides what the tool does (a list it trusts) must not be used: someone other
// than its user could have put words in it. Empty when it may be used. Refused: a file another
// user than root or this one owns, and one that others than its owner can write (group write
// counts unless the group is the owner's own with no other member).
[[nodiscard]] std::string UntrustedFileReason(const FileFacts& facts);

}  // namespace platform
