// Fault injection, bad input, the transcript and the in-process API of the simulated modem.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <random>
#include <regex>
#include <thread>

#include "modem_sim.h"
#include "sim/pty_client.h"
#include "support/temp_dir.h"

namespace {

using simtest::Ms;
using simtest::PtyClient;
using simtest::SteadyClock;

bool Exists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

using testsupport::TempDir;

class SimWith : public ::testing::Test {
 protected:
  void Begin(sim::Faults faults, sim::PortKind kind = sim::PortKind::kModem) {
    options.guardTimeMs = 200;
    options.dialTimeMs = 100;
    options.ports = {{3, kind, std::move(faults)}};
    std::string error;
    ASSERT_TRUE(modem.Start(options, &error)) << error;
    port = std::make_unique<PtyClient>(modem.Directory() + "/COM3");
    ASSERT_TRUE(port->Ok());
  }
  std::string Exchange(std::string_view command, std::string_view expected) {
    port->Take();
    port->Send(command);
    EXPECT_TRUE(port->WaitFor(expected, Ms(2000)))
        << testing::PrintToString(std::string(command)) << " got "
        << testing::PrintToString(port->Received());
    return port->Take();
  }

  sim::Options options;
  sim::ModemSim modem;
  std::unique_ptr<PtyClient> port;
};

TEST_F(SimWith, MuteNeverAnswersTheNamedCommandButOthers) {
  sim::Faults f;
  f.muteCommands = {"I2", "%t24"};
  Begin(f);
  for (const char* muted : {"atI2\r\n", "AT%T24\r\n"}) {
    std::string echo(muted, std::string(muted).size() - 1);
    port->Take();
    port->Send(muted);
    EXPECT_TRUE(port->WaitFor(echo, Ms(2000)));
    port->Collect(Ms(300));
    EXPECT_EQ(port->Received(), echo) << "echo only";
  }
  EXPECT_FALSE(modem.State(3)->buzz);
  Exchange("atI3\r\n", "OK\r\n");
  EXPECT_TRUE(modem.WaitForEvent("COM3", "fault", "mute I2", Ms(0)));
}

TEST_F(SimWith, LateEscapeAnswersOkOnlyAfterItsDelay) {
  sim::Faults f;
  f.lateEscapeMs = 400;
  Begin(f);
  Exchange("at&T3\r\n", "CONNECT\r\n");
  std::this_thread::sleep_for(Ms(250));  // the guard time before "+++", not a wait for an event
  port->Send("+++");
  auto sent = SteadyClock::now();
  ASSERT_TRUE(port->WaitFor("\r\nOK\r\n", Ms(3000)));
  EXPECT_GE(SteadyClock::now() - sent, Ms(200 + 400)) << "guard time, then the delay";
  EXPECT_FALSE(modem.State(3)->dataMode);
  EXPECT_TRUE(modem.WaitForEvent("COM3", "fault", "late-escape: OK in 400 ms", Ms(0)));
}

TEST_F(SimWith, DropEchoLosesOnlyTheKthLoopbackLine) {
  sim::Faults f;
  f.dropEchoLine = 2;
  Begin(f);
  Exchange("at&T3\r\n", "CONNECT\r\n");
  EXPECT_EQ(Exchange("one\r\n", "one\r\n"), "one\r\n");
  port->Send("two\r\n");
  port->Collect(Ms(200));
  EXPECT_EQ(port->Take(), "");
  EXPECT_EQ(Exchange("three\r\n", "three\r\n"), "three\r\n");
  EXPECT_TRUE(modem.WaitForEvent("COM3", "fault", "drop-echo line 2", Ms(0)));
}

TEST_F(SimWith, NoConnectRefusesLoopbackAndStaysInCommandMode) {
  sim::Faults f;
  f.noConnect = true;
  Begin(f);
  EXPECT_EQ(Exchange("at&T3\r\n", "ERROR\r\n"), "at&T3\r\r\nERROR\r\n");
  EXPECT_EQ(Exchange("at\r\n", "OK\r\n"), "at\r\r\nOK\r\n");
}

TEST_F(SimWith, WrongCountryReportsAnotherName) {
  sim::Faults f;
  f.wrongCountry = true;
  Begin(f);
  Exchange("at%T19,0,1\r\n", "OK\r\n");
  std::string report = Exchange("atI9\r\n", "OK\r\n");
  EXPECT_EQ(report.find("Australia"), std::string::npos) << report;
  EXPECT_TRUE(std::regex_search(report, std::regex("\r\n[A-Z][a-z]+( [A-Z][a-z]+)?\r\n")))
      << report;
  EXPECT_EQ(modem.State(3)->countryName, "Australia");
}

TEST_F(SimWith, SplitOutputParksCrAndLfInDifferentReads) {
  sim::Faults f;
  f.splitOutput = true;
  options.pacing = false;
  Begin(f);
  // The kernel hands a pseudo-terminal's bytes over on a work queue, so on a badly overloaded
  // machine two pieces can still reach the reader together; hence counts, not "every read".
  // Unsplit output would give 5 reads and, cut at random without care, about 12 joined pairs.
  std::size_t reads = 0, joinedPairs = 0;
  for (int i = 0; i < 5; ++i) {
    port->Send("atI3\r\n");
    ASSERT_TRUE(port->WaitFor("OK\r\n", Ms(3000)));
    EXPECT_EQ(port->Received(),
              "atI3\r\r\n" + std::string(sim::kModemIdentification) + "\r\n\r\nOK\r\n");
    reads += port->Chunks().size();
    for (const std::string& chunk : port->Chunks())
      if (chunk.find("\r\n") != std::string::npos) ++joinedPairs;
    port->Take();
  }
  EXPECT_GE(reads, 40u);
  EXPECT_LE(joinedPairs, 4u) << "of 20 CR LF pairs";
  EXPECT_TRUE(modem.WaitForEvent("COM3", "fault", "split into", Ms(0)));
}

TEST_F(SimWith, LowerCaseResultsLeaveInformationAlone) {
  sim::Faults f;
  f.lowerCaseResults = true;
  Begin(f);
  EXPECT_EQ(Exchange("atI9\r\n", "ok\r\n"), "atI9\r\r\nUnited Kingdom\r\n\r\nok\r\n");
  EXPECT_EQ(Exchange("atQ9\r\n", "error\r\n"), "atQ9\r\r\nerror\r\n");
  EXPECT_EQ(Exchange("at&T3\r\n", "connect\r\n"), "at&T3\r\r\nconnect\r\n");
}

TEST_F(SimWith, NoiseLineFollowsEachAnswer) {
  sim::Faults f;
  f.noise = true;
  Begin(f);
  for (int i = 0; i < 3; ++i) {
    port->Send("atI2\r\n");
    ASSERT_TRUE(port->WaitFor("OK\r\n", Ms(2000)));
    ASSERT_TRUE(port->WaitForCount("\r\n", 4, Ms(2000))) << port->Received();
    port->Collect(Ms(20));
    std::smatch m;
    std::string got = port->Take();
    ASSERT_TRUE(std::regex_match(got, m, std::regex("atI2\r\r\nOK\r\n\r\n([^\r\n]+)\r\n"))) << got;
    EXPECT_TRUE(std::regex_match(m[1].str(), std::regex("[^A-Za-z0-9]{6,20}"))) << m[1];
  }
}

TEST_F(SimWith, HangUpFaultClosesTheTerminalAndRestoreBringsItBack) {
  sim::Faults f;
  f.hangUpAfterMs = 300;
  Begin(f);
  Exchange("at%T21,18,0\r\n", "OK\r\n");
  const std::string link = modem.Directory() + "/COM3";
  ASSERT_TRUE(modem.WaitForEvent("COM3", "state", "line=down", Ms(3000)));
  port->Collect(Ms(100));
  EXPECT_TRUE(port->HungUp()) << "the client must see the line go";
  EXPECT_FALSE(Exists(link));
  EXPECT_FALSE(modem.State(3)->up);
  EXPECT_FALSE(modem.HangUp(3));

  ASSERT_TRUE(modem.Restore(3));
  EXPECT_FALSE(modem.Restore(3));
  EXPECT_TRUE(Exists(link));
  port = std::make_unique<PtyClient>(link);
  ASSERT_TRUE(port->Ok());
  // a freshly powered modem
  EXPECT_NE(Exchange("at%T22,18\r\n", "OK\r\n").find("\r\n5A\r\n"), std::string::npos);

  ASSERT_TRUE(modem.HangUp(3));
  EXPECT_FALSE(Exists(link));
  port->Collect(Ms(100));
  EXPECT_TRUE(port->HungUp());
}

TEST_F(SimWith, OverlongCommandLineIsAnErrorAndTheModemCarriesOn) {
  options.pacing = false;
  Begin({});
  std::string huge = "at" + std::string(20000, 'Q') + "\r\n";
  port->Send(huge);
  ASSERT_TRUE(port->WaitFor("\r\nERROR\r\n", Ms(3000)));
  EXPECT_EQ(port->Take().size(), huge.size() - 1 + 9) << "the whole line is echoed";
  EXPECT_EQ(Exchange("at\r\n", "OK\r\n"), "at\r\r\nOK\r\n");
  EXPECT_TRUE(modem.WaitForEvent("COM3", "note", "too long", Ms(0)));
}

TEST_F(SimWith, BinaryJunkIsIgnoredUntilTheNextCommand) {
  options.pacing = false;
  Begin({});
  std::mt19937 rng(7);
  std::string junk;
  for (int i = 0; i < 5000; ++i) {
    char b = static_cast<char>(std::uniform_int_distribution<int>(0, 255)(rng));
    if (b == 'a' || b == 'A') b = '\r';  // no accidental commands
    junk += b;
  }
  port->Send(junk);
  port->Send("\rat\r");
  ASSERT_TRUE(port->WaitFor("at\r\r\nOK\r\n", Ms(3000)));
  EXPECT_EQ(port->Received().find("ERROR"), std::string::npos);
}

// The kernel may report a purge after data written after it; the modem must still answer a
// command sent right after the opening purge, however the opens and purges before it went.
TEST_F(SimWith, RepeatedOpenAndCloseLeavesThePortWorking) {
  Begin({});
  port.reset();
  const std::string link = modem.Directory() + "/COM3";
  for (int round = 0; round < 20; ++round) {
    for (int i = 0; i < 10; ++i) {
      PtyClient c(link);
      ASSERT_TRUE(c.Ok()) << "open " << i;
      if (i % 2) ::tcflush(c.Fd(), TCIOFLUSH);  // as the tool does at open and close
      if (i % 3 == 0) c.Send("at\r\n");
    }
    port = std::make_unique<PtyClient>(link);
    ::tcflush(port->Fd(), TCIOFLUSH);
    // An answer to the last clients' "at" may still be on its way, as from a real modem.
    Exchange("atI9\r\n", "atI9\r\r\nUnited Kingdom\r\n\r\nOK\r\n");
    if (HasFailure()) {
      std::string transcript;
      for (const sim::Event& e : modem.Events()) transcript += e.Line() + "\n";
      FAIL() << "round " << round << ", the modem's transcript:\n" << transcript;
    }
  }
  EXPECT_TRUE(modem.State(3)->up);
}

TEST_F(SimWith, ClientThatNeverReadsLosesOutputButStallsNothing) {
  options.pacing = false;
  options.ports = {{2, sim::PortKind::kEcho, {}}, {3, sim::PortKind::kModem, {}}};
  ASSERT_TRUE(modem.Start(options));
  PtyClient hog(modem.Directory() + "/COM2");
  ASSERT_TRUE(hog.Ok());
  std::string block(4096, 'z');
  for (int i = 0; i < 100; ++i) ASSERT_TRUE(hog.Send(block)) << "block " << i;
  port = std::make_unique<PtyClient>(modem.Directory() + "/COM3");
  auto start = SteadyClock::now();
  EXPECT_EQ(Exchange("at\r\n", "OK\r\n"), "at\r\r\nOK\r\n");
  EXPECT_LT(SteadyClock::now() - start, Ms(1000));
  start = SteadyClock::now();
  modem.Stop();
  EXPECT_LT(SteadyClock::now() - start, Ms(2000));
  // The run of drops is recorded when it ends, here at stop.
  EXPECT_TRUE(modem.WaitForEvent("COM2", "drop", "not reading", Ms(0)));
}

// Numbers in a drop event's text: "<bytes> bytes in <writes> writes: ...".
struct DropCounts {
  long long bytes = -1;
  long long writes = -1;
};

DropCounts CountsOf(const sim::Event& e) {
  DropCounts c;
  if (std::sscanf(e.text.c_str(), "%lld bytes in %lld write", &c.bytes, &c.writes) != 2) return {};
  return c;
}

TEST(SimTranscript, DropsForAClientThatNeverReadsAreOneEventPerRun) {
  TempDir temp("simtest");
  ASSERT_TRUE(temp.Valid());
  const std::string dir = temp.Path();
  sim::Options options;
  options.pacing = false;
  options.transcriptPath = dir + "/transcript.txt";
  options.ports = {{2, sim::PortKind::kEcho, {}}};
  sim::ModemSim modem;
  ASSERT_TRUE(modem.Start(options));
  PtyClient hog(modem.Directory() + "/COM2");
  ASSERT_TRUE(hog.Ok());
  // 1 MiB without a line end: the echo port writes it all back and records nothing else.
  const std::string block(4096, 'z');
  constexpr long long kSent = 256 * 4096;
  for (int i = 0; i < 256; ++i) ASSERT_TRUE(hog.Send(block)) << "block " << i;
  // A line end is an event of the port: the run of drops before it is recorded first.
  ASSERT_TRUE(hog.Send("\r"));
  const auto lineEnd = modem.WaitForEvent("COM2", "data-rx", "", Ms(3000));
  ASSERT_TRUE(lineEnd);
  modem.Stop();

  std::vector<sim::Event> drops;
  std::size_t dropsBeforeLineEnd = 0;
  const std::vector<sim::Event> events = modem.Events();
  for (std::size_t i = 0; i < events.size(); ++i) {
    if (events[i].kind != "drop") continue;
    drops.push_back(events[i]);
    if (i < *lineEnd) ++dropsBeforeLineEnd;
  }
  // One for the megabyte, and at most one more for the echo of the chunk with the line end.
  EXPECT_EQ(dropsBeforeLineEnd, 1u);
  EXPECT_LE(drops.size(), 2u);
  ASSERT_FALSE(drops.empty());
  const DropCounts first = CountsOf(drops[0]);
  // Only what fits in the port's queue and the terminal's buffers escapes being dropped.
  EXPECT_GT(first.bytes, kSent - 512 * 1024) << drops[0].text;
  EXPECT_LE(first.bytes, kSent);
  EXPECT_GE(first.writes, first.bytes / 4096) << drops[0].text;
  EXPECT_NE(drops[0].text.find("the client is not reading"), std::string::npos);

  std::ifstream in(options.transcriptPath);
  std::size_t lines = 0;
  for (std::string line; std::getline(in, line);) ++lines;
  EXPECT_EQ(lines, events.size());
  EXPECT_LT(lines, 20u);
}

TEST(SimTranscript, FileHasOneParsableEventPerLineInOrderAndTheFinalState) {
  TempDir temp("simtest");
  ASSERT_TRUE(temp.Valid());
  const std::string dir = temp.Path();
  sim::Options options;
  options.transcriptPath = dir + "/transcript.txt";
  options.ports = {{3, sim::PortKind::kModem, {}}};
  std::vector<sim::Event> events;
  {
    sim::ModemSim modem;
    ASSERT_TRUE(modem.Start(options));
    PtyClient c(modem.Directory() + "/COM3");
    for (const char* command : {"at%T21,18,0\r\n", "at%T19,0,1\r\n", "atE0\r\n", "at%T24\r\n"}) {
      c.Send(command);
      ASSERT_TRUE(c.WaitFor("OK\r\n", Ms(2000)));
      c.Take();
    }
    c.Send("a\x01\\\r\n");
    ASSERT_TRUE(modem.WaitForEvent("COM3", "rx", "a\x01", Ms(2000)));
    modem.Stop();
    events = modem.Events();
  }
  std::ifstream in(options.transcriptPath);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  ASSERT_EQ(lines.size(), events.size());
  const std::regex format(R"(\d{6,} (SIM|COM[1-9]) [a-z-]+( [\x20-\x7E]*)?)");
  long long last = 0;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    EXPECT_TRUE(std::regex_match(lines[i], format)) << lines[i];
    EXPECT_EQ(lines[i], events[i].Line());
    EXPECT_GE(events[i].ms, last);
    last = events[i].ms;
  }
  auto index = [&](const std::string& text) {
    for (std::size_t i = 0; i < lines.size(); ++i)
      if (lines[i].find(text) != std::string::npos) return static_cast<long>(i);
    ADD_FAILURE() << "no line with " << text;
    return -1L;
  };
  EXPECT_LT(index("COM3 rx at%T21,18,0"), index("COM3 state reg18=00"));
  EXPECT_LT(index("COM3 state reg18=00"), index("COM3 rx at%T19,0,1"));
  index("COM3 state country=01 Australia");
  index("COM3 state echo=off");
  index("COM3 state buzz=on");
  index("COM3 rx a\\x01\\\\");
  EXPECT_LT(index("COM3 final country=01 reg18=00 reg29=0C reg2A=33 reg20=87"),
            index("SIM info stopped"));
}

