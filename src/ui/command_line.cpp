#include "ui/command_line.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <algorithm>
#include <cstdio>
#include <iterator>

#include "diagnostics/exit_status.h"
#include "diagnostics/port_setup.h"
#include "diagnostics/program_run.h"
#include "resources/dialog_templates.h"
#include "resources/product.h"
#include "serial/visible_text.h"

namespace ui {
namespace {

struct OptionSpec {
  const char* names;      // comma-separated, as given to QCommandLineOption
  const char* valueName;  // empty: a switch
  const char* help;       // one entry of --help; empty: accepted but not listed
};

// One table for the parser and for --help, so the two cannot disagree.
constexpr OptionSpec kOptions[] = {
    {"h,help", "", "Show this help and exit."},
    {"V,version", "", "Show the version and the dialogs' version label, and exit."},
    {"report", "", "Run detection (and the tests of --tests) without a display and report."},
    {"tests", "LIST",
     "With --report: a comma list of basic (basic function and both loopbacks), speaker and "
     "line. Default: detection only."},
    {"json", "", "With --report or --list-ports: JSON on standard output instead of text."},
    {"answer-speaker", "yes|no",
     "With --report: the answer to the speaker test's question, instead of asking."},
    {"line-connected", "yes|no",
     "With --report: whether a telephone line is plugged in, instead of asking."},
    {"transcript", "FILE", "Write every line sent to and received from the ports to FILE."},
    {"port", "COMn=DEVICE", "Use DEVICE as COMn (COM1 to COM9) for this run; may be repeated."},
    {"list-ports", "", "List COM1 to COM9 and the serial devices, and whether each opens now."},
    {"probe", "",
     "With --list-ports: ask each device \"AT\" and, when it answers \"OK\", \"I3\"; changes "
     "nothing in a modem."},
    {"v,verbose", "",
     "With --report or --list-ports: also write the debug texts on standard error."},
    // Qt's own window options: Qt reads them from the arguments itself.
    {"platform", "NAME", ""},
    {"platformtheme", "NAME", ""},
    {"platformpluginpath", "PATH", ""},
    {"display", "NAME", ""},
    {"style", "NAME", ""},
    {"stylesheet", "FILE", ""},
    {"geometry", "GEOMETRY", ""},
    {"qwindowgeometry", "GEOMETRY", ""},
    {"qwindowtitle", "TITLE", ""},
    {"qwindowicon", "ICON", ""},
    {"reverse", "", ""},
};

constexpr char kHelpDisplay[] =
    "\n"
    "Without --report or --list-ports the tool opens its dialogs: an X or Wayland\n"
    "display is needed.\n"
    "\n";

// "\nPorts: COM3, COM4, ... and COM6 are tried in that order.\nCOMn is, first found:\n"
std::string PortsHelp() {
  std::string order;
  const std::size_t count = std::size(diagnostics::kPortProbeOrder);
  for (std::size_t i = 0; i < count; ++i) {
    order += i == 0 ? "" : i + 1 == count ? " and " : ", ";
    order += "COM" + std::to_string(diagnostics::kPortProbeOrder[i]);
  }
  return "\nPorts: " + order + " are tried in that order.\nCOMn is, first found:\n";
}

// The help after the port sources: where ati3.dat is looked for.
constexpr char kHelpDataFiles[] =
    "\n"
    "The identification list ati3.dat is looked for in the working directory, then\n"
    "in $XDG_CONFIG_HOME/kalvex-modem-diag/, then under kalvex-modem-diag/ in each\n"
    "directory of $XDG_DATA_DIRS.\n";

// The column of the option descriptions in --help, and the longest line: one character short
// of an 80-column terminal, which some terminals wrap at a line that fills it.
constexpr std::size_t kHelpColumn = 28;
constexpr std::size_t kHelpWidth = 79;

// text broken at blanks into lines of at most kHelpWidth, each after the first indented to
// kHelpColumn.
std::string WrapHelp(const std::string& text) {
  std::string wrapped;
  std::size_t lineLength = kHelpColumn;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find(' ', start);
    if (end == std::string::npos) end = text.size();
    const std::string word = text.substr(start, end - start);
    if (lineLength > kHelpColumn && lineLength + 1 + word.size() > kHelpWidth) {
      wrapped += "\n" + std::string(kHelpColumn, ' ');
      lineLength = kHelpColumn;
    } else if (lineLength > kHelpColumn) {
      wrapped += ' ';
      ++lineLength;
    }
    wrapped += word;
    lineLength += word.size();
    start = end + 1;
  }
  return wrapped;
}

// What the user typed, for the message that quotes it: a terminal must not act on it, and a
// byte that is not UTF-8 is shown as the byte it is.
QString Shown(const QString& text) {
  return QString::fromStdString(serial::VisibleText(ArgumentBytes(text)));
}

std::string UsageError(const QString& message) {
  return std::string(product::kProgramName) + ": " + message.toStdString() + " Try '" +
         product::kProgramName + " --help'.";
}

// "yes" or "no" (any letter case).
bool ReadAnswer(const QString& value, GivenAnswer* answer) {
  const QString v = value.trimmed().toLower();
  if (v == QLatin1String("yes"))
    *answer = GivenAnswer::kYes;
  else if (v == QLatin1String("no"))
    *answer = GivenAnswer::kNo;
  else
    return false;
  return true;
}

// The --tests groups, each once, in the order of the tests table: "basic, speaker, line".
QString TestGroups() {
  QStringList groups;
  for (const diagnostics::TestIdentity& test : diagnostics::kTests) {
    if (!groups.contains(QLatin1String(test.group))) groups << QLatin1String(test.group);
  }
  return groups.join(QLatin1String(", "));
}

std::string ReadTests(const QString& list, CommandLine& line) {
  for (const QString& raw : list.split(',')) {
    const QString name = raw.trimmed().toLower();
    const auto* end = std::end(diagnostics::kTests);
    if (std::find_if(std::begin(diagnostics::kTests), end, [&name](const auto& test) {
          return name == QLatin1String(test.group);
        }) == end)
      return UsageError(QStringLiteral("--tests: unknown test '%1' (%2).")
                            .arg(Shown(raw.left(40)), TestGroups()));
    line.testGroups.insert(name.toStdString());
  }
  return {};
}

// The grammar of ports.conf (diagnostics::ParsePortOption); on the command line a device may be a
// relative path, but not nothing.
std::string ReadPort(const QString& value, CommandLine& line) {
  diagnostics::PortOption mapping;
  std::string problem;
  if (!diagnostics::ParsePortOption(ArgumentBytes(value), &mapping, &problem)) {
    return UsageError(QStringLiteral("--port: %1.").arg(QString::fromStdString(problem)));
  }
  if (mapping.device.empty()) {
    return UsageError(QStringLiteral("--port: the device of COM%1 is empty.").arg(mapping.number));
  }
  for (const auto& [taken, path] : line.portMappings) {
    if (taken == mapping.number)
      return UsageError(QStringLiteral("--port: COM%1 is given twice.").arg(mapping.number));
  }
  line.portMappings.emplace_back(mapping.number, mapping.device);
  return {};
}

// Options that mean something only in one mode are refused elsewhere rather than ignored.
std::string CheckModeOptions(const QCommandLineParser& parser, const CommandLine& line) {
  if (line.mode == RunMode::kDialogs && parser.isSet(QStringLiteral("json")))
    return UsageError(QStringLiteral("--json needs --report or --list-ports."));
  if (line.mode != RunMode::kReport) {
    for (const char* name : {"tests", "answer-speaker", "line-connected"}) {
      if (parser.isSet(QLatin1String(name)))
        return UsageError(QStringLiteral("--%1 needs --report.").arg(QLatin1String(name)));
    }
  }
  if (line.mode != RunMode::kListPorts && line.probe)
    return UsageError(QStringLiteral("--probe needs --list-ports."));
  if (line.mode == RunMode::kDialogs && line.verbose)
    return UsageError(QStringLiteral("--verbose needs --report or --list-ports."));
  if (line.mode == RunMode::kListPorts && !line.transcriptPath.empty())
    return UsageError(QStringLiteral("--transcript does not go with --list-ports."));
  return {};
}

}  // namespace

