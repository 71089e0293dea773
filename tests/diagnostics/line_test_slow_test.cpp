// The line/DAA test where the dial never reports "NO CARRIER" (10 s) and where the modem stops
// answering (the restore waits out 4 x 3 s).

#include <gtest/gtest.h>

#include "diagnostics/line_test_fixture.h"
#include "platform/clock.h"

namespace {

using diag_test::Fault;
using diag_test::LineCase;
using diag_test::LineRun;
using diag_test::Lines;
using diag_test::LineTest;
using diag_test::SimSetup;

// The dial never reports "NO CARRIER" within its 10 s: the user is asked whether a line is
// connected, and the answer decides. "ok" is not "OK": the first write times out, but the modem
// executed it, so the restore puts that register back all the same.
INSTANTIATE_TEST_SUITE_P(
    LineTest, LineRun,
    testing::Values(LineCase{.name = "NoLineAndNoToTheQuestionGivesNotConnected",
                             .setup = {.faults = Fault(&sim::Faults::noLine, true)},
                             .answer = QMessageBox::No,
                             .asked = true,
                             .status = {diag_test::kInProgress, diag_test::kPassing,
                                        diag_test::kDetecting, diag_test::kNotConnectedStatus},
                             .percent = diag_test::kDialPercent,
                             .progress = diag_test::kDialProgress,
                             .result = "Not Connected"},
                    LineCase{.name = "NoLineAndYesToTheQuestionGivesFailure",
                             .setup = {.faults = Fault(&sim::Faults::noLine, true)},
                             .answer = QMessageBox::Yes,
                             .asked = true,
                             .status = {diag_test::kInProgress, diag_test::kPassing,
                                        diag_test::kDetecting, "Failure"},
                             .percent = diag_test::kDialPercent,
                             .progress = diag_test::kDialProgress,
                             .result = "Failure"},
                    LineCase{.name = "LowerCaseAnswersFailAtTheFirstWriteAndThatRegisterIsRestored",
                             .setup = {.faults = Fault(&sim::Faults::lowerCaseResults, true)},
                             .asIfDetected = true,
                             .status = {diag_test::kInProgress, "Failure"},
                             .percent = {"0 %", "100 %"},
                             .progress = {0, 100},
                             .result = "Failure",
                             .commands = 1,
                             .restoreWrites = 1}),
    diag_test::LineCaseName);

// The modem goes away at "X4": Failure, the four registers are named as not put back (nothing
// can reach a lost device), OK comes on only after that, and the waits sleep.
TEST_F(LineTest, DeviceLostAtX4FailsAndNamesTheRegistersNotPutBack) {
  ASSERT_NO_FATAL_FAILURE(StartAndDetect());
  HangUpWhenReceived("atX4");
  int64_t okAt = -1;
  sampler.onSample = [&, inner = sampler.onSample](widgets::TemplateDialog& dialog) {
    if (okAt < 0 && dialog.IsItemEnabled(ids::kLineOk)) okAt = platform::NowMs();
    inner(dialog);
  };
  double cpuBefore = diag_test::CpuSeconds();
  int64_t start = platform::NowMs();

  ui::RunLineTest(session, view);

  int64_t wallMs = platform::NowMs() - start;
  EXPECT_EQ(Status().back(), "Failure");
  EXPECT_EQ(view.History(field::kLineResult), (Lines{"Failure"}));
  EXPECT_EQ(view.beeps, 1);
  EXPECT_EQ(Percent().back(), "100 %");
  EXPECT_EQ(sampler.progress.back(), 100);
  // Half a second and one 3 s time-out at X4 or S7=1.
  ASSERT_GE(okAt, 0);
  EXPECT_GE(okAt - start, 500 + 3100);
  EXPECT_EQ(diagnostics::NotPutBack(session).size(), 5u) << "four registers and the settings";
  // The run is short now that nothing waits on the lost line, so the dialog's own painting weighs
  // more; a busy wait would still take the whole of the wall time.
  EXPECT_LT(diag_test::CpuSeconds() - cpuBefore, 0.25 * static_cast<double>(wallMs) / 1000.0);
}

}  // namespace
