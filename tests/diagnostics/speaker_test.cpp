// The speaker test against the simulated modem, with the real voice prompt: the commands, the
// prompt's seconds and its own "H", the answers, closing it without one, and a modem that stops
// answering.

#include <gtest/gtest.h>

#include <QPushButton>
#include <QTest>

#include <ostream>
#include <string>

#include "diagnostics/program_run.h"
#include "diagnostics/run_support.h"
#include "platform/clock.h"
#include "support/modem_as_found.h"
#include "ui/voice_prompt_dialog.h"

namespace {

using diag_test::Fault;
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

// What the user does with the prompt, at the counter's second atSecond.
enum class Act { kNoPrompt, kYes, kNo, kEscape, kClose };

struct SpeakerCase {
  const char* name = "";
  SimSetup setup = {};
  bool asIfDetected = false;  // a modem the detection cannot find
  bool heardBefore = false;   // the answer of an earlier speaker test
  Act act = Act::kYes;
  int atSecond = 1;
  const char* result = "Passed";
  Lines received = {"atL3", "atM2", "atH1", "at%T24", "atH"};
  int64_t minMs = 0;  // the run takes at least this long
};

void PrintTo(const SpeakerCase& c, std::ostream* out) { *out << c.name; }

class Speaker : public SpeakerTest, public testing::WithParamInterface<SpeakerCase> {};

// The result follows the answer (an earlier one when the prompt is closed without one), the
// prompt's timer ends with it, and no register is touched.
TEST_P(Speaker, AnswerGivesTheResultAndTheModemIsLeftAsFound) {
  const SpeakerCase& c = GetParam();
  if (c.asIfDetected)
    ASSERT_NO_FATAL_FAILURE(StartAsIfDetected(c.setup));
  else
    ASSERT_NO_FATAL_FAILURE(StartAndDetect(c.setup));
  view.speakerHeard = c.heardBefore;
  bool buzzWhileAsking = false;
  bool timerLeft = true;
  bool promptLeftOpen = true;
  OnCounter([&](VoicePromptDialog& prompt, const std::string& text) {
    if (text == Seconds(1)) buzzWhileAsking = sim.State(diag_test::kModemPort)->buzz;
    if (text != Seconds(c.atSecond)) return;
    if (c.act == Act::kYes) Click(prompt, ids::kVoiceYes);
    if (c.act == Act::kNo) Click(prompt, ids::kVoiceNo);
    if (c.act == Act::kEscape) QTest::keyClick(&prompt, Qt::Key_Escape);
    if (c.act == Act::kClose) prompt.close();
    timerLeft = prompt.HasTimer(0);
    promptLeftOpen = prompt.isVisible();
  });
  const int64_t start = platform::NowMs();

  ui::RunSpeakerTest(session, view);

  EXPECT_GE(platform::NowMs() - start, c.minMs);
  EXPECT_EQ(view.Text(field::kSpeakerResult), c.result);
  ExpectResultText(c.result);
  EXPECT_EQ(Received(), c.received);
  const sim::PortState after = sim.State(diag_test::kModemPort).value();
  EXPECT_FALSE(after.buzz);
  EXPECT_EQ(testsupport::AsFound(after), testsupport::AsFound(before));
  if (c.act == Act::kNoPrompt) {
    EXPECT_FALSE(sampler.seenDialog);
    return;
  }
  EXPECT_EQ(view.speakerHeard, std::string(c.result) == "Passed");
  EXPECT_EQ(sampler.History(ids::kVoiceCounter), Counter(c.atSecond));
  EXPECT_TRUE(buzzWhileAsking);
  EXPECT_FALSE(timerLeft) << "the prompt's timer could still send its own \"H\"";
  EXPECT_FALSE(promptLeftOpen);
  // "H1" answered, then its 100 ms, then the 1500 ms pause before the buzz.
  EXPECT_GE(ReceivedAt("at%T24") - ReceivedAt("atH1"), 1600);
  EXPECT_LT(ReceivedAt("at%T24") - ReceivedAt("atH1"), 2500);
}

INSTANTIATE_TEST_SUITE_P(
    SpeakerTest, Speaker,
    testing::Values(
        SpeakerCase{.name = "YesAfterFourSecondsPassesWithOneH", .atSecond = 4},
        SpeakerCase{.name = "NoGivesFailureAfterTheClosingHWhateverAnEarlierAnswer",
                    .heardBefore = true,
                    .act = Act::kNo,
                    .result = "Failure"},
        SpeakerCase{.name = "SplitAnswersStillReachThePrompt",
                    .setup = {.faults = Fault(&sim::Faults::splitOutput, true)}},
        // Escape ends the prompt without an answer; in the first speaker test that reads as No.
        SpeakerCase{.name = "EscapeEndsThePromptAndItsTimerAndTheFirstTestFails",
                    .act = Act::kEscape,
                    .atSecond = 2,
                    .result = "Failure"},
        // The close box: the answer of an earlier speaker test decides.
        SpeakerCase{.name = "CloseBoxKeepsTheEarlierYes", .heardBefore = true, .act = Act::kClose},
        SpeakerCase{.name = "UnansweredM2FailsWithoutH1BuzzPromptOrH",
                    .setup = {.faults = Fault(&sim::Faults::muteCommands, {"M2"})},
                    .heardBefore = true,
                    .act = Act::kNoPrompt,
                    .result = "Failure",
                    .received = {"atL3", "atM2"},
                    .minMs = 3100},
        // Results compare case-sensitively, so "ok" leaves "L3" unanswered.
        SpeakerCase{.name = "LowerCaseAnswersFailAtL3",
                    .setup = {.faults = Fault(&sim::Faults::lowerCaseResults, true)},
                    .asIfDetected = true,
                    .act = Act::kNoPrompt,
                    .result = "Failure",
                    .received = {"atL3"}}),
    [](const testing::TestParamInfo<SpeakerCase>& info) { return info.param.name; });

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
