#pragma once
// MainView: what the test runs tell the main dialog as they go, on top of what detection tells
// it. The dialog shows each test's result in its field; the report keeps the results instead.

#include "diagnostics/test_result.h"
#include "modem/main_view.h"

namespace diagnostics {

class MainView : public modem::MainView {
 public:
  // The test starts: its field shows RunningText(test). The runs return their results, so a
  // view that shows nothing leaves these two alone.
  virtual void ShowRunning(const TestIdentity& /*test*/) {}
  // The test ended with result: its field shows ResultText(result).
  virtual void ShowResult(const TestIdentity& /*test*/, const TestResult& /*result*/) {}
};

// "Wait..." for the first button's three tests; the speaker's field is emptied.
[[nodiscard]] const char* RunningText(const TestIdentity& test);
// The result's text; a test that never began shows "Failure".
[[nodiscard]] const char* ResultText(const TestResult& result);

}  // namespace diagnostics
