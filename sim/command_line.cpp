#include "command_line.h"
#include "refusal.h"

#include <cctype>

namespace sim {
namespace {

constexpr std::string_view kUsage =
    R"(Usage: kalvex-modem-sim [OPTIONS] [--run PROGRAM [ARGS...]]

Simulates the laptop's internal modem on pseudo-terminals. Each simulated port gets a
symbolic link COMn in one directory; the tool finds them through KALVEX_COM_DIR.
Without --run the directory is printed on the first line of standard output, followed
by a line KALVEX_COM_DIR=<directory>, and the simulator runs until SIGINT or SIGTERM.
With --run standard output is the program's alone: the simulator's own lines go to
standard error, and its transcript only to --transcript FILE or, with --verbose, to
standard error.

Ports:
  --port COMn=KIND       put KIND on COMn (n = 1..9); repeatable. KIND is one of
                           modem    the full modem (its I3 line is listed in ati3.dat)
                           silent   opens, reads everything, never answers
                           echo     sends every byte back, like a loopback plug
                           foreign  a full modem whose I3 line is in no list
                         Without any --port: COM1=silent and COM3=modem.
  --fault COMn:FAULT     inject FAULT into COMn; repeatable. FAULT is one of
                           mute=CMD             never answer CMD (the text after AT, any
                                                case, matched at its start: mute=I2)
                           error=CMD            answer CMD with "ERROR" and change nothing
                                                (matched as mute is: error=H)
                           ignore-first-escape  ignore the first "+++"; later ones work
                           late-escape=MS       answer a valid "+++" MS ms late (1-60000);
                                                command mode starts at once
                           drop-echo=K          do not echo the K-th loopback line (K >= 1)
                           no-connect           "ERROR" instead of "CONNECT" to &T1 and &T3
                           wrong-country        I9 names the wrong country
                           split                output in random 1-4 byte pieces, 1-15 ms
                                                apart; CR and LF always in different pieces
                           lowercase            lower-case result codes (ok, error, ...)
                           noise                a line of junk after every answer
                           hangup=MS            hang up MS ms after start: close the
                                                terminal and remove its link
                           no-line              no telephone line: dialling gives
                                                "NO DIALTONE" instead of "NO CARRIER"
                         silent and echo ports take only split, hangup and drop-echo.

Timing:
  --guard-time MS        silence needed before and after "+++" (default 1000, 10..60000;
                         up to 50 ms less silence before it is accepted)
  --dial-time MS         time from "DT..." to its result (default 2500, 0..60000)
  --no-pacing            write answers at once instead of at 19200 baud
  --seed N               seed for the split and noise faults (default 1, 0..4294967295)

Files:
  --dir DIR              put the COMn links in DIR (created if missing; the directory is
                         removed at exit only if it was created). Default: a fresh
                         directory under $TMPDIR or /tmp, removed at exit.
  --transcript FILE      write the transcript to FILE (see docs/simulator.md for its
                         format). Without it: to standard error, or with --run nowhere
  --verbose              with --run and without --transcript: the transcript on
                         standard error

Running a program:
  --run PROGRAM [ARGS...]
                         must come last. Starts PROGRAM with KALVEX_COM_DIR set and ends
                         when it ends, with its exit status (128+N if signal N ended it).
                         SIGINT and SIGTERM are passed on to it.

