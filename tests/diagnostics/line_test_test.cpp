// The line/DAA test in its real dialog against the simulated modem: the commands, what the
// dialog shows on the way to each outcome, the question, the OK button, and closing it early.

#include <gtest/gtest.h>

#include <QTest>

#include "diagnostics/line_test_fixture.h"

namespace {

using diag_test::Fault;
using diag_test::LineCase;
using diag_test::LineRun;
using diag_test::Lines;
using diag_test::LineTest;
using diag_test::SimSetup;

INSTANTIATE_TEST_SUITE_P(
    LineTest, LineRun,
    testing::Values(LineCase{.name = "NoCarrierPassesThroughEveryStatusToPassed",
                             .answer = QMessageBox::Yes,
                             .status = {diag_test::kInProgress, diag_test::kPassing,
                                        diag_test::kDetecting, diag_test::kHangingUp, "Passed !"},
                             .percent = diag_test::kDialPercent,
                             .progress = diag_test::kDialProgress,
                             .result = "Passed",
                             .startTimed = true},
                    LineCase{.name = "SplitAnswersStillPass",
                             .setup = {.faults = Fault(&sim::Faults::splitOutput, true)},
                             .status = {diag_test::kInProgress, diag_test::kPassing,
                                        diag_test::kDetecting, diag_test::kHangingUp, "Passed !"},
                             .percent = diag_test::kDialPercent,
                             .progress = diag_test::kDialProgress,
                             .result = "Passed"},
                    LineCase{.name = "UnansweredX4StopsProgressAt50ThenJumpsTo100WithFailure",
                             .setup = {.faults = Fault(&sim::Faults::muteCommands, {"X4"})},
                             .status = {diag_test::kInProgress, diag_test::kPassing, "Failure"},
                             .percent = {"0 %", "50 %", "100 %"},
                             .progress = {0, 10, 20, 40, 50, 100},
                             .result = "Failure",
                             .commands = 5}),
    diag_test::LineCaseName);

// The close box while the modem works: the sequence runs to its end with the dialog still up
// (the main dialog stays blocked), then the dialog ends by itself without OK.
TEST_F(LineTest, CloseBoxDuringTheSequenceEndsTheDialogOnlyAfterTheRestore) {
  ASSERT_NO_FATAL_FAILURE(StartAndDetect());
  closeWithOk = false;
  bool closed = false;
  bool hiddenEarly = false;
  sampler.onChange = [&](widgets::TemplateDialog& dialog) {
    if (!closed && dialog.ItemText(ids::kLineStatus) == QLatin1String(diag_test::kPassing)) {
      closed = true;
      dialog.close();
      hiddenEarly = !dialog.isVisible();
    }
  };

  ui::RunLineTest(session, view);

  ASSERT_TRUE(closed);
  EXPECT_FALSE(hiddenEarly);
  EXPECT_EQ(Status().back(), "Passed !");
  EXPECT_EQ(view.Text(field::kLineResult), "Passed");
  EXPECT_EQ(view.beeps, 1);
  EXPECT_EQ(Received(), diag_test::Concat({Commands(), RestoreWrites()}));
  ExpectRegistersRestored();
  EXPECT_FALSE(okEnabledEarly);
}

// Escape and Enter during the waits are not dialog commands; once the test has ended, Escape
// closes the dialog as Cancel.
TEST_F(LineTest, EscapeAndEnterDoNothingWhileTheSequenceRunsThenEscapeCloses) {
  ASSERT_NO_FATAL_FAILURE(StartAndDetect());
  closeWithOk = false;
  bool keysSent = false;
  bool stillRunning = false;
  sampler.onChange = [&](widgets::TemplateDialog& dialog) {
    if (!keysSent && dialog.ItemText(ids::kLineStatus) == QLatin1String(diag_test::kPassing)) {
      keysSent = true;
      QTest::keyClick(&dialog, Qt::Key_Escape);
      QTest::keyClick(&dialog, Qt::Key_Return);
      stillRunning = dialog.isVisible();
    }
  };
  bool escapeSent = false;
  sampler.onSample = [&, inner = sampler.onSample](widgets::TemplateDialog& dialog) {
    inner(dialog);
    if (!escapeSent && dialog.IsItemEnabled(ids::kLineOk)) {
      escapeSent = true;
      QTest::keyClick(&dialog, Qt::Key_Escape);
    }
  };

  ui::RunLineTest(session, view);

  ASSERT_TRUE(keysSent);
  EXPECT_TRUE(stillRunning);
  EXPECT_TRUE(escapeSent);
  EXPECT_EQ(Status().back(), "Passed !");
  EXPECT_EQ(Received(), diag_test::Concat({Commands(), RestoreWrites()}));
}

// Escape before the first tick ends the dialog before the modem is touched.
TEST_F(LineTest, EscapeBeforeTheSequenceStartsLeavesTheModemAlone) {
  ASSERT_NO_FATAL_FAILURE(StartAndDetect());
  closeWithOk = false;
  bool escapeSent = false;
  sampler.onSample = [&](widgets::TemplateDialog& dialog) {
    if (escapeSent) return;
    escapeSent = true;
    QTest::keyClick(&dialog, Qt::Key_Escape);
  };

  ui::RunLineTest(session, view);

  EXPECT_TRUE(escapeSent);
  EXPECT_EQ(Received(), Lines{});
  EXPECT_EQ(view.beeps, 0);
  EXPECT_TRUE(view.History(field::kLineResult).empty());
}

}  // namespace
