#pragma once
// VoicePromptDialog: asks whether the buzz of the speaker test was heard (template 130). It
// counts the seconds in 1022 and silences the speaker itself with "H" after the tenth. Yes and
// No store the answer in the main dialog's speakerAnswer; closing it any other way leaves that
// as it was. UI thread.

#include "modem/main_view.h"
#include "platform/template_dialog.h"

namespace diagnostics {

class VoicePromptDialog final : public platform::TemplateDialog {
  Q_OBJECT

 public:
  // parentDialog receives the answer and, through its Window(), parents the prompt.
  explicit VoicePromptDialog(modem::MainView& parentDialog);

  // Ticks handled so far, 0 to 10.
  [[nodiscard]] int SecondsElapsed() const { return secondsElapsed_; }

  void done(int result) override;

 protected:
  bool OnInitDialog() override;
  [[nodiscard]] const platform::MessageMap& GetMessageMap() const override;

 private:
  void OnYes();
  void OnNo();
  void OnSecondElapsed(int timerId);
  void OnCloseRequest();

  modem::MainView& parentDialog_;
  int secondsElapsed_ = 0;
};

}  // namespace diagnostics
