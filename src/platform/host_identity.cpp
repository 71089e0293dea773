#include "platform/host_identity.h"

#include <QString>
#include <QSysInfo>

#include <cstdio>

#include "platform/regular_file.h"

namespace platform {

std::string HostName() { return QSysInfo::machineHostName().toStdString(); }

std::optional<std::string> MachineId(const char* path) {
  const UniqueFile file = OpenRegularFileStream(path);
  if (!file) return std::nullopt;
  // 32 hex digits and a newline; one byte more tells a longer file from a valid one.
  char buffer[35] = {};
  const std::size_t length = std::fread(buffer, 1, sizeof buffer - 1, file.get());
  std::string id(buffer, length);
  if (!id.empty() && id.back() == '\n') id.pop_back();
  if (id.size() != 32) return std::nullopt;
  for (char c : id) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return std::nullopt;
  }
  return id;
}

}  // namespace platform
