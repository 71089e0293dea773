#pragma once
// A main view that shows nothing: the runs' own timing, without any painting.

#include <string>

#include "diagnostics/program_run.h"

namespace benchsupport {

class QuietView final : public diagnostics::MainView {
 public:
  void ShowDetecting() override {}
  void ShowProbe(int, modem::ProbeStep) override {}
  void ShowFound(int) override {}
  void ShowFirmware(const std::string&) override {}
  void ShowCountry(const std::string&) override {}
  void ShowModemName() override {}
  void ShowTestsAvailable() override {}
  void ShowRunning(const diagnostics::TestIdentity&) override {}
  void ShowResult(const diagnostics::TestIdentity&, const diagnostics::TestResult&) override {}
  void ShowNotFound(const char*) override {}
  void ShowListMissing(const char*) override {}
  void Beep() override {}
};

}  // namespace benchsupport
