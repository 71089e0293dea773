// The simulated modem driven in-process through real pseudo-terminals.

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <regex>
#include <set>
#include <thread>

#include "modem_sim.h"
#include "sim/pty_client.h"

namespace {

using simtest::Ms;
using simtest::PtyClient;
using simtest::SteadyClock;

const std::string kPattern = [] {
  std::string s;
  for (int i = 0; i < 78; ++i) s += static_cast<char>(0x30 + i);
  return s;
}();

class Sim : public ::testing::Test {
 protected:
  void SetUp() override {
    options.guardTimeMs = 300;
    options.dialTimeMs = 200;
  }
  void Begin(std::vector<sim::PortConfig> ports = {}) {
    options.ports = std::move(ports);
    std::string error;
    ASSERT_TRUE(modem.Start(options, &error)) << error;
  }
  void BeginModem(sim::Faults faults = {}) {
    Begin({{3, sim::PortKind::kModem, std::move(faults)}});
  }
  std::unique_ptr<PtyClient> Open(int n) {
    auto c = std::make_unique<PtyClient>(modem.Directory() + "/COM" + std::to_string(n));
    EXPECT_TRUE(c->Ok()) << "cannot open COM" << n;
    return c;
  }
  // Sends `command` and returns everything received up to and including `expected`, which
  // must arrive within 2 s; "" when it did not.
  static std::string Exchange(PtyClient& c, std::string_view command, std::string_view expected) {
    c.Take();
    c.Send(command);
    if (!c.WaitFor(expected, Ms(2000))) {
      ADD_FAILURE() << "no " << testing::PrintToString(std::string(expected)) << " after "
                    << testing::PrintToString(std::string(command)) << ", got "
                    << testing::PrintToString(c.Received());
      return "";
    }
    return c.Take();
  }