  --help                 show this text

Exit status: 0 after SIGINT or SIGTERM (without --run), the program's status with --run,
1 when the terminals cannot be made, 2 for a bad option, 127 when PROGRAM cannot be started.
)";

std::optional<long long> ParseInt(std::string_view text, long long low, long long high) {
  if (text.empty() || text.size() > 12) return std::nullopt;
  long long value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  if (value < low || value > high) return std::nullopt;
  return value;
}

std::optional<int> ParsePort(std::string_view text) {
  if (text.size() == 4 && std::toupper(static_cast<unsigned char>(text[0])) == 'C' &&
      std::toupper(static_cast<unsigned char>(text[1])) == 'O' &&
      std::toupper(static_cast<unsigned char>(text[2])) == 'M')
    text.remove_prefix(3);
  if (text.size() != 1 || text[0] < '1' || text[0] > '9') return std::nullopt;
  return text[0] - '0';
}

struct FaultArg {
  int port;
  std::string name;
  std::string value;
  bool hasValue;
};

bool ApplyFault(Faults& faults, const FaultArg& fault, std::string& error) {
  auto needValue = [&](bool want) {
    if (want != fault.hasValue) {
      error = "--fault: " + fault.name +
              (want ? " needs a value (" + fault.name + "=...)" : " takes no value");
      return false;
    }
    return true;
  };
  auto number = [&](long long low, long long high, int& out) {
    auto parsed = ParseInt(fault.value, low, high);
    if (!parsed) {
      error = "--fault: " + fault.name + ": '" + fault.value + "' is not a number from " +
              std::to_string(low) + " to " + std::to_string(high);
      return false;
    }
    out = static_cast<int>(*parsed);
    return true;
  };
  if (fault.name == "mute") {
    if (!needValue(true)) return false;
    if (fault.value.empty()) return Fail(error, "--fault: mute needs a command (mute=I2)");
    faults.muteCommands.push_back(fault.value);
    return true;
  }
  if (fault.name == "error") {
    if (!needValue(true)) return false;
    if (fault.value.empty()) return Fail(error, "--fault: error needs a command (error=H)");
    faults.errorCommands.push_back(fault.value);
    return true;
  }
  if (fault.name == "drop-echo") return needValue(true) && number(1, 1000000, faults.dropEchoLine);
  if (fault.name == "hangup") return needValue(true) && number(0, 86400000, faults.hangUpAfterMs);
  if (fault.name == "late-escape") return needValue(true) && number(1, 60000, faults.lateEscapeMs);
  bool* flag = fault.name == "ignore-first-escape" ? &faults.ignoreFirstEscape
               : fault.name == "no-connect"        ? &faults.noConnect
               : fault.name == "wrong-country"     ? &faults.wrongCountry
               : fault.name == "split"             ? &faults.splitOutput
               : fault.name == "lowercase"         ? &faults.lowerCaseResults
               : fault.name == "noise"             ? &faults.noise
               : fault.name == "no-line"           ? &faults.noLine
                                                   : nullptr;
  if (!flag) return Fail(error, "--fault: unknown fault '" + fault.name + "' (see --help)");
  if (!needValue(false)) return false;
  *flag = true;
  return true;
}

}  // namespace

std::string_view UsageText() { return kUsage; }

