// The transcript of a detection against the simulated modem, compared line by
// line with the simulator's own record of the same exchange: the commands it
// received are the ones the transcript says were sent, and the lines it sent
// are the ones the transcript says came back.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>
#include <string>
#include <vector>

#include "modem/detection.h"
#include "modem/detection_support.h"
#include "modem/recording_view.h"
#include "modem/session.h"
#include "modem/sim_ports.h"
#include "modem/transaction.h"
#include "platform/clock.h"
#include "serial/port_names.h"
#include "serial/transcript.h"
#include "serial/tty_port.h"
#include "support/pty_pair.h"
#include "support/temp_dir.h"

namespace {

using modem_test::Port;
using modem_test::RecordingView;
using modem_test::SimulatedPorts;
using sim::PortKind;
using Lines = std::vector<std::string>;

struct Entry {
  long long ms = -1;
  std::string port;
  char direction = '?';
  std::string text;
};

std::vector<Entry> ReadTranscript(const std::string& path) {
  std::vector<Entry> entries;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) {
    Entry e;
    size_t a = line.find(' ');
    size_t b = line.find(' ', a + 1);
    if (a == std::string::npos || b == std::string::npos || b + 2 > line.size()) {
      ADD_FAILURE() << "malformed line: " << line;
      continue;
    }
    e.ms = std::stoll(line.substr(0, a));
    e.port = line.substr(a + 1, b - a - 1);
    e.direction = line[b + 1];
    e.text = line.size() > b + 3 ? line.substr(b + 3) : "";
    entries.push_back(e);
  }
  return entries;
}

Lines Texts(const std::vector<Entry>& entries, const std::string& port, char direction) {
  Lines texts;
  for (const Entry& e : entries) {
    if (e.port == port && e.direction == direction) texts.push_back(e.text);
  }
  return texts;
}

// What the simulator sent on a port, as the transcript writes a received line.
Lines SimSent(SimulatedPorts& ports, const std::string& port) {
  Lines texts;
  for (const sim::Event& event : ports.Sim().Events()) {
    if (event.port == port && (event.kind == "echo" || event.kind == "tx"))
      texts.push_back(serial::EscapeTranscriptText(event.text));
  }
  return texts;
}

// What the simulator received, as the transcript writes a command sent with its
// CR LF.
Lines SimReceived(SimulatedPorts& ports, const std::string& port) {
  Lines texts;
  for (const std::string& line : ports.Received(port))
    texts.push_back(serial::EscapeTranscriptText(line + "\r\n"));
  return texts;
}

class DetectionTranscript : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(temp.Valid()); }
  void TearDown() override { modem::CloseTranscript(session); }
  testsupport::TempDir temp{"transcript"};
  const std::string dir = temp.Path();
  const std::string path = temp.In("run.log");
  modem::Session session;
};

TEST_F(DetectionTranscript, SentAndReceivedLinesAreTheSimulatorsOwnInOrder) {
  SimulatedPorts ports;
  ASSERT_TRUE(ports.Start({Port(3, PortKind::kSilent), Port(4, PortKind::kModem)}));
  std::string error;
  ASSERT_TRUE(modem::OpenTranscript(session, path.c_str(), platform::NowMs(), &error)) << error;
  RecordingView view;
  modem_test::UseShippedStyleList(view);

  modem::DetectModem(session, view);
  ASSERT_EQ(session.detectedPort, 4);
  session.port.Close();
  modem::CloseTranscript(session);

  const std::vector<Entry> entries = ReadTranscript(path);
  ASSERT_FALSE(entries.empty());
  EXPECT_EQ(Texts(entries, "COM3", '>'), SimReceived(ports, "COM3"));
  EXPECT_EQ(Texts(entries, "COM3", '<'), Lines{});
  EXPECT_EQ(Texts(entries, "COM4", '>'), SimReceived(ports, "COM4"));
  EXPECT_EQ(Texts(entries, "COM4", '<'), SimSent(ports, "COM4"));
  EXPECT_EQ(Texts(entries, "COM4", '>').size(), 8u);

  // The events: each open with its device, the silent port's time-out, each
  // close.
  EXPECT_EQ(Texts(entries, "COM3", '!'), (Lines{"open " + serial::PortMap().DevicePathFor("COM3"),
                                                "time-out after 3 s waiting for \"OK\"", "close"}));
  const Lines com4 = Texts(entries, "COM4", '!');
  ASSERT_FALSE(com4.empty());
  EXPECT_EQ(com4.front(), "open " + serial::PortMap().DevicePathFor("COM4"));
  EXPECT_EQ(com4.back(), "close");

  for (size_t i = 1; i < entries.size(); ++i)
    EXPECT_LE(entries[i - 1].ms, entries[i].ms) << "line " << i + 1;
  // Each port's lines come between its open and its close.
  EXPECT_EQ(entries.front().port, "COM3");
  EXPECT_EQ(entries.back().port, "COM4");
  EXPECT_EQ(entries.back().text, "close");
}

TEST_F(DetectionTranscript, AFailedOpenIsOneEventWithItsReason) {
  testsupport::ComDir emptyDir;
  modem_test::UseComDir(emptyDir.Path());
  std::string error;
  ASSERT_TRUE(modem::OpenTranscript(session, path.c_str(), platform::NowMs(), &error)) << error;
  RecordingView view;
  modem_test::UseShippedStyleList(view);

  modem::DetectModem(session, view);
  modem::CloseTranscript(session);

  const std::vector<Entry> entries = ReadTranscript(path);
  ASSERT_EQ(entries.size(), 6u);
  EXPECT_EQ(entries[0].port, "COM3");
  EXPECT_EQ(entries[0].direction, '!');
  EXPECT_EQ(entries[0].text,
            "open " + serial::PortMap().DevicePathFor("COM3") + " failed: no such device");
  EXPECT_EQ(entries[5].port, "COM6");
}

}  // namespace
