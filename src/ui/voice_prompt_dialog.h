#pragma once
// VoicePromptDialog: asks whether the buzz of the speaker test was heard (template 130), as the
// speaker test's SpeakerPrompt. It shows the counter's text in 1022 each second; Yes and No are
// the answers, closing it any other way answers nothing. UI thread.

#include "diagnostics/program_run.h"
#include "diagnostics/speaker_test.h"
#include "widgets/template_dialog.h"

namespace ui {

using diagnostics::BuzzCounter;
using diagnostics::PromptAnswer;

class VoicePromptDialog final : public widgets::TemplateDialog, public diagnostics::SpeakerPrompt {
  Q_OBJECT

 public:
  // parent may be null.
  explicit VoicePromptDialog(QWidget* parent);

  // Runs the prompt modally; the counter ticks once a second from when it opens.
  PromptAnswer AskWhileBuzzing(BuzzCounter& counter) override;

  // Ticks handled so far, 0 to 10.
  [[nodiscard]] int SecondsElapsed() const;

  void done(int result) override;

 protected:
  bool OnInitDialog() override;
  [[nodiscard]] const widgets::MessageMap& GetMessageMap() const override;

 private:
  void OnYes();
  void OnNo();
  void OnSecondElapsed(int timerId);
  void OnCloseRequest();

  BuzzCounter* counter_ = nullptr;
  PromptAnswer answer_ = PromptAnswer::kNone;
};

// The speaker test (diagnostics/speaker_test.h) with the voice prompt dialog asking, parented by
// parent (may be null).
diagnostics::TestResult RunSpeakerTest(diagnostics::Session& session, diagnostics::MainView& view,
                                       QWidget* parent = nullptr);

}  // namespace ui
