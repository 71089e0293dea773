#pragma once
// The command line of kalvex-modem-sim, read with QCommandLineParser from one table of options
// that also gives --help its entries.

#include <optional>
#include <string>
#include <vector>

#include "modem_sim.h"

namespace sim {

inline constexpr char kProgramName[] = "kalvex-modem-sim";

// The simulator's own exit statuses; with --run it otherwise ends with the program's.
inline constexpr int kExitOk = 0;
inline constexpr int kExitCannotStart = 1;  // the terminals or their directory cannot be made
inline constexpr int kExitUsage = 64;       // an unknown option or a bad value; nothing was made
inline constexpr int kExitCannotRun = 127;  // PROGRAM of --run cannot be started

struct CommandLine {
  Options options;
  std::vector<std::string> run;  // PROGRAM [ARGS...] after --run; empty: none
  bool help = false;
  bool version = false;
  bool verbose = false;  // --verbose: with --run, the transcript on standard error
};

// Parses argv[1..]. On a bad option returns nullopt and puts a one-line reason into `error`.
// With help or version set the rest of the command line is left unchecked.
[[nodiscard]] std::optional<CommandLine> ParseCommandLine(int argc, const char* const* argv,
                                                          std::string& error);

// The text of --help, and the one line of --version; each line ends with a newline.
[[nodiscard]] std::string UsageText();
[[nodiscard]] std::string VersionLine();

}  // namespace sim
