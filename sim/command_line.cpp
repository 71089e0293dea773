#include "command_line.h"

#include <cctype>

namespace sim {
namespace {

constexpr std::string_view kUsage =
    R"(Usage: kalvex-modem-sim [OPTIONS] [--run PROGRAM [ARGS...]]

Simulates the laptop's internal modem on pseudo-terminals. Each simulated port gets a
symbolic link COMn in one directory; the tool finds them through KALVEX_COM_DIR. The
directory is printed on the first line of standard output, followed by a line
KALVEX_COM_DIR=<directory>. Without --run the simulator runs until SIGINT or SIGTERM.

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
  --transcript FILE      write the transcript to FILE instead of standard error
                         (see docs/simulator.md for its format)

Running a program:
  --run PROGRAM [ARGS...]
                         must come last. Starts PROGRAM with KALVEX_COM_DIR set and ends
                         when it ends, with its exit status (128+N if signal N ended it).
                         SIGINT and SIGTERM are passed on to it.

  --help                 show this text

Exit status: 0 after SIGINT or SIGTERM (without --run), the program's status with --run,
1 when the terminals cannot be made, 2 for a bad option, 127 when PROGRAM cannot be started.
)";

std::optional<long long> ParseInt(std::string_view s, long long lo, long long hi) {
  if (s.empty() || s.size() > 12) return std::nullopt;
  long long v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return std::nullopt;
    v = v * 10 + (c - '0');
  }
  if (v < lo || v > hi) return std::nullopt;
  return v;
}

std::optional<int> ParsePort(std::string_view s) {
  if (s.size() == 4 && std::toupper(static_cast<unsigned char>(s[0])) == 'C' &&
      std::toupper(static_cast<unsigned char>(s[1])) == 'O' &&
      std::toupper(static_cast<unsigned char>(s[2])) == 'M')
    s.remove_prefix(3);
  if (s.size() != 1 || s[0] < '1' || s[0] > '9') return std::nullopt;
  return s[0] - '0';
}

struct FaultArg {
  int port;
  std::string name;
  std::string value;
  bool hasValue;
};

bool ApplyFault(Faults& f, const FaultArg& a, std::string& error) {
  auto needValue = [&](bool want) {
    if (want != a.hasValue) {
      error = "--fault: " + a.name + (want ? " needs a value (" + a.name + "=...)" : " takes no value");
      return false;
    }
    return true;
  };
  auto number = [&](long long lo, long long hi, int& out) {
    auto v = ParseInt(a.value, lo, hi);
    if (!v) {
      error = "--fault: " + a.name + ": '" + a.value + "' is not a number from " +
              std::to_string(lo) + " to " + std::to_string(hi);
      return false;
    }
    out = static_cast<int>(*v);
    return true;
  };
  if (a.name == "mute") {
    if (!needValue(true)) return false;
    if (a.value.empty()) return error = "--fault: mute needs a command (mute=I2)", false;
    f.muteCommands.push_back(a.value);
    return true;
  }
  if (a.name == "drop-echo") return needValue(true) && number(1, 1000000, f.dropEchoLine);
  if (a.name == "hangup") return needValue(true) && number(0, 86400000, f.hangUpAfterMs);
  if (a.name == "late-escape") return needValue(true) && number(1, 60000, f.lateEscapeMs);
  bool* flag = a.name == "ignore-first-escape" ? &f.ignoreFirstEscape
               : a.name == "no-connect"        ? &f.noConnect
               : a.name == "wrong-country"     ? &f.wrongCountry
               : a.name == "split"             ? &f.splitOutput
               : a.name == "lowercase"         ? &f.lowerCaseResults
               : a.name == "noise"             ? &f.noise
               : a.name == "no-line"           ? &f.noLine
                                               : nullptr;
  if (!flag) return error = "--fault: unknown fault '" + a.name + "' (see --help)", false;
  if (!needValue(false)) return false;
  *flag = true;
  return true;
}

}  // namespace

std::string_view UsageText() { return kUsage; }

