// The command line: every mode, every value it reads, and every usage error, each of which must
// be one line that names the option and points to --help.

#include "ui/command_line.h"

#include <gtest/gtest.h>

#include <QStringList>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <regex>
#include <string>

namespace {

using ui::GivenAnswer;
using ui::ParseCommandLine;
using ui::ParsedCommandLine;
using ui::RunMode;

ParsedCommandLine Parse(std::initializer_list<const char*> args) {
  QStringList list{QStringLiteral("/usr/bin/kalvex-modem-diag")};
  for (const char* a : args) list << QString::fromUtf8(a);
  return ParseCommandLine(list);
}

void ExpectUsageError(std::initializer_list<const char*> args, const std::string& naming) {
  const ParsedCommandLine parsed = Parse(args);
  ASSERT_FALSE(parsed.error.empty()) << "accepted: " << naming;
  EXPECT_EQ(parsed.error.find('\n'), std::string::npos) << parsed.error;
  EXPECT_EQ(parsed.error.rfind("kalvex-modem-diag: ", 0), 0u) << parsed.error;
  EXPECT_NE(parsed.error.find(naming), std::string::npos) << parsed.error;
  EXPECT_NE(parsed.error.find("Try 'kalvex-modem-diag --help'."), std::string::npos);
}

TEST(CommandLine, NoArgumentsOpensTheDialogs) {
  const ParsedCommandLine parsed = Parse({});
  EXPECT_TRUE(parsed.error.empty());
  EXPECT_EQ(parsed.line.mode, RunMode::kDialogs);
  EXPECT_TRUE(parsed.line.transcriptPath.empty());
  EXPECT_TRUE(parsed.line.portMappings.empty());
}

TEST(CommandLine, DialogsTakeATranscriptAndPortMappings) {
  const ParsedCommandLine parsed =
      Parse({"--transcript", "/tmp/t.log", "--port", "com3=/dev/ttyACM0", "--port=COM9=/x y"});
  ASSERT_TRUE(parsed.error.empty()) << parsed.error;
  EXPECT_EQ(parsed.line.mode, RunMode::kDialogs);
  EXPECT_EQ(parsed.line.transcriptPath, "/tmp/t.log");
  ASSERT_EQ(parsed.line.portMappings.size(), 2u);
  EXPECT_EQ(parsed.line.portMappings[0].first, 3);
  EXPECT_EQ(parsed.line.portMappings[0].second, "/dev/ttyACM0");
  EXPECT_EQ(parsed.line.portMappings[1].first, 9);
  EXPECT_EQ(parsed.line.portMappings[1].second, "/x y");
}

TEST(CommandLine, ReportReadsTestsJsonAndAnswers) {
  const ParsedCommandLine parsed = Parse({"--report", "--tests", "line, BASIC", "--json",
                                          "--answer-speaker", "No", "--line-connected=yes"});
  ASSERT_TRUE(parsed.error.empty()) << parsed.error;
  EXPECT_EQ(parsed.line.mode, RunMode::kReport);
  EXPECT_EQ(parsed.line.testGroups, (std::set<std::string>{"basic", "line"}));
  EXPECT_TRUE(parsed.line.json);
  EXPECT_EQ(parsed.line.answerSpeaker, GivenAnswer::kNo);
  EXPECT_EQ(parsed.line.lineConnected, GivenAnswer::kYes);

  const ParsedCommandLine bare = Parse({"--report"});
  EXPECT_TRUE(bare.line.testGroups.empty());
  EXPECT_EQ(bare.line.answerSpeaker, GivenAnswer::kAsk);
}

TEST(CommandLine, HelpAndVersionWinOverEverythingElseThatParses) {
  EXPECT_EQ(Parse({"--report", "--help"}).line.mode, RunMode::kHelp);
  EXPECT_EQ(Parse({"-h"}).line.mode, RunMode::kHelp);
  EXPECT_EQ(Parse({"--list-ports", "--version"}).line.mode, RunMode::kVersion);
  EXPECT_EQ(Parse({"--list-ports", "--port", "COM2=/dev/ttyUSB0"}).line.mode, RunMode::kListPorts);
}

TEST(CommandLine, QtWindowOptionsAreLeftToQt) {
  const ParsedCommandLine parsed = Parse({"-platform", "offscreen", "-reverse"});
  EXPECT_TRUE(parsed.error.empty()) << parsed.error;
  EXPECT_EQ(parsed.line.mode, RunMode::kDialogs);
}

TEST(CommandLine, UnknownOptionsAndMissingValuesAreNamed) {
  ExpectUsageError({"--colour"}, "colour");
  ExpectUsageError({"-x"}, "'x'");
  ExpectUsageError({"--transcript"}, "--transcript");
  ExpectUsageError({"--json=1", "--report"}, "--json");
  ExpectUsageError({"extra"}, "unexpected argument 'extra'");
}

TEST(CommandLine, BadValuesAreNamed) {
  ExpectUsageError({"--port", "COM3"}, "--port: 'COM3'");
  ExpectUsageError({"--port", "COM0=/dev/ttyS0"}, "--port");
  ExpectUsageError({"--port", "COM10=/dev/ttyS0"}, "--port");
  ExpectUsageError({"--port", "LPT1=/dev/lp0"}, "--port");
  ExpectUsageError({"--port", "COM3="}, "--port");
  ExpectUsageError({"--port", "COM3=/a", "--port", "com3=/b"}, "COM3 is given twice");
  ExpectUsageError({"--report", "--tests", "basic,dial"}, "unknown test 'dial'");
  ExpectUsageError({"--report", "--tests", ""}, "--tests");
  ExpectUsageError({"--report", "--answer-speaker", "maybe"}, "--answer-speaker");
  ExpectUsageError({"--report", "--line-connected", "y"}, "--line-connected");
  ExpectUsageError({"--transcript", ""}, "--transcript");
  ExpectUsageError({"--transcript", "a", "--transcript", "b"}, "--transcript");
}

// A file name is bytes, UTF-8 or not: the file opened is the one named, and a message that
// quotes an argument shows a byte that is not UTF-8 as that byte.
TEST(CommandLine, FileNamesAreUsedByteForByte) {
  for (const std::string name : {"t\xff\xfe.log", "caf\xc3\xa9.log", "\xed\xa0\x80"}) {
    const std::string port = "COM3=/dev/" + name;
    const char* argv[] = {"kalvex-modem-diag", "--port", port.c_str(), "--transcript",
                          name.c_str()};
    const ParsedCommandLine parsed = ParseCommandLine(ui::ArgumentsFromBytes(5, argv));
    EXPECT_EQ(parsed.line.transcriptPath, name);
    ASSERT_EQ(parsed.line.portMappings.size(), 1u);
    EXPECT_EQ(parsed.line.portMappings[0].second, "/dev/" + name);
  }
  const char* argv[] = {"kalvex-modem-diag", "--report", "--tests", "b\xffsic"};
  EXPECT_NE(ParseCommandLine(ui::ArgumentsFromBytes(4, argv)).error.find("'b\\xFFsic'"),
            std::string::npos);
}

TEST(CommandLine, OptionsOfAnotherModeAreRefusedNotIgnored) {
  ExpectUsageError({"--json"}, "--json needs --report");
  ExpectUsageError({"--tests", "basic"}, "--tests needs --report");
  ExpectUsageError({"--answer-speaker", "yes"}, "--answer-speaker needs --report");
  ExpectUsageError({"--list-ports", "--line-connected", "no"}, "--line-connected needs --report");
  ExpectUsageError({"--report", "--list-ports"}, "--report and --list-ports");
  ExpectUsageError({"--list-ports", "--transcript", "t"}, "--transcript");
  ExpectUsageError({"--report", "--probe"}, "--probe needs --list-ports");
  ExpectUsageError({"-v"}, "--verbose needs --report or --list-ports");
  const ParsedCommandLine listing = Parse({"--list-ports", "--json", "--probe", "-v"});
  EXPECT_TRUE(listing.error.empty()) << listing.error;
  EXPECT_EQ(listing.line.mode, RunMode::kListPorts);
  EXPECT_TRUE(listing.line.json);
  EXPECT_TRUE(listing.line.probe);
  EXPECT_TRUE(listing.line.verbose);
}

TEST(CommandLine, HelpListsEveryOptionAndSearchPlace) {
  const std::string help = ui::HelpText();
  for (const char* text :
       {"--help", "--version", "--report", "--tests LIST", "--json", "--answer-speaker yes|no",
        "--line-connected yes|no", "--transcript FILE", "--port COMn=DEVICE", "--list-ports",
        "$KALVEX_COMn", "$XDG_CONFIG_HOME/kalvex-modem-diag/ports.conf", "$KALVEX_COM_DIR/COMn",
        "/dev/ttyS<n-1>", "working directory", "$XDG_CONFIG_HOME/kalvex-modem-diag/",
        "$XDG_DATA_DIRS"}) {
    EXPECT_NE(help.find(text), std::string::npos) << text;
  }
  // Qt's window options are accepted but are not this tool's to document.
  EXPECT_EQ(help.find("platform"), std::string::npos);
  // The precedence is written in the order it applies.
  EXPECT_LT(help.find("--port COMn=DEVICE\n"), help.find("$KALVEX_COMn"));
  EXPECT_LT(help.find("$KALVEX_COMn"), help.find("ports.conf (one"));
  EXPECT_LT(help.find("ports.conf (one"), help.find("$KALVEX_COM_DIR/COMn"));
  EXPECT_EQ(help.back(), '\n');
  // An 80-column terminal shows every line whole.
  std::size_t start = 0;
  for (std::size_t end; (end = help.find('\n', start)) != std::string::npos; start = end + 1)
    EXPECT_LE(end - start, 79u) << help.substr(start, end - start);
}

// The manual page, written by hand, has every status of the table that --help is made from.
TEST(CommandLine, ManualPageListsEveryExitStatus) {
  std::ifstream file(KALVEX_SOURCE_DIR "/docs/man/kalvex-modem-diag.1");
  const std::string page{std::istreambuf_iterator<char>(file), {}};
  const std::size_t start = page.find(".SH EXIT STATUS");
  ASSERT_NE(start, std::string::npos);
  const std::string section = page.substr(start, page.find("\n.SH ", start + 1) - start);
  for (const diagnostics::ExitStatus& row : diagnostics::kExitStatuses) {
    const std::regex entry("\n\\.BR? " + std::to_string(row.code) + "\\b");
    EXPECT_TRUE(std::regex_search(section, entry)) << row.code;
  }
}

// The program's version first, as scripts read it, then the label the main dialog shows.
TEST(CommandLine, VersionGivesTheProjectVersionAndTheDialogsLabel) {
  EXPECT_EQ(ui::VersionLine(), "kalvex-modem-diag " KALVEX_TEST_PROJECT_VERSION
                               "\nThe dialogs' version label: Version 2.3-Pyxa\n");
  EXPECT_EQ(Parse({"-V"}).line.mode, RunMode::kVersion);
}

}  // namespace
