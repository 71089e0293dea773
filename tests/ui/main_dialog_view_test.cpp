// What the main dialog shows for each typed result of the test runs: the described text, in the
// field the user reads it in.

#include <gtest/gtest.h>

#include <QApplication>

#include <string>

#include "diagnostics/test_result.h"
#include "resources/control_ids.h"
#include "support/qt_app.h"
#include "ui/main_dialog.h"

namespace {

class MainDialogView : public testing::Test {
 protected:
  testsupport::QtApp<QApplication> qt{"main_dialog_view_test"};
  diagnostics::Session session;
  ui::MainDialog main{session, nullptr};

  [[nodiscard]] std::string Text(int id) const { return main.ItemText(id).toStdString(); }
};

// Each test's result lands in its own field, and a run that starts shows what the dialog showed
// before any result: "Wait..." for the first button's tests, nothing for the speaker.
TEST_F(MainDialogView, EachTestShowsItsRunningTextAndResultInItsOwnField) {
  const struct {
    diagnostics::TestIdentity test;
    int field;
    const char* running;
  } rows[] = {{diagnostics::kBasicFunction, ids::kBasicResult, "Wait..."},
              {diagnostics::kDigitalLoopback, ids::kDigitalResult, "Wait..."},
              {diagnostics::kAnalogLoopback, ids::kAnalogResult, "Wait..."},
              {diagnostics::kSpeaker, ids::kSpeakerResult, ""},
              {diagnostics::kLine, ids::kLineResult, "Wait..."}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.test.reportName);
    main.ShowRunning(row.test);
    EXPECT_EQ(Text(row.field), row.running);
    diagnostics::TestResult result;
    result.resultText = std::string("Passed after retry ") + row.test.reportName;
    main.ShowResult(row.test, result);
    EXPECT_EQ(Text(row.field), result.resultText);
    for (const auto& other : rows) {
      if (other.field != row.field) EXPECT_NE(Text(other.field), result.resultText);
    }
  }
  // A basic function test that never began still says it did not pass.
  main.ShowResult(diagnostics::kBasicFunction, diagnostics::NotRun("basic-function", "stopped"));
  EXPECT_EQ(Text(ids::kBasicResult), "Failure");
}

}  // namespace
