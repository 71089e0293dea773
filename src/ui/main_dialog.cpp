#include "ui/main_dialog.h"

#include <iterator>

#include "diagnostics/test_runs.h"
#include "modem/detection.h"
#include "platform/beep.h"
#include "platform/message_box.h"
#include "resources/control_ids.h"
#include "resources/dialog_templates.h"
#include "serial/tty_port.h"
#include "ui/welcome_dialog.h"

namespace ui {

const platform::MessageMap& MainDialog::GetMessageMap() const {
  static const platform::MessageMap::Click kClicks[] = {
      {ids::kTestDiagnostics, platform::MapHandler(&MainDialog::OnRunDiagnosticTests)},
      {ids::kTestSpeaker, platform::MapHandler(&MainDialog::OnRunSpeakerTest)},
      {ids::kTestLine, platform::MapHandler(&MainDialog::OnRunLineTest)},
      {ids::kDetectAgain, platform::MapHandler(&MainDialog::OnDetectAgain)},
      {ids::kQuit, platform::MapHandler(&MainDialog::OnQuit)},
  };
  static const platform::MessageMap kMap = {
      kClicks, static_cast<int>(std::size(kClicks)),
      platform::MapTimerHandler(&MainDialog::OnTimer),
      platform::MapHandler(&MainDialog::OnCloseRequest)};
  return kMap;
}

namespace {
constexpr int kDetectionTimer = 0;
}  // namespace

MainDialog::MainDialog(QWidget* parent)
    : TemplateDialog(resources::kMainDialogTemplate, parent),
      appIcon_(QString::fromLatin1(resources::kAppIcon)) {
  // The window manager draws the minimised window and the taskbar entry from this icon.
  setWindowIcon(appIcon_);
}

bool MainDialog::OnInitDialog() {
  WelcomeDialog welcome(nullptr);
  welcome.setWindowIcon(appIcon_);
  if (welcome.RunModal() == platform::kIdCancel) {
    EndDialog(0);
    return true;
  }
  EnableItem(ids::kTestDiagnostics, false);
  EnableItem(ids::kTestSpeaker, false);
  EnableItem(ids::kTestLine, false);
  modem::LoadIdentificationList(*this);
  // Detection waits for the first tick, which comes only once this dialog has been painted, so
  // the user sees the window before any port is touched.
  SetTimer(kDetectionTimer, 0);
  return true;
}

void MainDialog::OnTimer(int) { modem::DetectModem(*this); }

void MainDialog::OnRunDiagnosticTests() { diagnostics::RunDiagnosticTests(*this); }

void MainDialog::OnRunSpeakerTest() { diagnostics::RunSpeakerTest(*this); }

void MainDialog::OnRunLineTest() { diagnostics::RunLineTest(*this); }

void MainDialog::OnDetectAgain() { SetTimer(kDetectionTimer, 0); }

// Posted, so a press during a wait is handled by that wait's pump, not nested in the click.
void MainDialog::OnQuit() { PostClose(); }

void MainDialog::OnCloseRequest() { serial::ttyPort.Close(); }

void MainDialog::SetItemText(int id, const char* text) { TemplateDialog::SetItemText(id, text); }

void MainDialog::EnableItem(int id, bool enabled) { TemplateDialog::EnableItem(id, enabled); }

bool MainDialog::IsItemEnabled(int id) const { return TemplateDialog::IsItemEnabled(id); }

void MainDialog::StopTimer(int id) { KillTimer(id); }

int MainDialog::ShowMessageBox(const char* text, const char* caption, unsigned style,
                               const char* details) {
  return platform::MessageBox(this, text, caption, style, details);
}

void MainDialog::Beep() { platform::Beep(1000, 100); }

QWidget* MainDialog::Window() { return this; }

}  // namespace ui
