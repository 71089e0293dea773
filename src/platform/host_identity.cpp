#include "platform/host_identity.h"

#include <QString>
#include <QSysInfo>

#include "platform/outside_file.h"

namespace platform {

std::string HostName() { return QSysInfo::machineHostName().toStdString(); }

std::optional<std::string> MachineId(const char* path) {
  // 32 hex digits and a newline; a longer file is no machine ID.
  std::string id;
  OpenedFile opened;
  if (!ReadOutsideFile(path, 33, &id, &opened)) return std::nullopt;
  if (!id.empty() && id.back() == '\n') id.pop_back();
  if (id.size() != 32) return std::nullopt;
  for (char c : id) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return std::nullopt;
  }
  return id;
}

}  // namespace platform