  sim::Options options;
  sim::ModemSim modem;
};

TEST_F(Sim, AnswersEachCommandInAnyCaseFramedAfterItsEcho) {
  BeginModem();
  auto c = Open(3);
  const std::string id(sim::kModemIdentification);
  const std::pair<std::string, std::string> cases[] = {
      {"at&fz\r\n", "at&fz\r\r\nOK\r\n"},
      {"AT\r\n", "AT\r\r\nOK\r\n"},
      {"aTi2\r\n", "aTi2\r\r\nOK\r\n"},
      {"atI3\r\n", "atI3\r\r\n" + id + "\r\n\r\nOK\r\n"},
      {"AtI5\r\n", "AtI5\r\r\n3.41.07,ZW,2005-11-08\r\n\r\nOK\r\n"},
      {"atI9\r\n", "atI9\r\r\nUnited Kingdom\r\n\r\nOK\r\n"},
      {"at%T20,0,1\r\n", "at%T20,0,1\r\r\n25\r\n\r\nOK\r\n"},
      {"at+FCLASS?\r\n", "at+FCLASS?\r\r\n0\r\n\r\nOK\r\n"},
      {"atL3\r\n", "atL3\r\r\nOK\r\n"},
      {"atM2\r\n", "atM2\r\r\nOK\r\n"},
      {"atH1\r\n", "atH1\r\r\nOK\r\n"},
      {"at%T24\r\n", "at%T24\r\r\nOK\r\n"},
      {"atH\r\n", "atH\r\r\nOK\r\n"},
      {"atH0\r\n", "atH0\r\r\nOK\r\n"},
      {"atX4\r\n", "atX4\r\r\nOK\r\n"},
      {"atS7=1\r\n", "atS7=1\r\r\nOK\r\n"},
      {"atS7?\r\n", "atS7?\r\r\n001\r\n\r\nOK\r\n"},
      {"at&T0\r\n", "at&T0\r\r\nOK\r\n"},
      {"atZ\r\n", "atZ\r\r\nOK\r\n"},
      {"at&F\r\n", "at&F\r\r\nOK\r\n"},
      {"atL3M2X4\r", "atL3M2X4\r\r\nOK\r\n"},
      // refused: unknown commands, values out of range, an empty register value
      {"atQ9\r\n", "atQ9\r\r\nERROR\r\n"},
      {"atI10\r\n", "atI10\r\r\nERROR\r\n"},
      {"atE2\r\n", "atE2\r\r\nERROR\r\n"},
      {"at&T9\r\n", "at&T9\r\r\nERROR\r\n"},
      {"at%T99\r\n", "at%T99\r\r\nERROR\r\n"},
      {"at%T21,18,\r\n", "at%T21,18,\r\r\nERROR\r\n"},
      {"at%T21,18,100\r\n", "at%T21,18,100\r\r\nERROR\r\n"},
      {"at%T22,G1\r\n", "at%T22,G1\r\r\nERROR\r\n"},
      {"atS300=1\r\n", "atS300=1\r\r\nERROR\r\n"},
      {"at+FCLASS=9\r\n", "at+FCLASS=9\r\r\nERROR\r\n"},
  };
  for (const auto& [command, expected] : cases) {
    c->Take();
    c->Send(command);
    EXPECT_TRUE(c->WaitFor(expected, Ms(2000))) << testing::PrintToString(command);
    c->Collect(Ms(20));
    EXPECT_EQ(c->Received(), expected);
  }
}

TEST_F(Sim, EchoAndWholeAnswerArriveInOneRead) {
  BeginModem();  // pacing on: one delayed write per command
  auto c = Open(3);
  for (const char* command : {"atI3\r\n", "at%T22,2A\r\n", "atI5\r\n"}) {
    Exchange(*c, command, "OK\r\n");
    c->Send(command);
    ASSERT_TRUE(c->WaitFor("OK\r\n", Ms(2000)));
    EXPECT_EQ(c->Chunks().size(), 1u) << command;
  }
}

TEST_F(Sim, EchoCanBeSwitchedOffAndOnAgain) {
  BeginModem();
  auto c = Open(3);
  EXPECT_EQ(Exchange(*c, "ATE0\r\n", "OK\r\n"), "ATE0\r\r\nOK\r\n");  // echoed as typed
  EXPECT_EQ(Exchange(*c, "atI9\r\n", "OK\r\n"), "\r\nUnited Kingdom\r\n\r\nOK\r\n");
  EXPECT_EQ(Exchange(*c, "atE1\r\n", "OK\r\n"), "\r\nOK\r\n");
  EXPECT_EQ(Exchange(*c, "at\r\n", "OK\r\n"), "at\r\r\nOK\r\n");
  Exchange(*c, "ate0\r\n", "OK\r\n");
  EXPECT_EQ(Exchange(*c, "at&fz\r\n", "OK\r\n"), "\r\nOK\r\n");
  EXPECT_TRUE(modem.State(3)->echo) << "&F brings echo back";
}

TEST_F(Sim, RegistersStartDistinctAndReadBackWhatWasWritten) {
  BeginModem();
  auto c = Open(3);
  std::set<std::string> initial;
  for (const char* reg : {"18", "29", "2A", "20"}) {
    std::string answer = Exchange(*c, std::string("at%T22,") + reg + "\r\n", "OK\r\n");
    std::smatch m;
    ASSERT_TRUE(std::regex_search(answer, m, std::regex("\r\n([0-9A-F]{2})\r\n"))) << answer;
    EXPECT_NE(m[1], "00") << reg;
    initial.insert(m[1]);
  }
  EXPECT_EQ(initial.size(), 4u) << "power-on values must differ so that a restore shows";

  Exchange(*c, "at%T21,18,0\r\n", "OK\r\n");
  Exchange(*c, "at%t21,2a,41\r\n", "OK\r\n");
  Exchange(*c, "at&fz\r\n", "OK\r\n");  // the vendor registers survive the reset
  EXPECT_NE(Exchange(*c, "at%T22,18\r\n", "OK\r\n").find("\r\n00\r\n"), std::string::npos);
  EXPECT_NE(Exchange(*c, "at%T22,2A\r\n", "OK\r\n").find("\r\n41\r\n"), std::string::npos);
  auto state = modem.State(3);
  EXPECT_EQ(state->reg18, 0x00);
  EXPECT_EQ(state->reg2A, 0x41);
  EXPECT_TRUE(modem.WaitForEvent("COM3", "state", "reg2A=41", Ms(0)));
}

TEST_F(Sim, CountrySelectionChangesReportAndCodeAndRefusesUnknownCodes) {
  BeginModem();
  auto c = Open(3);
  EXPECT_NE(Exchange(*c, "at%T20,0,1\r\n", "OK\r\n").find("\r\n25\r\n"), std::string::npos);
  Exchange(*c, "at%T19,0,1\r\n", "OK\r\n");
  EXPECT_NE(Exchange(*c, "atI9\r\n", "OK\r\n").find("\r\nAustralia\r\n"), std::string::npos);
  EXPECT_NE(Exchange(*c, "at%T20,0,1\r\n", "OK\r\n").find("\r\n01\r\n"), std::string::npos);
  Exchange(*c, "at%T19,0,19\r\n", "OK\r\n");
  EXPECT_NE(Exchange(*c, "atI9\r\n", "OK\r\n").find("\r\nNorth America\r\n"), std::string::npos);
  Exchange(*c, "at%T19,0,2\r\n", "ERROR\r\n");
  Exchange(*c, "at%T19,0,\r\n", "ERROR\r\n");
  Exchange(*c, "at%T19,0,OK\r\n", "ERROR\r\n");
  EXPECT_EQ(modem.State(3)->countryName, "North America");
  Exchange(*c, "at%T19,0,25\r\n", "OK\r\n");  // the code read at the start, written back
  EXPECT_NE(Exchange(*c, "atI9\r\n", "OK\r\n").find("United Kingdom"), std::string::npos);
  Exchange(*c, "at%T19,0,01\r\n", "OK\r\n");  // a two-character code
  EXPECT_EQ(modem.State(3)->countryCode, 1);
}

TEST_F(Sim, BuzzStartsWithT24AndEndsWithHangUp) {
  BeginModem();
  auto c = Open(3);
  Exchange(*c, "atH1\r\n", "OK\r\n");
  Exchange(*c, "at%T24\r\n", "OK\r\n");
  EXPECT_TRUE(modem.State(3)->buzz);
  EXPECT_TRUE(modem.State(3)->offHook);
  Exchange(*c, "atH\r\n", "OK\r\n");
  EXPECT_FALSE(modem.State(3)->buzz);
  EXPECT_FALSE(modem.State(3)->offHook);
  auto on = modem.WaitForEvent("COM3", "state", "buzz=on", Ms(0));
  ASSERT_TRUE(on);
  EXPECT_TRUE(modem.WaitForEvent("COM3", "state", "buzz=off", Ms(0), *on));
}

TEST_F(Sim, DialAnswersAfterTheDialTimeAndAnyKeyAbortsIt) {
  sim::Faults noLine;
  noLine.noLine = true;
  options.dialTimeMs = 400;
  Begin({{3, sim::PortKind::kModem, {}}, {4, sim::PortKind::kModem, noLine}});
  auto c = Open(3);
  auto start = SteadyClock::now();
  c->Send("atDT1\r\n");
  ASSERT_TRUE(c->WaitFor("\r\nNO CARRIER\r\n", Ms(3000)));
  EXPECT_GE(SteadyClock::now() - start, Ms(400));
  EXPECT_EQ(c->Take(), "atDT1\r\r\nNO CARRIER\r\n");

  auto d = Open(4);
  EXPECT_EQ(Exchange(*d, "atdt1\r\n", "NO DIALTONE\r\n"), "atdt1\r\r\nNO DIALTONE\r\n");

  c->Send("atdt123\r\n");
  ASSERT_TRUE(modem.WaitForEvent("COM3", "state", "mode=dialling", Ms(2000)));
  EXPECT_EQ(Exchange(*c, "x", "NO CARRIER\r\n"), "atdt123\r\r\nNO CARRIER\r\n");
  EXPECT_EQ(Exchange(*c, "at\r", "OK\r\n"), "at\r\r\nOK\r\n");
}

TEST_F(Sim, LoopbackEchoesThePatternAndEscapesOnlyWithGuardTime) {
  BeginModem();  // guard time 300 ms
  auto c = Open(3);
  for (const char* start : {"at&T3\r\n", "at&T1\r\n"}) {
    EXPECT_EQ(Exchange(*c, start, "CONNECT\r\n"), std::string(start, 5) + "\r\r\nCONNECT\r\n");
    EXPECT_TRUE(modem.State(3)->dataMode);
    for (int i = 0; i < 2; ++i)
      EXPECT_EQ(Exchange(*c, kPattern + "\r\n", kPattern + "\r\n"), kPattern + "\r\n");
    // No silence before it (same write as the data): "+++" is data.
    EXPECT_EQ(Exchange(*c, kPattern + "\r\n+++", kPattern + "\r\n+++"), kPattern + "\r\n+++");
    c->Collect(Ms(700));
    EXPECT_EQ(c->Received(), "");
    // Silence before, then data within the guard time after: still data.
    EXPECT_EQ(Exchange(*c, "aaa\r\n", "aaa\r\n"), "aaa\r\n");
    c->Collect(Ms(350));
    c->Send("+++");
    c->Send("at\r\n");
    c->Collect(Ms(700));
    EXPECT_EQ(c->Take(), "+++at\r\n");
    EXPECT_TRUE(modem.State(3)->dataMode);
    // Silence before and after.
    c->Collect(Ms(350));
    auto sent = SteadyClock::now();
    c->Send("+++");
    ASSERT_TRUE(c->WaitFor("\r\nOK\r\n", Ms(2000)));
    EXPECT_GE(SteadyClock::now() - sent, Ms(300));
    EXPECT_EQ(c->Take(), "+++\r\nOK\r\n");
    EXPECT_FALSE(modem.State(3)->dataMode);
    EXPECT_EQ(Exchange(*c, "at&T0\r\n", "OK\r\n"), "at&T0\r\r\nOK\r\n");
  }
}

// The tool pauses exactly 1000 ms before "+++" (after "aaa" CR LF on its second try); the
// default guard time must accept that despite scheduling jitter.
TEST_F(Sim, DefaultGuardTimeAcceptsTheToolsOneSecondPauseAndFirstEscapeCanBeIgnored) {
  options.guardTimeMs = 1000;
  sim::Faults f;
  f.ignoreFirstEscape = true;
  BeginModem(f);
  auto c = Open(3);
  Exchange(*c, "at&T3\r\n", "CONNECT\r\n");
  Exchange(*c, kPattern + "\r\n", kPattern + "\r\n");
  std::this_thread::sleep_for(Ms(1000));  // the tool's pause, not a wait for an event
  c->Send("+++");
  c->Collect(Ms(1500));
  EXPECT_EQ(c->Take(), "+++") << "the first escape must be ignored";
  EXPECT_TRUE(modem.WaitForEvent("COM3", "fault", "ignore-first-escape", Ms(0)));
  c->Send("aaa\r\n");
  std::this_thread::sleep_for(Ms(1000));  // the guard time before the escape, not a wait
  c->Send("+++");
  ASSERT_TRUE(c->WaitFor("\r\nOK\r\n", Ms(3000)));
  EXPECT_EQ(c->Take(), "aaa\r\n+++\r\nOK\r\n");
}

TEST_F(Sim, PacingDelaysEachWriteAsA19200BaudLine) {
  BeginModem();
  auto c = Open(3);
  Exchange(*c, "at&T3\r\n", "CONNECT\r\n");
  auto start = SteadyClock::now();
  Exchange(*c, kPattern + "\r\n", kPattern + "\r\n");
  // 80 bytes of ten bits each at 19200 baud
  EXPECT_GE(SteadyClock::now() - start, std::chrono::microseconds(80 * 520));
}

TEST_F(Sim, PurgeByTheClientEndsALoopbackAsADtrDropWould) {
  BeginModem();
  auto c = Open(3);
  Exchange(*c, "at&T1\r\n", "CONNECT\r\n");
  ASSERT_EQ(::tcflush(c->Fd(), TCIOFLUSH), 0);
  ASSERT_TRUE(modem.WaitForEvent("COM3", "purge", "", Ms(2000)));
  EXPECT_EQ(Exchange(*c, "at\r\n", "OK\r\n"), "at\r\r\nOK\r\n");
  EXPECT_FALSE(modem.State(3)->dataMode);
}

TEST_F(Sim, SilentPortDrainsEverythingAndNeverAnswers) {
  Begin();  // the default set-up: COM1 silent, COM3 modem
  auto c = Open(1);
  std::string lots(200 * 1024, 'x');
  lots += "\r\nat\r\n";
  EXPECT_TRUE(c->Send(lots)) << "the writer must never block for long";
  EXPECT_TRUE(modem.WaitForEvent("COM1", "rx", "at", Ms(2000)));
  c->Collect(Ms(200));
  EXPECT_EQ(c->Received(), "");
  auto m = Open(3);
  Exchange(*m, "at\r\n", "OK\r\n");
}

TEST_F(Sim, EchoPortSendsEveryByteBack) {
  Begin({{2, sim::PortKind::kEcho, {}}});
  auto c = Open(2);
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  EXPECT_EQ(Exchange(*c, all, all.substr(200)), all);
  EXPECT_EQ(Exchange(*c, "atI3\r\n", "atI3\r\n"), "atI3\r\n");
}

TEST_F(Sim, OnlyTheModemsIdentificationIsInTheShippedList) {
  Begin({{3, sim::PortKind::kModem, {}}, {4, sim::PortKind::kForeign, {}}});
  std::ifstream in(KALVEX_SOURCE_DIR "/data/ati3.dat");
  ASSERT_TRUE(in);
  std::vector<std::string> list;
  for (std::string line; std::getline(in, line);) list.push_back(line);
  ASSERT_GE(list.size(), 3u);
  auto listed = [&](const std::string& answer) {
    for (const std::string& entry : list)
      if (!entry.empty() && answer.find(entry) != std::string::npos) return true;
    return false;
  };
  auto modemPort = Open(3);
  auto foreignPort = Open(4);
  EXPECT_TRUE(listed(Exchange(*modemPort, "atI3\r\n", "OK\r\n")));
  EXPECT_FALSE(listed(Exchange(*foreignPort, "atI3\r\n", "OK\r\n")));
  EXPECT_NE(std::find(list.begin(), list.end(), std::string(sim::kModemIdentification)),
            list.end());
  // otherwise the foreign modem answers like a modem
  Exchange(*foreignPort, "at%T21,18,0\r\n", "OK\r\n");
}

}  // namespace
