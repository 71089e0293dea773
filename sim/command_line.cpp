#include "command_line.h"
#include "refusal.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QStringList>
#include <algorithm>
#include <cctype>
#include <span>
#include <string_view>

namespace sim {
namespace {

// A line of a list under one option's entry in --help: a port kind, a fault.
struct HelpRow {
  const char* name;
  const char* text;
};

struct OptionSpec {
  const char* heading;    // non-null: a blank line, then this heading unless empty, before it
  const char* names;      // comma-separated, as given to QCommandLineOption
  const char* valueName;  // empty: a switch
  const char* help;       // its entry in --help
  std::span<const HelpRow> rows = {};  // a list under the entry
  const char* after = "";              // a sentence under that list
};

constexpr HelpRow kKindRows[] = {
    {"modem", "the full modem (its I3 line is listed in ati3.dat)"},
    {"silent", "opens, reads everything, never answers"},
    {"echo", "sends every byte back, like a loopback plug"},
    {"foreign", "a full modem whose I3 line is in no list"},
};

constexpr HelpRow kFaultRows[] = {
    {"mute=CMD", "never answer CMD (the text after AT, any case, matched at its start: mute=I2)"},
    {"error=CMD", "answer CMD with \"ERROR\" and change nothing (matched as mute is: error=H)"},
    {"ignore-first-escape", "ignore the first \"+++\"; later ones work"},
    {"late-escape=MS", "answer a valid \"+++\" MS ms late (1-60000); command mode starts at once"},
    {"drop-echo=K", "do not echo the K-th loopback line (K >= 1)"},
    {"no-connect", "\"ERROR\" instead of \"CONNECT\" to &T1 and &T3"},
    {"wrong-country", "I9 names the wrong country"},
    {"split",
     "output in random 1-4 byte pieces, 1-15 ms apart; CR and LF always in different "
     "pieces"},
    {"lowercase", "lower-case result codes (ok, error, ...)"},
    {"noise", "a line of junk after every answer"},
    {"hangup=MS", "hang up MS ms after start: close the terminal and remove its link"},
    {"no-line", "no telephone line: dialling gives \"NO DIALTONE\" instead of \"NO CARRIER\""},
    {"ring=CMD", "an unsolicited \"RING\" between CMD's echo and its answer (matched as mute is)"},
    {"late=CMD:MS",
     "CMD runs and is echoed at once, its answer comes MS ms later (1-60000); what arrives "
     "meanwhile runs after it"},
    {"online", "start in data mode, as a loopback test left it; \"+++\" gives command mode"},
    {"ignore-dtr", "a purge (the DTR drop) ends neither data mode nor a dial, as with &D0"},
    {"profile=SETTINGS",
     "the stored profile that power-on and Z load: E, Q, V, X, &C, &D settings (profile=E0V0)"},
};

// One table for the parser and for --help, so the two cannot disagree.
constexpr OptionSpec kOptions[] = {
    {"Ports:", "port", "COMn=KIND", "put KIND on COMn (n=1..9); repeatable. KIND is one of",
     kKindRows, "Without any --port: COM1=silent and COM3=modem."},
    {nullptr, "fault", "COMn:FAULT", "inject FAULT into COMn; repeatable. FAULT is one of",
     kFaultRows, "Silent and echo ports take only split, hangup and drop-echo."},
    {"Timing:", "guard-time", "MS",
     "silence needed before and after \"+++\" (default 1000, 10..60000; up to 50 ms less "
     "silence before it is accepted)"},
    {nullptr, "dial-time", "MS", "time from \"DT...\" to its result (default 2500, 0..60000)"},
    {nullptr, "no-pacing", "", "write answers at once instead of at 19200 baud"},
    {nullptr, "seed", "N", "seed for the split and noise faults (default 1, 0..4294967295)"},
    {"Files:", "dir", "DIR",
     "put the COMn links in DIR (created if missing; the directory is removed at exit only if "
     "it was created). Default: a fresh directory under $TMPDIR or /tmp, removed at exit."},
    {nullptr, "transcript", "FILE",
     "write the transcript to FILE (see docs/simulator.md for its format). Without it: to "
     "standard error, or with --run nowhere"},
    {nullptr, "v,verbose", "",
     "with --run and without --transcript: the transcript on standard error"},
    // Cut off before the parser sees the arguments (SplitAtRun): what follows is the program's.
    {"Running a program:", "run", "PROGRAM [ARGS...]",
     "must come last. Starts PROGRAM with KALVEX_COM_DIR set and ends when it ends, with its "
     "exit status (128+N if signal N ended it). SIGINT and SIGTERM are passed on to it."},
    {"", "h,help", "", "show this text"},
    {nullptr, "V,version", "", "show the program's name and version"},
};

constexpr char kUsageHead[] =
    "Usage: kalvex-modem-sim [OPTIONS] [--run PROGRAM [ARGS...]]\n"
    "       kalvex-modem-sim --help | --version\n"
    "\n"
    "Simulates the laptop's internal modem on pseudo-terminals. Each simulated port\n"
    "gets a symbolic link COMn in one directory; the tool finds them through\n"
    "KALVEX_COM_DIR. Without --run the directory is printed on the first line of\n"
    "standard output, followed by a line KALVEX_COM_DIR=<directory>, and the\n"
    "simulator runs until SIGINT or SIGTERM. With --run standard output is the\n"
    "program's alone: the simulator's own lines go to standard error, and its\n"
    "transcript only to --transcript FILE or, with --verbose, to standard error.\n";

constexpr char kUsageTail[] =
    "\n"
    "Exit status: 0 after SIGINT or SIGTERM (without --run), the program's status\n"
    "with --run, 1 when the terminals cannot be made, 64 for a bad option, 127 when\n"
    "PROGRAM cannot be started.\n";

// The column of the descriptions in --help, and the longest line: one character short of an
// 80-column terminal, which some terminals wrap at a line that fills it.
constexpr std::size_t kHelpColumn = 25;
constexpr std::size_t kHelpWidth = 79;

// head padded to kHelpColumn (or on a line of its own when longer), then text broken at blanks
// into lines of at most kHelpWidth, each after the first indented to kHelpColumn.
std::string HelpEntry(std::string head, std::string_view text) {
  head += head.size() < kHelpColumn ? std::string(kHelpColumn - head.size(), ' ')
                                    : "\n" + std::string(kHelpColumn, ' ');
  std::size_t lineLength = kHelpColumn;
  while (!text.empty()) {
    const std::string_view word = text.substr(0, text.find(' '));
    text.remove_prefix(std::min(text.size(), word.size() + 1));
    if (lineLength > kHelpColumn && lineLength + 1 + word.size() > kHelpWidth) {
      head += "\n" + std::string(kHelpColumn, ' ');
      lineLength = kHelpColumn;
    } else if (lineLength > kHelpColumn) {
      head += ' ';
      ++lineLength;
    }
    head += word;
    lineLength += word.size();
  }
  return head + "\n";
}

// "-h, --help", then the value's name.
std::string OptionHead(const OptionSpec& spec) {
  std::string head;
  for (std::string_view names = spec.names; !names.empty();) {
    const std::string_view name = names.substr(0, names.find(','));
    names.remove_prefix(std::min(names.size(), name.size() + 1));
    head += std::string(head.empty() ? "  " : ", ") + (name.size() == 1 ? "-" : "--");
    head += name;
  }
  return *spec.valueName ? head + " " + spec.valueName : head;
}

// Latin-1 maps each byte to one character and back, so a path that is not UTF-8 comes through
// whole, and a message that quotes it gives back the bytes the user typed.
QString Text(std::string_view bytes) {
  return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}
std::string Bytes(const QString& text) { return text.toLatin1().toStdString(); }

// The arguments before --run, for the parser, and PROGRAM [ARGS...] after it into `run`.
bool SplitAtRun(int argc, const char* const* argv, QStringList& arguments,
                std::vector<std::string>& run, std::string& error) {
  arguments.append(QLatin1String(kProgramName));
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg.starts_with("--run="))
      return Fail(error, "--run takes the program as the next argument");
    if (arg == "--run") {
      run.assign(argv + i + 1, argv + argc);
      return !run.empty() || Fail(error, "--run needs a program");
    }
    arguments.append(Text(arg));
  }
  return true;
}

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

