// The identification-list loader on arbitrary file bytes, read through a memory file.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "modem/identification_list.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static int fd = ::memfd_create("ati3.dat", 0);
  if (fd < 0 || ::ftruncate(fd, 0) != 0 ||
      ::pwrite(fd, data, size, 0) != static_cast<ssize_t>(size)) {
    return 0;
  }
  char path[64];
  std::snprintf(path, sizeof path, "/proc/self/fd/%d", fd);
  modem::IdentificationList list;
  if (!modem::ReadIdentificationFile(path, list)) __builtin_trap();
  if (list.count < 0 || list.count > modem::kMaxIdentificationLines) __builtin_trap();
  for (int i = 0; i < list.count; ++i) {
    if (!std::memchr(list.lines[i], '\0', modem::kIdentificationLineSize)) __builtin_trap();
  }
  return 0;
}
