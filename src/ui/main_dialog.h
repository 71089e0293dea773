#pragma once
// MainDialog: the tool's main window for the whole run, from template 102. It shows the welcome
// dialog from its initialisation, loads the identification list, runs detection once the window
// is shown and hands the "Test..." buttons to the test runs. Detection and the test runs tell it
// what happened through diagnostics::MainView; it shows that in its controls. UI thread only.
//
// Ending: "Quit", the close box and Alt+F4 are the close request, which ends the program run
// with the modem (what the ledger still holds is put back and checked; what is left is named in
// one warning box, unless a signal asked for the close), closes the serial port and ends the
// dialog with kIdCancel. Escape ends it without the close request; FinishProgramRun then does the
// same once the dialog has ended, and the port closes with the session at the program's end. A
// close request made while a detection or a test run waits stops that run at once
// (diagnostics::StopRun), closes any prompt it has open, and takes effect once the run has put the
// modem back and returned.
//
// Run buttons: disabled while a detection or a test runs, here and nowhere else.
//
// Focus: a control that had the keyboard focus when a run disabled it gets it back when it is
// enabled again; if it stays disabled, the first enabled "Test..." button (or "Detect Again...")
// gets it, never "Quit".

#include <QIcon>
#include <QPointer>

#include <iterator>
#include <optional>
#include <string>

#include "diagnostics/diagnostic_run.h"
#include "diagnostics/program_run.h"
#include "resources/control_ids.h"
#include "widgets/template_dialog.h"
#include "widgets/wait_cursor.h"
#include "widgets/wait_key_filter.h"

namespace ui {

class MainDialog final : public widgets::TemplateDialog, public diagnostics::MainView {
  Q_OBJECT

 public:
  MainDialog(diagnostics::Session& session, QWidget* parent);
  ~MainDialog() override;

  // diagnostics::MainView
  void ShowDetecting() override;
  void ShowProbe(int comNumber, modem::ProbeStep step) override;
  void ShowFound(int comNumber) override;
  void ShowFirmware(const std::string& firmware) override;
  void ShowCountry(const std::string& country) override;
  void ShowModemName() override;
  void ShowTestsAvailable() override;
  void ShowRunning(const diagnostics::TestIdentity& test) override;
  void ShowResult(const diagnostics::TestIdentity& test,
                  const diagnostics::TestResult& result) override;
  void ShowNotFound(const char* details) override;
  void ShowListMissing(const char* details) override;
  void Beep() override;
  void ShowBusy(bool busy) override;

  // Enables or disables a control; a run button's state while a run holds them is kept for
  // the run's end.
  void EnableItem(int id, bool enabled);

  [[nodiscard]] const QIcon& AppIcon() const { return appIcon_; }
  // The program run this dialog drives.
  [[nodiscard]] diagnostics::Session& RunSession() { return session_; }

  // The close request from outside the dialog (a termination signal): closes the prompt or box
  // a run has open, then asks this dialog to close as "Quit" does.
  void RequestClose();

  // Puts back what the program run left changed and warns about what could not be put back (no
  // box after a signal's close request); the port stays open. Nothing more once done. UI thread.
  void FinishProgramRun();

 protected:
  // Welcome dialog; on Cancel ends this dialog with 0. Otherwise disables the three "Test..."
  // buttons, loads ati3.dat (a missing file ends the process with status 0) and detects the
  // modem once the window is shown.
  bool OnInitDialog() override;
  [[nodiscard]] const widgets::MessageMap& GetMessageMap() const override;
  void closeEvent(QCloseEvent* event) override;

 private:
  // Runs detection once this dialog has been painted, so the user sees the window before any
  // port is touched; asked again meanwhile, it still runs once.
  void DetectWhenShown();
  void OnTimer(int timerId);
  void OnRunDiagnosticTests();
  void OnRunSpeakerTest();
  void OnRunLineTest();
  void OnDetectAgain();
  void OnQuit();
  void OnCloseRequest();
  // Runs a detection or a test run as one unit for the run buttons, closing and focus: the run
  // buttons are disabled while it runs, then each gets the state it had or the one the run gave
  // it meanwhile (a detection that finds the modem enables the tests). A run started from
  // within another's wait is part of the outer one.
  template <class Run>
  void RunLockedOut(Run run);
  void ShowEnabled(int id, bool enabled);
  void CloseOpenPrompt();
  void ShowRecovery();

  diagnostics::Session& session_;
  // While a run waits on the modem, keys are no dialog commands.
  widgets::WaitKeyFilter keyFilter_;
  QIcon appIcon_;
  int runDepth_ = 0;
  bool runButtonsAfter_[std::size(ids::kRunButtons)] = {};  // while locked out
  bool closedBySignal_ = false;
  bool finishing_ = false;
  bool finished_ = false;
  bool closePending_ = false;
  QPointer<QWidget> focusToGiveBack_;
  std::optional<widgets::WaitCursor> busyCursor_;  // shown while a port opens
};

}  // namespace ui