// Every value of --name is checked; the last one given is the one that holds.
template <typename Number>
bool ReadNumber(const QCommandLineParser& parser, const char* name, long long low, long long high,
                Number& out, std::string& error) {
  for (const QString& text : parser.values(QLatin1String(name))) {
    const std::string value = Bytes(text);
    const auto number = ParseInt(value, low, high);
    if (!number)
      return Fail(error, "--" + std::string(name) + ": '" + value + "' is not a number from " +
                             std::to_string(low) + " to " + std::to_string(high));
    out = static_cast<Number>(*number);
  }
  return true;
}

// The last value of --name into `out` when it is given; an empty one is refused as `missing`.
bool ReadPath(const QCommandLineParser& parser, const char* name, const char* missing,
              std::string& out, std::string& error) {
  if (!parser.isSet(QLatin1String(name))) return true;
  out = Bytes(parser.value(QLatin1String(name)));
  return !out.empty() || Fail(error, "--" + std::string(name) + " needs " + missing);
}

std::optional<int> ParsePort(std::string_view text) {
  if (text.size() == 4 && std::toupper(static_cast<unsigned char>(text[0])) == 'C' &&
      std::toupper(static_cast<unsigned char>(text[1])) == 'O' &&
      std::toupper(static_cast<unsigned char>(text[2])) == 'M')
    text.remove_prefix(3);
  if (text.size() != 1 || text[0] < '1' || text[0] > '9') return std::nullopt;
  return text[0] - '0';
}

