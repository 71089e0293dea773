#pragma once

namespace platform {

// True when a top-level client window whose whole title equals title (ASCII case-insensitive)
// exists on the X display, mapped or not. No display: false.
[[nodiscard]] bool TopLevelWindowExists(const char* title);

}  // namespace platform