QStringList ArgumentsFromBytes(int argc, const char* const* argv) {
  QStringList arguments;
  for (int i = 0; i < argc; ++i) arguments << QString::fromLatin1(argv[i] ? argv[i] : "");
  return arguments;
}

std::string ArgumentBytes(const QString& text) { return text.toLatin1().toStdString(); }

ParsedCommandLine ParseCommandLine(const QStringList& arguments) {
  QCommandLineParser parser;
  // Qt's window options are single-dash words (-platform offscreen).
  parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
  parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsOptions);
  for (const OptionSpec& spec : kOptions) {
    QCommandLineOption option(QString::fromLatin1(spec.names).split(','),
                              QString::fromUtf8(spec.help), QString::fromLatin1(spec.valueName));
    parser.addOption(option);
  }
  ParsedCommandLine result;
  CommandLine& line = result.line;
  if (!parser.parse(arguments)) {
    result.error = UsageError(Shown(parser.errorText()));
    return result;
  }
  if (!parser.positionalArguments().isEmpty()) {
    result.error = UsageError(QStringLiteral("unexpected argument '%1'.")
                                  .arg(Shown(parser.positionalArguments().first().left(80))));
    return result;
  }
  if (parser.isSet(QStringLiteral("help"))) {
    line.mode = RunMode::kHelp;
    return result;
  }
  if (parser.isSet(QStringLiteral("version"))) {
    line.mode = RunMode::kVersion;
    return result;
  }
  const bool report = parser.isSet(QStringLiteral("report"));
  const bool listPorts = parser.isSet(QStringLiteral("list-ports"));
  if (report && listPorts) {
    result.error = UsageError(QStringLiteral("--report and --list-ports do not go together."));
    return result;
  }
  line.mode = report ? RunMode::kReport : listPorts ? RunMode::kListPorts : RunMode::kDialogs;

  const QStringList transcripts = parser.values(QStringLiteral("transcript"));
  if (transcripts.size() > 1 || (transcripts.size() == 1 && transcripts.first().isEmpty())) {
    result.error = UsageError(QStringLiteral("--transcript takes one file name."));
    return result;
  }
  if (!transcripts.isEmpty()) line.transcriptPath = ArgumentBytes(transcripts.first());

  for (const QString& value : parser.values(QStringLiteral("port"))) {
    result.error = ReadPort(value, line);
    if (!result.error.empty()) return result;
  }
  for (const QString& value : parser.values(QStringLiteral("tests"))) {
    result.error = ReadTests(value, line);
    if (!result.error.empty()) return result;
  }
  line.json = parser.isSet(QStringLiteral("json"));
  line.verbose = parser.isSet(QStringLiteral("verbose"));
  line.probe = parser.isSet(QStringLiteral("probe"));
  struct {
    const char* name;
    GivenAnswer* answer;
  } answers[] = {{"answer-speaker", &line.answerSpeaker}, {"line-connected", &line.lineConnected}};
  for (const auto& a : answers) {
    const QStringList values = parser.values(QLatin1String(a.name));
    if (values.isEmpty()) continue;
    if (values.size() > 1 || !ReadAnswer(values.first(), a.answer)) {
      result.error = UsageError(QStringLiteral("--%1 takes yes or no, not '%2'.")
                                    .arg(QLatin1String(a.name), Shown(values.last().left(40))));
      return result;
    }
  }
  result.error = CheckModeOptions(parser, line);
  return result;
}

