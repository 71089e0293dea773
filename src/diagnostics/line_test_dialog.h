#pragma once
// LineTestDialog: the line/DAA test in its own modal dialog (template 132). Half a second after
// it opens, it runs the whole test once: register test values, "X4", "S7=1", a dial that must
// end in "NO CARRIER", the outcome in 1026 and in the main dialog's 1003, the register restore.
// OK stays disabled until all of that has ended. UI thread.

#include "modem/main_view.h"
#include "platform/template_dialog.h"

namespace diagnostics {

struct LineProgress;

class LineTestDialog final : public platform::TemplateDialog {
  Q_OBJECT

 public:
  // parentDialog receives the result in 1003 and, through its Window(), parents the dialog.
  explicit LineTestDialog(modem::MainView& parentDialog);

  // True from the first tick until the sequence, restore included, has ended.
  [[nodiscard]] bool IsSequenceRunning() const { return sequenceRunning_; }

 protected:
  bool OnInitDialog() override;
  [[nodiscard]] const platform::MessageMap& GetMessageMap() const override;

 private:
  enum class Outcome { kPassed, kFailure, kNotConnected };

  void OnStartSequence(int timerId);
  void OnCancel();
  void LineTestSequence();
  Outcome RunCommands();
  void CarryOut(Outcome outcome);
  void SetProgress(int position, const char* percent);
  void ShowProgress(const LineProgress& progress);

  modem::MainView& parentDialog_;
  bool sequenceRunning_ = false;
  bool closeRequested_ = false;
};

}  // namespace diagnostics
