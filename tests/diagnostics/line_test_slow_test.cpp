// The line/DAA test where the dial never reports "NO CARRIER" (10 s) and where the modem stops
// answering (the restore waits out 4 x 3 s).

#include <gtest/gtest.h>

#include "diagnostics/line_test_fixture.h"
#include "platform/clock.h"

namespace {

using diag_test::Lines;
using diag_test::LineTest;
using diag_test::SimSetup;

class LineTestNoLine : public LineTest {
 protected:
  void ExpectQuestionAsked() const {
    EXPECT_EQ(question.shown, 1);
    EXPECT_EQ(question.text, diag_test::kQuestion);
    EXPECT_EQ(question.caption, "Connect ?");
    EXPECT_EQ(question.icon, QMessageBox::Question);
    EXPECT_EQ(question.buttons, QMessageBox::Yes | QMessageBox::No);
    EXPECT_TRUE(question.ownedByTheDialog);
    EXPECT_EQ(Received(), diag_test::Concat({Commands(), RestoreWrites()}));
    EXPECT_EQ(Percent(), (Lines{"0 %", "50 %", "80 %", "100 %"}));
    EXPECT_EQ(sampler.progress, (std::vector<int>{0, 10, 20, 40, 50, 70, 80, 100}));
    EXPECT_EQ(view.beeps, 1);
    ExpectRegistersRestored();
    EXPECT_FALSE(okEnabledEarly);
  }
};

TEST_F(LineTestNoLine, NoToTheQuestionGivesNotConnected) {
  SimSetup setup;
  setup.faults.noLine = true;
  ASSERT_NO_FATAL_FAILURE(StartAndDetect(setup));
  AnswerQuestionWith(QMessageBox::No);

  ui::RunLineTest(session, view);

  ExpectQuestionAsked();
  EXPECT_EQ(Status(), (Lines{diag_test::kInProgress, diag_test::kPassing, diag_test::kDetecting,
                             diag_test::kNotConnectedStatus}));
  EXPECT_EQ(view.History(field::kLineResult), (Lines{"Not Connected"}));
}

TEST_F(LineTestNoLine, YesToTheQuestionGivesFailure) {
  SimSetup setup;
  setup.faults.noLine = true;
  ASSERT_NO_FATAL_FAILURE(StartAndDetect(setup));
  AnswerQuestionWith(QMessageBox::Yes);

  ui::RunLineTest(session, view);

  ExpectQuestionAsked();
  EXPECT_EQ(Status(),
            (Lines{diag_test::kInProgress, diag_test::kPassing, diag_test::kDetecting, "Failure"}));
  EXPECT_EQ(view.History(field::kLineResult), (Lines{"Failure"}));
}

// "ok" is not "OK": the first write times out, but the modem executed every write, so the
// restore puts the registers back all the same.
TEST_F(LineTest, LowerCaseAnswersFailAtTheFirstWriteAndThatRegisterIsRestored) {
  SimSetup setup;
  setup.faults.lowerCaseResults = true;
  ASSERT_NO_FATAL_FAILURE(StartAsIfDetected(setup));

  ui::RunLineTest(session, view);

  EXPECT_EQ(Status(), (Lines{diag_test::kInProgress, "Failure"}));
  EXPECT_EQ(sampler.progress, (std::vector<int>{0, 100}));
  EXPECT_EQ(view.History(field::kLineResult), (Lines{"Failure"}));
  // Only register 18's test value went out, so only register 18 is written back.
  EXPECT_EQ(Received(), diag_test::Concat({CommandsUpTo(1), RestoreWrites(1)}));
  EXPECT_EQ(sim.State(diag_test::kModemPort)->reg18, before.reg18);
}

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
