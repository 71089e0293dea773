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

// The field that shows a test's result.
int ResultControl(const diagnostics::TestIdentity& test) {
  if (test == diagnostics::kBasicFunction) return ids::kBasicResult;
  if (test == diagnostics::kDigitalLoopback) return ids::kDigitalResult;
  if (test == diagnostics::kAnalogLoopback) return ids::kAnalogResult;
  if (test == diagnostics::kSpeaker) return ids::kSpeakerResult;
  return ids::kLineResult;
}

}  // namespace

MainDialog::MainDialog(diagnostics::Session& session, QWidget* parent)
    : TemplateDialog(resources::kMainDialogTemplate, parent),
      session_(session),
      keyFilter_(session.waits),
      appIcon_(QString::fromLatin1(resources::kAppIcon)) {
  // The window manager draws the minimised window and the taskbar entry from this icon.
  setWindowIcon(appIcon_);
  // The serial reader's errors come from its own thread, and a box that waited would stall it.
  session_.waits.SetMessageShower([](const std::string& text, const std::string& caption) {
    widgets::ShowModelessWarning(text.c_str(), caption.c_str());
  });
}

MainDialog::~MainDialog() { session_.waits.SetMessageShower({}); }

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
  DetectWhenShown();
  return true;
}

// A dialog holds its ticks until its first paint, so a 0 ms timer fires once the window shows.
void MainDialog::DetectWhenShown() { SetTimer(kDetectionTimer, 0); }

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
  KillTimer(kDetectionTimer);
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

void MainDialog::OnDetectAgain() { DetectWhenShown(); }

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

void MainDialog::ShowDetecting() {
  SetItemText(ids::kModemName, product::kWaitText);
  SetItemText(ids::kFirmware, product::kWaitText);
  SetItemText(ids::kCountry, product::kWaitText);
}

void MainDialog::ShowProbe(int comNumber, modem::ProbeStep step) {
  SetItemText(ids::kLocation, modem::ProbeStatusText(comNumber, step).c_str());
}

void MainDialog::ShowFound(int comNumber) {
  SetItemText(ids::kLocation, modem::FoundStatusText(comNumber).c_str());
}

void MainDialog::ShowFirmware(const std::string& firmware) {
  SetItemText(ids::kFirmware, firmware.c_str());
}

void MainDialog::ShowCountry(const std::string& country) {
  SetItemText(ids::kCountry, country.c_str());
}

void MainDialog::ShowModemName() { SetItemText(ids::kModemName, product::kModemName); }

void MainDialog::ShowTestsAvailable() {
  for (int id : ids::kTestButtons) EnableItem(id, true);
}

void MainDialog::ShowRunning(const diagnostics::TestIdentity& test) {
  SetItemText(ResultControl(test), diagnostics::RunningText(test));
}

void MainDialog::ShowResult(const diagnostics::TestIdentity& test,
                            const diagnostics::TestResult& result) {
  SetItemText(ResultControl(test), diagnostics::ResultText(result));
}

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
