#include "diagnostics/voice_prompt_dialog.h"

#include <cstdio>
#include <iterator>

#include "modem/transaction.h"
#include "resources/control_ids.h"
#include "resources/dialog_templates.h"

namespace diagnostics {

const platform::MessageMap& VoicePromptDialog::GetMessageMap() const {
  static const platform::MessageMap::Click kClicks[] = {
      {ids::kVoiceYes, platform::MapHandler(&VoicePromptDialog::OnYes)},
      {ids::kVoiceNo, platform::MapHandler(&VoicePromptDialog::OnNo)},
  };
  static const platform::MessageMap kMap = {
      kClicks, static_cast<int>(std::size(kClicks)),
      platform::MapTimerHandler(&VoicePromptDialog::OnSecondElapsed),
      platform::MapHandler(&VoicePromptDialog::OnCloseRequest)};
  return kMap;
}

namespace {

constexpr int kSecondTimer = 0;
constexpr int kSecondMs = 1000;
constexpr int kBuzzSeconds = 10;
constexpr int kHangUpTimeoutSeconds = 3;

}  // namespace

VoicePromptDialog::VoicePromptDialog(modem::MainView& parentDialog)
    : TemplateDialog(resources::kVoicePromptDialogTemplate, parentDialog.Window()),
      parentDialog_(parentDialog) {}

bool VoicePromptDialog::OnInitDialog() {
  SetTimer(kSecondTimer, kSecondMs);
  secondsElapsed_ = 0;
  return true;
}

void VoicePromptDialog::OnYes() {
  parentDialog_.speakerAnswer = 1;
  SendClose();
}

void VoicePromptDialog::OnNo() {
  parentDialog_.speakerAnswer = 0;
  SendClose();
}

void VoicePromptDialog::OnSecondElapsed(int) {
  if (secondsElapsed_ == kBuzzSeconds) {
    KillTimer(kSecondTimer);
    (void)modem::Transact("H", "OK", kHangUpTimeoutSeconds, 1);
    SetItemText(ids::kVoiceCounter, "Voice Off");
    return;
  }
  ++secondsElapsed_;
  char text[32];
  std::snprintf(text, sizeof text, "Voice On...%d Sec", secondsElapsed_);
  SetItemText(ids::kVoiceCounter, text);
}

void VoicePromptDialog::OnCloseRequest() { KillTimer(kSecondTimer); }

// Escape ends the prompt without the close request; its timer must not outlive it either way,
// or a tick still queued would send "H" from a prompt the user has already dismissed.
void VoicePromptDialog::done(int result) {
  KillTimer(kSecondTimer);
  TemplateDialog::done(result);
}

}  // namespace diagnostics
