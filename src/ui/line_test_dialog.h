#pragma once
// LineTestDialog: the line/DAA test in its own modal dialog (template 132). Half a second after
// it opens, it runs the whole test once: register test values, "X4", "S7=1", a dial that must
// end in "NO CARRIER", the outcome in 1026 and in the main dialog's 1003, the register restore.
// OK stays disabled until all of that has ended; the status line holds the focus until then,
// OK after. UI thread.

#include "diagnostics/line_test.h"
#include "diagnostics/program_run.h"
#include "widgets/template_dialog.h"
#include "widgets/wait_key_filter.h"

namespace ui {

using diagnostics::PromptAnswer;
using diagnostics::TestResult;

class LineTestDialog final : public widgets::TemplateDialog, public diagnostics::LineTestView {
  Q_OBJECT

 public:
  // main receives the result in 1003; parent (may be null) parents the dialog.
  LineTestDialog(modem::Session& session, diagnostics::MainView& main, QWidget* parent = nullptr);

  // The sequence's result once it has run; kNotRun before.
  [[nodiscard]] const TestResult& Result() const { return result_; }

  // True from the first tick until the sequence, restore included, has ended.
  [[nodiscard]] bool IsSequenceRunning() const { return sequenceRunning_; }

  // LineTestView
  void SetStatus(const char* text) override;
  void SetProgress(int position, const char* percent) override;
  PromptAnswer AskLineConnected(const char* question, const char* caption) override;

 protected:
  bool OnInitDialog() override;
  [[nodiscard]] const widgets::MessageMap& GetMessageMap() const override;

 private:
  void OnStartSequence(int timerId);
  void OnCancel();
  void LineTestSequence();

  modem::Session& session_;
  // While the sequence waits on the modem, keys are no dialog commands.
  widgets::WaitKeyFilter keyFilter_;
  diagnostics::MainView& parentDialog_;
  TestResult result_ = diagnostics::NotRun(diagnostics::kLine.reportName,
                                           "the dialog was closed before its sequence began");
  bool sequenceRunning_ = false;
  bool closeRequested_ = false;
};

// The line/DAA test (diagnostics/line_test.h) in its own modal dialog, parented by parent (may be
// null): "Passed", "Failure" or "Not Connected" in 1003, the modem put back. Returns once the user
// has closed the dialog, and never before its sequence, put-back included, has ended: a close
// request meanwhile is carried out at the end.
TestResult RunLineTest(diagnostics::Session& session, diagnostics::MainView& view,
                       QWidget* parent = nullptr);

}  // namespace ui
