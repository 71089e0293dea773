#pragma once
// The command line of kalvex-modem-sim.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "modem_sim.h"

namespace sim {

struct CommandLine {
  Options options;
  std::vector<std::string> run;  // PROGRAM [ARGS...] after --run; empty: none
  bool help = false;
  bool verbose = false;  // --verbose: with --run, the transcript on standard error
};

// Parses argv[1..]. On a bad option returns nullopt and puts a one-line reason into `error`.
[[nodiscard]] std::optional<CommandLine> ParseCommandLine(int argc, const char* const* argv,
                                                          std::string& error);

[[nodiscard]] std::string_view UsageText();

}  // namespace sim