bool ReadPort(const std::string& value, std::vector<PortConfig>& ports, std::string& error) {
  std::size_t equals = value.find('=');
  auto port = ParsePort(value.substr(0, equals));
  if (equals == std::string::npos || !port)
    return Fail(error, "--port: '" + value + "' is not COMn=KIND with n from 1 to 9");
  auto kind = ParseKind(value.substr(equals + 1));
  if (!kind)
    return Fail(error, "--port: unknown kind '" + value.substr(equals + 1) +
                           "' (modem, silent, echo or foreign)");
  for (const PortConfig& config : ports)
    if (config.number == *port)
      return Fail(error, "--port: COM" + std::to_string(*port) + " given twice");
  ports.push_back({*port, *kind, {}});
  return true;
}

struct FaultArg {
  int port;
  std::string name;
  std::string value;
  bool hasValue;
};

bool ReadFault(const std::string& value, std::vector<FaultArg>& faults, std::string& error) {
  std::size_t colon = value.find(':');
  auto port = ParsePort(value.substr(0, colon));
  if (colon == std::string::npos || !port)
    return Fail(error, "--fault: '" + value + "' is not COMn:FAULT with n from 1 to 9");
  std::string rest = value.substr(colon + 1);
  std::size_t equals = rest.find('=');
  faults.push_back({*port, rest.substr(0, equals),
                    equals == std::string::npos ? "" : rest.substr(equals + 1),
                    equals != std::string::npos});
  return true;
}

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
  if (fault.name == "ring") {
    if (!needValue(true)) return false;
    if (fault.value.empty()) return Fail(error, "--fault: ring needs a command (ring=I3)");
    faults.ringCommands.push_back(fault.value);
    return true;
  }
  if (fault.name == "late") {
    if (!needValue(true)) return false;
    const std::size_t colon = fault.value.rfind(':');
    const auto ms = colon == std::string::npos
                        ? std::nullopt
                        : ParseInt(std::string_view(fault.value).substr(colon + 1), 1, 60000);
    if (colon == 0 || !ms)
      return Fail(error, "--fault: late needs a command and 1 to 60000 ms (late=I3:500)");
    faults.lateCommands.push_back({fault.value.substr(0, colon), static_cast<int>(*ms)});
    return true;
  }
  if (fault.name == "profile") {
    if (!needValue(true)) return false;
    if (fault.value.empty() || !ValidProfile(fault.value))
      return Fail(error, "--fault: profile: '" + fault.value +
                             "' is not E, Q, V, X, &C and &D settings (profile=E0V0)");
    faults.profile = fault.value;
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
               : fault.name == "online"            ? &faults.online
               : fault.name == "ignore-dtr"        ? &faults.ignoreDtr
                                                   : nullptr;
  if (!flag) return Fail(error, "--fault: unknown fault '" + fault.name + "' (see --help)");
  if (!needValue(false)) return false;
  *flag = true;
  return true;
}

