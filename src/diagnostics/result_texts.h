#pragma once
// The result texts the test runs write into the main dialog, and the report repeats.

#include "resources/product.h"

namespace diagnostics {

// Detection writes the same text into the modem information fields.
inline constexpr auto& kResultWait = product::kWaitText;
inline constexpr char kResultPassed[] = "Passed";
inline constexpr char kResultPassedAfterRetry[] = "Passed after retry";
inline constexpr char kResultFailure[] = "Failure";
inline constexpr char kResultNotConnected[] = "Not Connected";

}  // namespace diagnostics
