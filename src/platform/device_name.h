#pragma once
#include <string>

namespace platform {

// The device path for a port name such as "COM3": $KALVEX_COM3 when set, else
// $KALVEX_COM_DIR/COM3 when KALVEX_COM_DIR is set, else /dev/ttyS2 (COMn is ttyS<n-1>).
// A name that is not COM followed by a number is taken as a path.
[[nodiscard]] std::string DevicePathFor(const char* deviceName);

}  // namespace platform
