#pragma once
// TranscriptFile: the file a transcript is written to, named by the user. A regular file is
// created readable by its owner only, since it records what a port said; a character device
// (/dev/null, /dev/tty) and a FIFO or pipe that has a reader are taken too, and so are the names
// of a descriptor the program already holds (/dev/stderr, /dev/fd/N: see outside_file.h). Each
// line goes out in one write() so a crash leaves whole lines behind. One thread at a time.

#include <string>

#include "platform/unique_fd.h"

namespace platform {

class TranscriptFile {
 public:
  // A reader that takes nothing for this long has stopped: the write fails rather than hold up
  // the run.
  static constexpr int kStalledWriteMs = 2000;

  // Opens path (a regular file is created with mode 0600 or emptied, and set to 0600 when it is
  // ours). Refuses at once a symbolic link, a FIFO nobody reads, a directory and the like. On
  // failure returns false, the reason in *error, nothing open.
  [[nodiscard]] bool Open(const char* path, std::string* error);
  [[nodiscard]] bool IsOpen() const { return fd_.Valid(); }
  // Writes the whole text, waiting at most kStalledWriteMs for room. On failure (ENOSPC, EIO,
  // EPIPE when the reader has gone, ETIMEDOUT when it stalled) returns false with the reason in
  // *error; the file stays open. Never raises SIGPIPE.
  [[nodiscard]] bool Write(const std::string& text, std::string* error);
  void Close() { fd_.Reset(); }

 private:
  UniqueFd fd_;
};

}  // namespace platform
