#pragma once
// Opening a file that must be a plain file. A FIFO, device, socket or directory put where a data
// file is expected (a lock directory is world-writable) would block the caller for good or be
// read as data, so it is refused before anything is read.

#include <cstdio>
#include <memory>
#include <string>

#include "platform/unique_fd.h"

namespace platform {

enum class SymlinkPolicy { kFollow, kRefuse };

// Opens path read-only when it is a regular file; with kRefuse a symbolic link as its last
// component is refused as well. Never waits for a FIFO's writer. Invalid on failure, with the
// reason in *reason (if given), which stays empty when nothing exists at path. Any thread.
[[nodiscard]] UniqueFd OpenRegularFile(const char* path, SymlinkPolicy links,
                                       std::string* reason = nullptr);

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using UniqueFile = std::unique_ptr<std::FILE, FileCloser>;

// OpenRegularFile following symbolic links, as a stdio stream for binary reading. Null on
// failure, with *reason as above. Any thread.
[[nodiscard]] UniqueFile OpenRegularFileStream(const char* path, std::string* reason = nullptr);

}  // namespace platform
