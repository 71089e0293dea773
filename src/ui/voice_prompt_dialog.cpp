#include "ui/voice_prompt_dialog.h"

#include <iterator>

#include "resources/control_ids.h"
#include "resources/dialog_templates.h"

namespace ui {

const widgets::MessageMap& VoicePromptDialog::GetMessageMap() const {
  static const widgets::MessageMap::Click kClicks[] = {
      {ids::kVoiceYes, widgets::MapHandler(&VoicePromptDialog::OnYes)},
      {ids::kVoiceNo, widgets::MapHandler(&VoicePromptDialog::OnNo)},
  };
  static const widgets::MessageMap kMap = {
      kClicks, static_cast<int>(std::size(kClicks)),
      widgets::MapTimerHandler(&VoicePromptDialog::OnSecondElapsed),
      widgets::MapHandler(&VoicePromptDialog::OnCloseRequest)};
  return kMap;
}

namespace {

constexpr int kSecondTimer = 0;
constexpr int kSecondMs = 1000;

}  // namespace

VoicePromptDialog::VoicePromptDialog(QWidget* parent)
    : TemplateDialog(resources::kVoicePromptDialogTemplate, parent) {}

PromptAnswer VoicePromptDialog::AskWhileBuzzing(BuzzCounter& counter) {
  counter_ = &counter;
  answer_ = PromptAnswer::kNone;
  (void)RunModal();
  return answer_;
}

int VoicePromptDialog::SecondsElapsed() const {
  return counter_ != nullptr ? counter_->SecondsElapsed() : 0;
}

bool VoicePromptDialog::OnInitDialog() {
  SetTimer(kSecondTimer, kSecondMs);
  return true;
}

void VoicePromptDialog::OnYes() {
  answer_ = PromptAnswer::kYes;
  SendClose();
}

void VoicePromptDialog::OnNo() {
  answer_ = PromptAnswer::kNo;
  SendClose();
}

void VoicePromptDialog::OnSecondElapsed(int) {
  if (counter_ == nullptr) return;
  // The last tick stops the timer before its "H" goes out, so no further tick waits behind it.
  if (counter_->SecondsElapsed() == BuzzCounter::kBuzzSeconds) KillTimer(kSecondTimer);
  SetItemText(ids::kVoiceCounter, counter_->OnSecond());
}

void VoicePromptDialog::OnCloseRequest() { KillTimer(kSecondTimer); }

// Escape ends the prompt without the close request; its timer must not outlive it either way,
// or a tick still queued would send "H" from a prompt the user has already dismissed.
void VoicePromptDialog::done(int result) {
  KillTimer(kSecondTimer);
  TemplateDialog::done(result);
}

diagnostics::TestResult RunSpeakerTest(diagnostics::Session& session, diagnostics::MainView& view,
                                       QWidget* parent) {
  VoicePromptDialog prompt(parent);
  return diagnostics::RunSpeakerTest(session, view, prompt);
}

}  // namespace ui
