// The speaker test against the simulated modem, with the real voice prompt: the commands, the
// prompt's seconds and its own "H", the answers, closing it without one, and a modem that stops
// answering.

#include <gtest/gtest.h>

#include <QPushButton>
#include <QTest>

#include <string>

#include "diagnostics/program_run.h"
#include "diagnostics/run_support.h"
#include "platform/clock.h"
#include "ui/voice_prompt_dialog.h"

namespace {

using diag_test::Lines;
using diag_test::RunTest;
using diag_test::Sampler;
using diag_test::SimSetup;
using ui::VoicePromptDialog;

std::string Seconds(int n) { return "Voice On..." + std::to_string(n) + " Sec"; }

Lines Counter(int upTo) {
  Lines lines = {""};
  for (int n = 1; n <= upTo; ++n) lines.push_back(Seconds(n));
  return lines;
}

void Click(widgets::TemplateDialog& dialog, int id) {
  qobject_cast<QPushButton*>(dialog.Item(id))->click();
}

class SpeakerTest : public RunTest {
 protected:
  // Follows the prompt's counter; act runs at each new text of it.
  void OnCounter(std::function<void(VoicePromptDialog&, const std::string&)> act) {
    sampler.Track(ids::kVoiceCounter);
    sampler.onChange = [act = std::move(act)](widgets::TemplateDialog& dialog) {
      act(static_cast<VoicePromptDialog&>(dialog),
          dialog.ItemText(ids::kVoiceCounter).toStdString());
    };
  }
  void ExpectResultText(const char* result) const {
    Lines expected = {"speaker ", std::string("speaker ") + result};
    EXPECT_EQ(view.events, expected);
    EXPECT_EQ(view.beeps, 0);
  }

