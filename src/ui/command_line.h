#pragma once
// The program's command line: what a run was asked to do, read with QCommandLineParser before
// any window, file or port is touched, and the texts of --help and --version.

#include <QStringList>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "diagnostics/exit_status.h"
#include "diagnostics/test_result.h"

namespace ui {

using diagnostics::kExitAlreadyRunning;
using diagnostics::kExitCannotCreate;
using diagnostics::kExitInterrupted;
using diagnostics::kExitListMissing;
using diagnostics::kExitNoModem;
using diagnostics::kExitNotPutBack;
using diagnostics::kExitOk;
using diagnostics::kExitTestFailed;
using diagnostics::kExitUsage;

enum class RunMode { kDialogs, kReport, kListPorts, kHelp, kVersion };

// A yes/no the report would otherwise ask on the terminal.
enum class GivenAnswer { kAsk, kYes, kNo };

struct CommandLine {
  RunMode mode = RunMode::kDialogs;
  std::string transcriptPath;                             // empty: no transcript
  std::vector<std::pair<int, std::string>> portMappings;  // --port: COM number, device path
  std::set<std::string> testGroups;                       // --tests: TestIdentity::group
  bool json = false;
  bool verbose = false;  // --report, --list-ports: the debug texts on standard error too
  bool probe = false;    // --list-ports: ask each device whether it is a modem
  GivenAnswer answerSpeaker = GivenAnswer::kAsk;
  GivenAnswer lineConnected = GivenAnswer::kAsk;

  [[nodiscard]] bool Runs(const diagnostics::TestIdentity& test) const {
    return testGroups.count(test.group) != 0;
  }
};

struct ParsedCommandLine {
  CommandLine line;
  std::string error;  // non-empty: one line naming the option and the --help hint, no newline
};

// The program's arguments as text that keeps every byte, so that a file name is used as given
// whatever its encoding: each byte as the character of that number (Latin-1). ArgumentBytes
// gives the bytes back exactly, also of a part of an argument. Any thread.
[[nodiscard]] QStringList ArgumentsFromBytes(int argc, const char* const* argv);
[[nodiscard]] std::string ArgumentBytes(const QString& text);

// arguments as ArgumentsFromBytes gives them, the program's name first. Qt's own
// window options (-platform NAME and a few more) are accepted and left to Qt. Any thread.
[[nodiscard]] ParsedCommandLine ParseCommandLine(const QStringList& arguments);

// The text of --help, and that of --version: the version, then a line with the main dialog's
// version label. Each line ends with a newline.
[[nodiscard]] std::string HelpText();
[[nodiscard]] std::string VersionLine();

}  // namespace ui
