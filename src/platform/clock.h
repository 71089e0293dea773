#pragma once
#include <cstdint>

namespace platform {

// Milliseconds of the monotonic clock: wall time that never jumps. Any thread.
[[nodiscard]] int64_t NowMs();

}  // namespace platform
