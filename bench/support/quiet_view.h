#pragma once
// A main view that shows nothing and leaves every button enabled: the runs' own timing, without
// any painting.

#include "diagnostics/program_run.h"

namespace benchsupport {

class QuietView final : public diagnostics::MainView {
 public:
  void SetItemText(int, const char*) override {}
  void EnableItem(int, bool) override {}
  [[nodiscard]] bool IsItemEnabled(int) const override { return true; }
  void StopTimer(int) override {}
  void ShowNotFound(const char*) override {}
  void ShowListMissing(const char*) override {}
  void Beep() override {}
};

}  // namespace benchsupport
