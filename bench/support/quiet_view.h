#pragma once
// A main view that shows nothing: the runs' own timing, without any painting.

#include <string>

#include "diagnostics/program_run.h"

namespace benchsupport {

class QuietView final : public diagnostics::MainView {
 public:
  void ShowNotFound(const char*) override {}
  void ShowListMissing(const char*) override {}
};

}  // namespace benchsupport
