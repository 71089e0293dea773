// The speaker prompt left to run out: the whole count, "Voice Off" and the prompt's own "H"
// (about 14 s).

#include <gtest/gtest.h>

#include <QPushButton>

#include <string>

#include "diagnostics/program_run.h"
#include "diagnostics/run_support.h"
#include "ui/voice_prompt_dialog.h"

namespace {

using diag_test::Lines;
using diag_test::RunTest;
using diag_test::Sampler;
using ui::VoicePromptDialog;

class SpeakerTest : public RunTest {
 protected:
  Sampler sampler{[] { return diag_test::Visible<VoicePromptDialog>(); }};
};

TEST_F(SpeakerTest, YesAfterVoiceOffSendsHTwiceAndTheCountStopsAtTen) {
  ASSERT_NO_FATAL_FAILURE(StartAndDetect());
  sampler.Track(ids::kVoiceCounter);
  bool buzzAfterVoiceOff = true;
  sampler.onChange = [&](widgets::TemplateDialog& prompt) {
    if (prompt.ItemText(ids::kVoiceCounter) != QLatin1String("Voice Off")) return;
    buzzAfterVoiceOff = sim.State(diag_test::kModemPort)->buzz;
    // Any tick still to come would show within the next two seconds.
    QTimer::singleShot(2000, &prompt, [&prompt] {
      qobject_cast<QPushButton*>(prompt.Item(ids::kVoiceYes))->click();
    });
  };

  ui::RunSpeakerTest(session, view);

  Lines counter = {""};
  for (int n = 1; n <= 10; ++n) counter.push_back("Voice On..." + std::to_string(n) + " Sec");
  counter.push_back("Voice Off");
  EXPECT_EQ(sampler.History(ids::kVoiceCounter), counter);
  EXPECT_FALSE(buzzAfterVoiceOff);
  EXPECT_EQ(view.Text(field::kSpeakerResult), "Passed");
  EXPECT_EQ(Received(), (Lines{"atL3", "atM2", "atH1", "at%T24", "atH", "atH"}));
  // The prompt's "H" comes eleven ticks after the buzz started.
  long long buzz = ReceivedAt("at%T24");
  long long promptH = ReceivedAt("atH");
  EXPECT_GE(promptH - buzz, 11000);
  EXPECT_LT(promptH - buzz, 12500);
}

}  // namespace
