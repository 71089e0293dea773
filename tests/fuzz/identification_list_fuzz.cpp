// The identification-list loader on arbitrary file bytes, read through a file rewritten for each
// input (a plain file: the loader follows no link, so a /proc/self/fd name would be refused).
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "modem/identification_list.h"

namespace {

// The name of the file every input is written to: a pattern until ScratchFd makes the file, in
// memory where the system has /dev/shm (rewriting a disk file for each input is slow).
char* ScratchPath() {
  static char path[64] = "/dev/shm/kalvex-fuzz-ati3-XXXXXX";
  return path;
}

void RemoveScratch() { ::unlink(ScratchPath()); }

// The descriptor of the file every input is written to, removed when the fuzzer ends.
int ScratchFd() {
  static const int fd = [] {
    int made = ::mkstemp(ScratchPath());
    if (made < 0) {
      std::strcpy(ScratchPath(), "/tmp/kalvex-fuzz-ati3-XXXXXX");
      made = ::mkstemp(ScratchPath());
    }
    if (made >= 0) std::atexit(RemoveScratch);
    return made;
  }();
  return fd;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const int fd = ScratchFd();
  if (fd < 0 || ::ftruncate(fd, 0) != 0 ||
      ::pwrite(fd, data, size, 0) != static_cast<ssize_t>(size)) {
    return 0;
  }
  const char* path = ScratchPath();
  modem::IdentificationList list;
  const bool read = modem::ReadIdentificationFile(path, list);
  // A file past the bound is refused; every other one is read.
  if (read != (static_cast<int64_t>(size) <= modem::kMaxIdentificationFileBytes)) __builtin_trap();
  if (list.count < 0 || list.count > modem::kMaxIdentificationLines) __builtin_trap();
  if (list.entriesIgnored < 0 || list.linesSplit < 0) __builtin_trap();
  if (list.entriesIgnored > 0 && list.count != modem::kMaxIdentificationLines) __builtin_trap();
  for (int i = 0; i < list.count; ++i) {
    if (!std::memchr(list.lines[i], '\0', modem::kIdentificationLineSize)) __builtin_trap();
  }
  return 0;
}