  Sampler sampler{[] { return diag_test::Visible<VoicePromptDialog>(); }};
};

TEST_F(SpeakerTest, YesAfterFourSecondsPassesWithOneHAndTouchesNoRegister) {
  ASSERT_NO_FATAL_FAILURE(StartAndDetect());
  bool buzzWhileAsking = false;
  OnCounter([&](VoicePromptDialog& prompt, const std::string& text) {
    if (text == Seconds(1)) buzzWhileAsking = sim.State(diag_test::kModemPort)->buzz;
    if (text == Seconds(4)) Click(prompt, ids::kVoiceYes);
  });

  ui::RunSpeakerTest(session, view);

  EXPECT_TRUE(view.speakerHeard);
  EXPECT_EQ(view.Text(field::kSpeakerResult), "Passed");
  ExpectResultText("Passed");
  EXPECT_EQ(Received(), (Lines{"atL3", "atM2", "atH1", "at%T24", "atH"}));
  EXPECT_EQ(sampler.History(ids::kVoiceCounter), Counter(4));
  EXPECT_TRUE(buzzWhileAsking);
  sim::PortState after = sim.State(diag_test::kModemPort).value();
  EXPECT_FALSE(after.buzz);
  EXPECT_EQ(after.reg18, before.reg18);
  EXPECT_EQ(after.reg20, before.reg20);
  // "H1" answered, then its 100 ms, then the 1500 ms pause before the buzz.
  EXPECT_GE(ReceivedAt("at%T24") - ReceivedAt("atH1"), 1600);
  EXPECT_LT(ReceivedAt("at%T24") - ReceivedAt("atH1"), 2500);
}

TEST_F(SpeakerTest, NoGivesFailureAfterTheClosingH) {
  ASSERT_NO_FATAL_FAILURE(StartAndDetect());
  view.speakerHeard = true;  // an earlier Yes must not count
  OnCounter([&](VoicePromptDialog& prompt, const std::string& text) {
    if (text == Seconds(1)) Click(prompt, ids::kVoiceNo);
  });

  ui::RunSpeakerTest(session, view);

  EXPECT_FALSE(view.speakerHeard);
  ExpectResultText("Failure");
  EXPECT_EQ(Received(), (Lines{"atL3", "atM2", "atH1", "at%T24", "atH"}));
  EXPECT_FALSE(sim.State(diag_test::kModemPort)->buzz);
}

TEST_F(SpeakerTest, UnansweredM2FailsWithoutH1BuzzPromptOrH) {
  SimSetup setup;
  setup.faults.muteCommands = {"M2"};
  ASSERT_NO_FATAL_FAILURE(StartAndDetect(setup));
  view.speakerHeard = true;
  int64_t start = platform::NowMs();

  ui::RunSpeakerTest(session, view);

  EXPECT_GE(platform::NowMs() - start, 3100);
  ExpectResultText("Failure");
  EXPECT_EQ(Received(), (Lines{"atL3", "atM2"}));
  EXPECT_FALSE(sampler.seenDialog);
}

// Results compare case-sensitively, so "ok" leaves "L3" unanswered.
TEST_F(SpeakerTest, LowerCaseAnswersFailAtL3) {
  SimSetup setup;
  setup.faults.lowerCaseResults = true;
  ASSERT_NO_FATAL_FAILURE(StartAsIfDetected(setup));

  ui::RunSpeakerTest(session, view);

  ExpectResultText("Failure");
  EXPECT_EQ(Received(), (Lines{"atL3"}));
  EXPECT_FALSE(sampler.seenDialog);
}

TEST_F(SpeakerTest, SplitAnswersStillReachThePrompt) {
  SimSetup setup;
  setup.faults.splitOutput = true;
  ASSERT_NO_FATAL_FAILURE(StartAndDetect(setup));
  OnCounter([&](VoicePromptDialog& prompt, const std::string& text) {
    if (text == Seconds(1)) Click(prompt, ids::kVoiceYes);
  });

  ui::RunSpeakerTest(session, view);

  ExpectResultText("Passed");
  EXPECT_EQ(Received(), (Lines{"atL3", "atM2", "atH1", "at%T24", "atH"}));
}

// Escape ends the prompt without an answer; in the first speaker test that reads as No. Its
// timer goes with it, so it can never send its own "H" later.
TEST_F(SpeakerTest, EscapeEndsThePromptAndItsTimerAndTheFirstTestFails) {
  ASSERT_NO_FATAL_FAILURE(StartAndDetect());
  bool timerLeft = true;
  bool promptLeftOpen = true;
  OnCounter([&](VoicePromptDialog& prompt, const std::string& text) {
    if (text != Seconds(2)) return;
    QTest::keyClick(&prompt, Qt::Key_Escape);
    timerLeft = prompt.HasTimer(0);
    promptLeftOpen = prompt.isVisible();
  });

  ui::RunSpeakerTest(session, view);

  EXPECT_FALSE(timerLeft);
  EXPECT_FALSE(promptLeftOpen);
  EXPECT_FALSE(view.speakerHeard);
  ExpectResultText("Failure");
  EXPECT_EQ(sampler.History(ids::kVoiceCounter), Counter(2));
  EXPECT_EQ(Received(), (Lines{"atL3", "atM2", "atH1", "at%T24", "atH"}));
}

// The close box: the answer of an earlier speaker test decides.
TEST_F(SpeakerTest, CloseBoxKeepsTheEarlierYes) {
  ASSERT_NO_FATAL_FAILURE(StartAndDetect());
  view.speakerHeard = true;
  bool timerLeft = true;
  OnCounter([&](VoicePromptDialog& prompt, const std::string& text) {
    if (text != Seconds(1)) return;
    prompt.close();
    timerLeft = prompt.HasTimer(0);
  });

  ui::RunSpeakerTest(session, view);

  EXPECT_FALSE(timerLeft);
  EXPECT_TRUE(view.speakerHeard);
  ExpectResultText("Passed");
  EXPECT_EQ(Received(), (Lines{"atL3", "atM2", "atH1", "at%T24", "atH"}));
}

// The modem goes away while the prompt asks: the answer alone decides, and the closing "H" that
// cannot reach it leaves the hook and the buzzer named as not put back. The waits sleep.
TEST_F(SpeakerTest, DeviceLostDuringThePromptStillTakesTheAnswer) {
  ASSERT_NO_FATAL_FAILURE(StartAndDetect());
  OnCounter([&](VoicePromptDialog& prompt, const std::string& text) {
    if (text == Seconds(1)) sim.HangUp(diag_test::kModemPort);
    if (text == Seconds(2)) Click(prompt, ids::kVoiceYes);
  });
  double cpuBefore = diag_test::CpuSeconds();
  int64_t start = platform::NowMs();

  ui::RunSpeakerTest(session, view);

  int64_t wallMs = platform::NowMs() - start;
  ExpectResultText("Passed");
  EXPECT_EQ(Received(), (Lines{"atL3", "atM2", "atH1", "at%T24"}));
  EXPECT_GE(wallMs, 1500 + 2000);
  EXPECT_EQ(diagnostics::NotPutBack(session),
            (Lines{"the hook: was on-hook, now off-hook (the device was lost)",
                   "the buzzer: was off, now on (the device was lost)",
                   "the command settings: was stored profile, now changed by the tests"}));
  EXPECT_LT(diag_test::CpuSeconds() - cpuBefore, 0.1 * static_cast<double>(wallMs) / 1000.0);
}

}  // namespace
