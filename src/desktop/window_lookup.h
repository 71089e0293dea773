#pragma once

namespace desktop {

// True when a top-level client window whose whole title equals title (ASCII case-insensitive)
// exists on the X display, mapped or not: the root windows' children, and the client windows a
// reparenting window manager keeps inside its frames. No display, or a null title: false.
// UI thread (it installs a temporary X error handler).
[[nodiscard]] bool TopLevelWindowExists(const char* title);

// True when the X display named by DISPLAY can be opened now. Any thread.
[[nodiscard]] bool XDisplayAvailable();

}  // namespace desktop