// Faults go to ports that exist, the default ones when no --port was given.
bool ApplyFaults(const std::vector<FaultArg>& faults, std::vector<PortConfig>& ports,
                 std::string& error) {
  for (const FaultArg& fault : faults) {
    PortConfig* config = nullptr;
    for (PortConfig& candidate : ports)
      if (candidate.number == fault.port) config = &candidate;
    if (!config)
      return Fail(error, "--fault: COM" + std::to_string(fault.port) + " is not simulated");
    if (!ApplyFault(config->faults, fault, error)) return false;
    bool anyKind = fault.name == "split" || fault.name == "hangup" || fault.name == "drop-echo";
    if (!anyKind && config->kind != PortKind::kModem && config->kind != PortKind::kForeign)
      return Fail(error, "--fault: " + fault.name + " needs a modem or foreign port, COM" +
                             std::to_string(fault.port) + " is " +
                             std::string(KindName(config->kind)));
  }
  return true;
}

bool ReadOptions(const QCommandLineParser& parser, CommandLine& commandLine, std::string& error) {
  Options& options = commandLine.options;
  std::vector<FaultArg> faults;
  for (const QString& value : parser.values(QStringLiteral("port")))
    if (!ReadPort(Bytes(value), options.ports, error)) return false;
  for (const QString& value : parser.values(QStringLiteral("fault")))
    if (!ReadFault(Bytes(value), faults, error)) return false;
  if (!ReadNumber(parser, "guard-time", 10, 60000, options.guardTimeMs, error) ||
      !ReadNumber(parser, "dial-time", 0, 60000, options.dialTimeMs, error) ||
      !ReadNumber(parser, "seed", 0, 4294967295LL, options.seed, error) ||
      !ReadPath(parser, "dir", "a directory", options.directory, error) ||
      !ReadPath(parser, "transcript", "a file name", options.transcriptPath, error))
    return false;
  options.pacing = !parser.isSet(QStringLiteral("no-pacing"));
  commandLine.verbose = parser.isSet(QStringLiteral("verbose"));
  if (options.ports.empty()) {
    options.ports.push_back({1, PortKind::kSilent, {}});
    options.ports.push_back({3, PortKind::kModem, {}});
  }
  return ApplyFaults(faults, options.ports, error);
}

}  // namespace

std::optional<CommandLine> ParseCommandLine(int argc, const char* const* argv, std::string& error) {
  CommandLine commandLine;
  QStringList arguments;
  if (!SplitAtRun(argc, argv, arguments, commandLine.run, error)) return std::nullopt;
  QCommandLineParser parser;
  for (const OptionSpec& spec : kOptions)
    parser.addOption(QCommandLineOption(QString::fromLatin1(spec.names).split(','),
                                        QString::fromLatin1(spec.help),
                                        QString::fromLatin1(spec.valueName)));
  if (!parser.parse(arguments)) return Refuse(error, Bytes(parser.errorText()));
  if (!parser.positionalArguments().isEmpty())
    return Refuse(error, "unexpected argument '" + Bytes(parser.positionalArguments().first()) +
                             "' (a program goes after --run)");
  commandLine.help = parser.isSet(QStringLiteral("help"));
  commandLine.version = parser.isSet(QStringLiteral("version"));
  if (commandLine.help || commandLine.version) return commandLine;
  if (!ReadOptions(parser, commandLine, error)) return std::nullopt;
  // With --run standard output and standard error belong to the program: a JSON document piped
  // into another program must not be preceded by the simulator's lines or its whole dialogue.
  const bool quiet = !commandLine.run.empty() && !commandLine.verbose;
  if (commandLine.options.transcriptPath.empty() && !quiet)
    commandLine.options.transcriptPath = "-";
  commandLine.options.keepEvents = false;
  return commandLine;
}

std::string UsageText() {
  std::string text = kUsageHead;
  for (const OptionSpec& spec : kOptions) {
    if (spec.heading) text += *spec.heading ? std::string("\n") + spec.heading + "\n" : "\n";
    text += HelpEntry(OptionHead(spec), spec.help);
    for (const HelpRow& row : spec.rows)
      text += HelpEntry(std::string("    ") + row.name, row.text);
    if (*spec.after) text += HelpEntry("", spec.after);
  }
  return text + kUsageTail;
}

std::string VersionLine() { return std::string(kProgramName) + " " KALVEX_VERSION "\n"; }

}  // namespace sim
