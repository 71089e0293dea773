#include "platform/device_name.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace platform {

std::string DevicePathFor(const char* deviceName) {
  int number = 0;
  int consumed = 0;
  if (std::sscanf(deviceName, "COM%d%n", &number, &consumed) != 1 ||
      deviceName[consumed] != '\0' || number < 1) {
    return deviceName;
  }
  char variable[32];
  std::snprintf(variable, sizeof variable, "KALVEX_%s", deviceName);
  if (const char* path = std::getenv(variable); path && *path) return path;
  if (const char* dir = std::getenv("KALVEX_COM_DIR"); dir && *dir) {
    return std::string(dir) + "/" + deviceName;
  }
  return "/dev/ttyS" + std::to_string(number - 1);
}

}  // namespace platform
