#pragma once
// TranscriptFile: the file a transcript is written to. Opened without following a symbolic link
// and created readable by its owner only, since it records what a port said; each line goes out
// in one write() so a crash leaves whole lines behind. One thread at a time.

#include <string>

#include "platform/unique_fd.h"

namespace platform {

class TranscriptFile {
 public:
  // Creates or empties path (mode 0600 when created; an existing file of ours is set to 0600).
  // Refuses a symbolic link. On failure returns false, the reason in *error, nothing open.
  [[nodiscard]] bool Open(const char* path, std::string* error);
  [[nodiscard]] bool IsOpen() const { return fd_.Valid(); }
  // Writes the whole text with one write() (more only when the kernel takes part of it). On
  // failure returns false with the reason in *error; the file stays open.
  [[nodiscard]] bool Write(const std::string& text, std::string* error);
  void Close() { fd_.Reset(); }

 private:
  UniqueFd fd_;
};

}  // namespace platform