std::optional<CommandLine> ParseCommandLine(int argc, const char* const* argv, std::string& error) {
  CommandLine commandLine;
  std::vector<FaultArg> faults;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    std::string value;
    bool inlineValue = false;
    if (arg.rfind("--", 0) == 0) {
      std::size_t equals = arg.find('=');
      if (equals != std::string::npos) {
        value = arg.substr(equals + 1);
        arg.resize(equals);
        inlineValue = true;
      }
    }
    auto takeValue = [&]() -> bool {
      if (inlineValue) return true;
      if (i + 1 >= argc) {
        error = arg + " needs a value";
        return false;
      }
      value = argv[++i];
      return true;
    };
    auto intValue = [&](long long low, long long high) -> std::optional<long long> {
      if (!takeValue()) return std::nullopt;
      auto number = ParseInt(value, low, high);
      if (!number)
        error = arg + ": '" + value + "' is not a number from " + std::to_string(low) + " to " +
                std::to_string(high);
      return number;
    };

    if (arg == "--help" || arg == "-h") {
      commandLine.help = true;
    } else if (arg == "--run") {
      if (inlineValue) return Refuse(error, "--run takes the program as the next argument");
      for (++i; i < argc; ++i) commandLine.run.emplace_back(argv[i]);
      if (commandLine.run.empty()) return Refuse(error, "--run needs a program");
    } else if (arg == "--port") {
      if (!takeValue()) return std::nullopt;
      std::size_t equals = value.find('=');
      auto port = ParsePort(value.substr(0, equals));
      if (equals == std::string::npos || !port)
        return Refuse(error, "--port: '" + value + "' is not COMn=KIND with n from 1 to 9");
      auto kind = ParseKind(value.substr(equals + 1));
      if (!kind)
        return Refuse(error, "--port: unknown kind '" + value.substr(equals + 1) +
                                 "' (modem, silent, echo or foreign)");
      for (const PortConfig& config : commandLine.options.ports)
        if (config.number == *port)
          return Refuse(error, "--port: COM" + std::to_string(*port) + " given twice");
      commandLine.options.ports.push_back({*port, *kind, {}});
    } else if (arg == "--fault") {
      if (!takeValue()) return std::nullopt;
      std::size_t colon = value.find(':');
      auto port = ParsePort(value.substr(0, colon));
      if (colon == std::string::npos || !port)
        return Refuse(error, "--fault: '" + value + "' is not COMn:FAULT with n from 1 to 9");
      std::string rest = value.substr(colon + 1);
      std::size_t equals = rest.find('=');
      faults.push_back({*port, rest.substr(0, equals),
                        equals == std::string::npos ? "" : rest.substr(equals + 1),
                        equals != std::string::npos});
    } else if (arg == "--guard-time") {
      auto number = intValue(10, 60000);
      if (!number) return std::nullopt;
      commandLine.options.guardTimeMs = static_cast<int>(*number);
    } else if (arg == "--dial-time") {
      auto number = intValue(0, 60000);
      if (!number) return std::nullopt;
      commandLine.options.dialTimeMs = static_cast<int>(*number);
    } else if (arg == "--seed") {
      auto number = intValue(0, 4294967295LL);
      if (!number) return std::nullopt;
      commandLine.options.seed = static_cast<std::uint32_t>(*number);
    } else if (arg == "--verbose" || arg == "-v") {
      if (inlineValue) return Refuse(error, "--verbose takes no value");
      commandLine.verbose = true;
    } else if (arg == "--no-pacing") {
      if (inlineValue) return Refuse(error, "--no-pacing takes no value");
      commandLine.options.pacing = false;
    } else if (arg == "--dir") {
      if (!takeValue()) return std::nullopt;
      if (value.empty()) return Refuse(error, "--dir needs a directory");
      commandLine.options.directory = value;
    } else if (arg == "--transcript") {
      if (!takeValue()) return std::nullopt;
      if (value.empty()) return Refuse(error, "--transcript needs a file name");
      commandLine.options.transcriptPath = value;
    } else {
      return Refuse(error, "unknown option '" + std::string(argv[i]) + "'");
    }
  }
  if (commandLine.help) return commandLine;

  if (commandLine.options.ports.empty()) {
    commandLine.options.ports.push_back({1, PortKind::kSilent, {}});
    commandLine.options.ports.push_back({3, PortKind::kModem, {}});
  }
  for (const FaultArg& fault : faults) {
    PortConfig* config = nullptr;
    for (PortConfig& candidate : commandLine.options.ports)
      if (candidate.number == fault.port) config = &candidate;
    if (!config)
      return Refuse(error, "--fault: COM" + std::to_string(fault.port) + " is not simulated");
    if (!ApplyFault(config->faults, fault, error)) return std::nullopt;
    bool anyKind = fault.name == "split" || fault.name == "hangup" || fault.name == "drop-echo";
    if (!anyKind && config->kind != PortKind::kModem && config->kind != PortKind::kForeign)
      return Refuse(error, "--fault: " + fault.name + " needs a modem or foreign port, COM" +
                               std::to_string(fault.port) + " is " +
                               std::string(KindName(config->kind)));
  }
  // With --run standard output and standard error belong to the program: a JSON document piped
  // into another program must not be preceded by the simulator's lines or its whole dialogue.
  const bool quiet = !commandLine.run.empty() && !commandLine.verbose;
  if (commandLine.options.transcriptPath.empty() && !quiet)
    commandLine.options.transcriptPath = "-";
  commandLine.options.keepEvents = false;
  return commandLine;
}

}  // namespace sim