std::string HelpText() {
  // Broken by hand to keep within kHelpWidth.
  std::string text =
      "Usage: kalvex-modem-diag [--transcript FILE] [--port COMn=DEVICE]...\n"
      "       kalvex-modem-diag --report [--tests LIST] [--json] [-v]\n"
      "                         [--answer-speaker yes|no] [--line-connected yes|no]\n"
      "                         [--transcript FILE] [--port COMn=DEVICE]...\n"
      "       kalvex-modem-diag --list-ports [--probe] [--json] [-v]\n"
      "                         [--port COMn=DEVICE]...\n"
      "       kalvex-modem-diag --help | --version\n"
      "\n"
      "Finds the Kalvex internal modem on the serial ports and tests it.\n"
      "\n"
      "Options:\n";
  for (const OptionSpec& spec : kOptions) {
    if (!*spec.help) continue;
    std::string names;
    for (const QString& name : QString::fromLatin1(spec.names).split(','))
      names += (names.empty() ? "" : ", ") + std::string(name.size() == 1 ? "-" : "--") +
               name.toStdString();
    if (*spec.valueName) names += std::string(" ") + spec.valueName;
    char head[40];
    std::snprintf(head, sizeof head, "  %-*s", int(kHelpColumn - 2), names.c_str());
    text += head + WrapHelp(spec.help) + "\n";
  }
  text +=
      kHelpDisplay + diagnostics::ExitStatusHelp() + PortsHelp() + diagnostics::PortSourcesHelp();
  return text + kHelpDataFiles;
}

// The label the main dialog shows is another version text; a help desk hears either.
std::string VersionLine() {
  return std::string(product::kProgramName) + " " KALVEX_VERSION "\n" +
         "The dialogs' version label: " + resources::kVersionLabel + "\n";
}

}  // namespace ui
