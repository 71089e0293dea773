#pragma once
// The result texts the test runs write into the main dialog, and the report repeats.

namespace diagnostics {

inline constexpr char kResultWait[] = "Wait...";
inline constexpr char kResultPassed[] = "Passed";
inline constexpr char kResultPassedAfterRetry[] = "Passed after retry";
inline constexpr char kResultFailure[] = "Failure";
inline constexpr char kResultNotConnected[] = "Not Connected";

}  // namespace diagnostics