TEST(SimApi, StopRemovesTheLinksAndTheDirectoryItMadeButKeepsAGivenOne) {
  std::string made;
  {
    sim::ModemSim modem;
    ASSERT_TRUE(modem.Start({}));
    made = modem.Directory();
    EXPECT_TRUE(Exists(made + "/COM1"));
    EXPECT_TRUE(Exists(made + "/COM3"));
    EXPECT_FALSE(Exists(made + "/COM2"));
  }  // the destructor stops
  EXPECT_FALSE(Exists(made));

  TempDir temp("simtest");
  const std::string given = temp.Path();
  sim::Options options;
  options.directory = given;
  sim::ModemSim modem;
  ASSERT_TRUE(modem.Start(options));
  EXPECT_EQ(modem.Directory(), given);
  EXPECT_TRUE(Exists(given + "/COM3"));
  modem.Stop();
  modem.Stop();
  EXPECT_FALSE(Exists(given + "/COM3"));
  EXPECT_TRUE(Exists(given));
}

TEST(SimApi, StartRefusesBadOptionsAndLeavesNothingBehind) {
  auto refused = [](sim::Options o, const std::string& why) {
    TempDir temp("simtest");
    const std::string dir = temp.Path();
    o.directory = dir + "/links";
    sim::ModemSim modem;
    std::string error;
    EXPECT_FALSE(modem.Start(o, &error)) << why;
    EXPECT_FALSE(error.empty()) << why;
    EXPECT_FALSE(Exists(dir + "/links")) << why;
  };
  sim::Options o;
  o.ports = {{0, sim::PortKind::kModem, {}}};
  refused(o, "port 0");
  o.ports = {{3, sim::PortKind::kModem, {}}, {3, sim::PortKind::kEcho, {}}};
  refused(o, "port twice");
  sim::Faults noise;
  noise.noise = true;
  o.ports = {{1, sim::PortKind::kSilent, noise}};
  refused(o, "modem fault on a silent port");
  o.ports = {};
  o.guardTimeMs = 1;
  refused(o, "guard time");
}

TEST(SimApi, WaitForEventEndsAtItsDeadline) {
  sim::ModemSim modem;
  ASSERT_TRUE(modem.Start({}));
  auto start = SteadyClock::now();
  EXPECT_FALSE(modem.WaitForEvent("COM3", "rx", "never", Ms(200)));
  EXPECT_GE(SteadyClock::now() - start, Ms(200));
  EXPECT_LT(SteadyClock::now() - start, Ms(2000));
  EXPECT_FALSE(modem.State(2));
}

}  // namespace
