#include "ui/line_test_dialog.h"

#include <QWidget>

#include <iterator>

#include "resources/control_ids.h"
#include "resources/dialog_templates.h"
#include "widgets/message_box.h"

namespace ui {

const widgets::MessageMap& LineTestDialog::GetMessageMap() const {
  // The template has no Cancel button: this entry takes Escape and the close box.
  static const widgets::MessageMap::Click kClicks[] = {
      {widgets::kIdCancel, widgets::MapHandler(&LineTestDialog::OnCancel)},
  };
  static const widgets::MessageMap kMap = {
      kClicks, static_cast<int>(std::size(kClicks)),
      widgets::MapTimerHandler(&LineTestDialog::OnStartSequence), nullptr};
  return kMap;
}

namespace {

constexpr int kStartTimer = 0;
// Long enough for the dialog to be on screen before the modem is touched.
constexpr int kStartDelayMs = 500;

}  // namespace

LineTestDialog::LineTestDialog(modem::Session& session, diagnostics::MainView& main,
                               QWidget* parent)
    : TemplateDialog(resources::kLineTestDialogTemplate, parent),
      session_(session),
      keyFilter_(session.waits),
      parentDialog_(main) {
  // While OK is disabled the status is all there is to follow, so it takes the focus then (a
  // click may give it back; Tab never stops on it).
  Item(ids::kLineStatus)->setFocusPolicy(Qt::ClickFocus);
}

bool LineTestDialog::OnInitDialog() {
  EnableItem(ids::kLineOk, false);
  Item(ids::kLineStatus)->setFocus();
  SetTimer(kStartTimer, kStartDelayMs);
  return true;
}

void LineTestDialog::OnStartSequence(int) {
  KillTimer(kStartTimer);
  LineTestSequence();
}

// Ending the dialog in the middle of the sequence would hide it and give the main dialog its
// input back while the modem still holds test values, so a second run could start nested in
// this one's waits. The request is kept and carried out once the sequence has ended.
void LineTestDialog::OnCancel() {
  if (sequenceRunning_) {
    closeRequested_ = true;
    return;
  }
  EndDialog(widgets::kIdCancel);
}

void LineTestDialog::SetStatus(const char* text) { SetItemText(ids::kLineStatus, text); }

void LineTestDialog::SetProgress(int position, const char* percent) {
  SetProgressPos(ids::kLineProgress, position);
  if (percent != nullptr) SetItemText(ids::kLinePercent, percent);
}

PromptAnswer LineTestDialog::AskLineConnected(const char* question, const char* caption) {
  const widgets::BoxAnswer answer = widgets::MessageBox(
      this, question, caption, widgets::BoxButtons::kYesNo, widgets::BoxIcon::kQuestion);
  return answer == widgets::BoxAnswer::kYes ? PromptAnswer::kYes : PromptAnswer::kNo;
}

void LineTestDialog::LineTestSequence() {
  sequenceRunning_ = true;
  result_ = diagnostics::RunLineTestSequence(session_, parentDialog_, *this);
  EnableItem(ids::kLineOk, true);
  Item(ids::kLineOk)->setFocus();
  sequenceRunning_ = false;
  if (closeRequested_ || session_.stop.Requested()) EndDialog(widgets::kIdCancel);
}

TestResult RunLineTest(diagnostics::Session& session, diagnostics::MainView& view,
                       QWidget* parent) {
  LineTestDialog dialog(session, view, parent);
  (void)dialog.RunModal();
  return dialog.Result();
}

}  // namespace ui