std::optional<CommandLine> ParseCommandLine(int argc, const char* const* argv, std::string& error) {
  CommandLine cl;
  std::vector<FaultArg> faults;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    std::string value;
    bool inlineValue = false;
    if (arg.rfind("--", 0) == 0) {
      std::size_t eq = arg.find('=');
      if (eq != std::string::npos) {
        value = arg.substr(eq + 1);
        arg.resize(eq);
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
    auto intValue = [&](long long lo, long long hi) -> std::optional<long long> {
      if (!takeValue()) return std::nullopt;
      auto v = ParseInt(value, lo, hi);
      if (!v)
        error = arg + ": '" + value + "' is not a number from " + std::to_string(lo) + " to " +
                std::to_string(hi);
      return v;
    };

    if (arg == "--help" || arg == "-h") {
      cl.help = true;
    } else if (arg == "--run") {
      if (inlineValue) return error = "--run takes the program as the next argument", std::nullopt;
      for (++i; i < argc; ++i) cl.run.emplace_back(argv[i]);
      if (cl.run.empty()) return error = "--run needs a program", std::nullopt;
    } else if (arg == "--port") {
      if (!takeValue()) return std::nullopt;
      std::size_t eq = value.find('=');
      auto port = ParsePort(value.substr(0, eq));
      if (eq == std::string::npos || !port)
        return error = "--port: '" + value + "' is not COMn=KIND with n from 1 to 9", std::nullopt;
      auto kind = ParseKind(value.substr(eq + 1));
      if (!kind)
        return error = "--port: unknown kind '" + value.substr(eq + 1) +
                       "' (modem, silent, echo or foreign)", std::nullopt;
      for (const PortConfig& pc : cl.options.ports)
        if (pc.number == *port) return error = "--port: COM" + std::to_string(*port) + " given twice", std::nullopt;
      cl.options.ports.push_back({*port, *kind, {}});
    } else if (arg == "--fault") {
      if (!takeValue()) return std::nullopt;
      std::size_t colon = value.find(':');
      auto port = ParsePort(value.substr(0, colon));
      if (colon == std::string::npos || !port)
        return error = "--fault: '" + value + "' is not COMn:FAULT with n from 1 to 9", std::nullopt;
      std::string rest = value.substr(colon + 1);
      std::size_t eq = rest.find('=');
      faults.push_back({*port, rest.substr(0, eq), eq == std::string::npos ? "" : rest.substr(eq + 1),
                        eq != std::string::npos});
    } else if (arg == "--guard-time") {
      auto v = intValue(10, 60000);
      if (!v) return std::nullopt;
      cl.options.guardTimeMs = static_cast<int>(*v);
    } else if (arg == "--dial-time") {
      auto v = intValue(0, 60000);
      if (!v) return std::nullopt;
      cl.options.dialTimeMs = static_cast<int>(*v);
    } else if (arg == "--seed") {
      auto v = intValue(0, 4294967295LL);
      if (!v) return std::nullopt;
      cl.options.seed = static_cast<std::uint32_t>(*v);
    } else if (arg == "--no-pacing") {
      if (inlineValue) return error = "--no-pacing takes no value", std::nullopt;
      cl.options.pacing = false;
    } else if (arg == "--dir") {
      if (!takeValue()) return std::nullopt;
      if (value.empty()) return error = "--dir needs a directory", std::nullopt;
      cl.options.directory = value;
    } else if (arg == "--transcript") {
      if (!takeValue()) return std::nullopt;
      if (value.empty()) return error = "--transcript needs a file name", std::nullopt;
      cl.options.transcriptPath = value;
    } else {
      return error = "unknown option '" + std::string(argv[i]) + "'", std::nullopt;
    }
  }
  if (cl.help) return cl;

  if (cl.options.ports.empty()) {
    cl.options.ports.push_back({1, PortKind::Silent, {}});
    cl.options.ports.push_back({3, PortKind::Modem, {}});
  }
  for (const FaultArg& a : faults) {
    PortConfig* pc = nullptr;
    for (PortConfig& p : cl.options.ports)
      if (p.number == a.port) pc = &p;
    if (!pc) return error = "--fault: COM" + std::to_string(a.port) + " is not simulated", std::nullopt;
    if (!ApplyFault(pc->faults, a, error)) return std::nullopt;
    bool anyKind = a.name == "split" || a.name == "hangup" || a.name == "drop-echo";
    if (!anyKind && pc->kind != PortKind::Modem && pc->kind != PortKind::Foreign)
      return error = "--fault: " + a.name + " needs a modem or foreign port, COM" +
                     std::to_string(a.port) + " is " + std::string(KindName(pc->kind)), std::nullopt;
  }
  if (cl.options.transcriptPath.empty()) cl.options.transcriptPath = "-";
  cl.options.keepEvents = false;
  return cl;
}

}  // namespace sim
