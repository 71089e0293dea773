#pragma once
// VoicePromptDialog: asks whether the buzz of the speaker test was heard (template 130), as the
// speaker test's SpeakerPrompt. It shows the counter's text in 1022 each second; Yes and No are
// the answers, closing it any other way answers nothing. UI thread.

#include "diagnostics/speaker_test.h"
#include "widgets/template_dialog.h"

namespace diagnostics {

class VoicePromptDialog final : public widgets::TemplateDialog, public SpeakerPrompt {
  Q_OBJECT

 public:
  // parentDialog parents the prompt through its Window().
  explicit VoicePromptDialog(modem::MainView& parentDialog);

  // Runs the prompt modally; the counter ticks once a second from when it opens.
  Answer AskWhileBuzzing(BuzzCounter& counter) override;

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
  Answer answer_ = Answer::kNone;
};

}  // namespace diagnostics
