#include "ui/main_dialog.h"

#include <QApplication>
#include <QCloseEvent>

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

#include "desktop/beep.h"
#include "diagnostics/diagnostic_run.h"
#include "diagnostics/program_run.h"
#include "platform/message_pump.h"
#include "resources/control_ids.h"
#include "resources/dialog_templates.h"
#include "resources/product.h"
#include "ui/line_test_dialog.h"
#include "ui/voice_prompt_dialog.h"
#include "ui/welcome_dialog.h"
#include "widgets/message_box.h"

namespace ui {

const widgets::MessageMap& MainDialog::GetMessageMap() const {
  static const widgets::MessageMap::Click kClicks[] = {
      {ids::kTestDiagnostics, widgets::MapHandler(&MainDialog::OnRunDiagnosticTests)},
      {ids::kTestSpeaker, widgets::MapHandler(&MainDialog::OnRunSpeakerTest)},
      {ids::kTestLine, widgets::MapHandler(&MainDialog::OnRunLineTest)},
      {ids::kDetectAgain, widgets::MapHandler(&MainDialog::OnDetectAgain)},
      {ids::kQuit, widgets::MapHandler(&MainDialog::OnQuit)},
  };
  static const widgets::MessageMap kMap = {kClicks, static_cast<int>(std::size(kClicks)),
                                           widgets::MapTimerHandler(&MainDialog::OnTimer),
                                           widgets::MapHandler(&MainDialog::OnCloseRequest)};
  return kMap;
}

namespace {
constexpr int kDetectionTimer = 0;
}  // namespace

MainDialog::MainDialog(diagnostics::Session& session, QWidget* parent)
    : TemplateDialog(resources::kMainDialogTemplate, parent),
      session_(session),
      appIcon_(QString::fromLatin1(resources::kAppIcon)) {
  // The window manager draws the minimised window and the taskbar entry from this icon.
  setWindowIcon(appIcon_);
  // The serial reader's errors come from its own thread, and a box that waited would stall it.
  platform::SetMessageShower(&widgets::ShowModelessWarning);
}

bool MainDialog::OnInitDialog() {
  WelcomeDialog welcome(nullptr);
  welcome.setWindowIcon(appIcon_);
  if (welcome.RunModal() == widgets::kIdCancel) {
    EndDialog(0);
    return true;
  }
  EnableItem(ids::kTestDiagnostics, false);
  EnableItem(ids::kTestSpeaker, false);
  EnableItem(ids::kTestLine, false);
  diagnostics::LoadIdentificationList(*this);
  // Detection waits for the first tick, which comes only once this dialog has been painted, so
  // the user sees the window before any port is touched.
  SetTimer(kDetectionTimer, 0);
  return true;
}

template <class Run>
void MainDialog::RunLockedOut(Run run) {
  if (runDepth_++ == 0) {
    for (std::size_t i = 0; i < std::size(ids::kRunButtons); ++i) {
      runButtonsAfter_[i] = IsItemEnabled(ids::kRunButtons[i]);
      ShowEnabled(ids::kRunButtons[i], false);
    }
  }
  run();
  if (--runDepth_ > 0) return;
  for (std::size_t i = 0; i < std::size(ids::kRunButtons); ++i)
    ShowEnabled(ids::kRunButtons[i], runButtonsAfter_[i]);
  if (focusToGiveBack_) {
    focusToGiveBack_ = nullptr;
    for (int id : ids::kRunButtons) {
      if (IsItemEnabled(id)) {
        Item(id)->setFocus();
        break;
      }
    }
  }
  if (closePending_) {
    closePending_ = false;
    close();
  }
}

void MainDialog::OnTimer(int) {
  RunLockedOut([this] {
    (void)diagnostics::DetectModem(session_, *this);
    ShowRecovery();
  });
}

// The journals found at detection are said once, in one box, whatever became of them.
void MainDialog::ShowRecovery() {
  if (session_.journals.empty() || session_.stop.Requested()) return;
  std::string text;
  for (const auto& journal : session_.journals)
    text += (text.empty() ? "" : "\n\n") + diagnostics::DescribeRecovery(journal);
  session_.journals.clear();
  (void)widgets::MessageBox(this, text.c_str(), nullptr, widgets::BoxButtons::kOk,
                            widgets::BoxIcon::kInformation);
}

void MainDialog::OnRunDiagnosticTests() {
  RunLockedOut([this] { (void)diagnostics::RunDiagnosticTests(session_, *this); });
}

void MainDialog::OnRunSpeakerTest() {
  RunLockedOut([this] { (void)RunSpeakerTest(session_, *this, this); });
}

void MainDialog::OnRunLineTest() {
  RunLockedOut([this] { (void)RunLineTest(session_, *this, this); });
}

void MainDialog::OnDetectAgain() { SetTimer(kDetectionTimer, 0); }

// Posted, so a press during a wait is handled by that wait's pump, not nested in the click.
void MainDialog::OnQuit() { PostClose(); }

void MainDialog::OnCloseRequest() {
  FinishProgramRun();
  diagnostics::ClosePort(session_);
}

void MainDialog::FinishProgramRun() {
  if (finishing_ || finished_) return;
  finishing_ = true;
  diagnostics::FinishProgramRun(session_);
  const std::vector<std::string> left = diagnostics::NotPutBack(session_);
  // After a signal the user may be logging out: standard error and the journal say it instead.
  if (!left.empty() && !closedBySignal_) {
    std::string text = "The modem could not be put back as it was found:\n";
    for (const std::string& item : left) text += "\n" + item;
    text += "\n\nThe next start of the tool will try again.";
    (void)widgets::MessageBox(this, text.c_str(), nullptr, widgets::BoxButtons::kOk,
                              widgets::BoxIcon::kWarning);
  }
  finishing_ = false;
  finished_ = true;
}

// Closing the port under a running detection or test would leave the modem holding whatever the
// run had set; the run stops instead, puts the modem back, and the close follows it.
void MainDialog::closeEvent(QCloseEvent* event) {
  // The put-back at the end waits on the modem; a second request meanwhile changes nothing.
  if (finishing_) {
    event->ignore();
    return;
  }
  if (runDepth_ == 0) {
    TemplateDialog::closeEvent(event);
    return;
  }
  closePending_ = true;
  diagnostics::StopRun(session_);
  CloseOpenPrompt();
  event->ignore();
}

void MainDialog::CloseOpenPrompt() {
  QWidget* modal = QApplication::activeModalWidget();
  if (modal != nullptr && modal != this) modal->close();
}

void MainDialog::RequestClose() {
  closedBySignal_ = true;
  CloseOpenPrompt();
  close();
}

void MainDialog::SetItemText(int id, const char* text) { TemplateDialog::SetItemText(id, text); }

void MainDialog::EnableItem(int id, bool enabled) {
  if (runDepth_ > 0) {
    const auto* button = std::find(std::begin(ids::kRunButtons), std::end(ids::kRunButtons), id);
    if (button != std::end(ids::kRunButtons)) {
      runButtonsAfter_[button - std::begin(ids::kRunButtons)] = enabled;
      return;
    }
  }
  ShowEnabled(id, enabled);
}

void MainDialog::ShowEnabled(int id, bool enabled) {
  QWidget* item = Item(id);
  // Disabling the focused button moves the focus on, possibly to the next button this run
  // disables: only the first one is the user's.
  if (!enabled && item != nullptr && !focusToGiveBack_ && focusWidget() == item) {
    focusToGiveBack_ = item;
  }
  TemplateDialog::EnableItem(id, enabled);
  if (enabled && item != nullptr && item == focusToGiveBack_) {
    item->setFocus();
    focusToGiveBack_ = nullptr;
  }
}

bool MainDialog::IsItemEnabled(int id) const { return TemplateDialog::IsItemEnabled(id); }

void MainDialog::StopTimer(int id) { KillTimer(id); }

void MainDialog::ShowNotFound(const char* details) {
  (void)widgets::MessageBox(this, product::kNotFoundText, product::kToolTitle,
                            widgets::BoxButtons::kOk, widgets::BoxIcon::kWarning, details);
}

// No caption of its own: the box is titled with the program's name.
void MainDialog::ShowListMissing(const char* details) {
  (void)widgets::MessageBox(this, product::kListMissingText, nullptr, widgets::BoxButtons::kOk,
                            widgets::BoxIcon::kNone, details);
}

void MainDialog::Beep() { desktop::Beep(1000, 100); }

void MainDialog::ShowBusy(bool busy) {
  if (busy)
    busyCursor_.emplace();
  else
    busyCursor_.reset();
}

}  // namespace ui
