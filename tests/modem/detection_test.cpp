// The detection run against the simulated modem on real pseudo-terminals: which ports it tries
// and in what order, what it leaves in the main dialog's fields and buttons, and what the modem
// received, read from the simulator's transcript.

#include "modem/detection.h"
#include "modem/session.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "modem/detection_support.h"
#include "modem/journal.h"
#include "modem/recording_view.h"
#include "modem/register_snapshot.h"
#include "modem/scripted_modem.h"
#include "modem/sim_ports.h"
#include "platform/serial_device.h"
#include "platform/state_files.h"
#include "serial/port_names.h"
#include "serial/response_capture.h"
#include "serial/tty_port.h"
#include "support/temp_dir.h"

namespace {

using modem_test::Answer;
using modem_test::Concat;
using modem_test::Hex2;
using modem_test::Outcome;
using modem_test::Port;
using modem_test::RecordingView;
using modem_test::ScriptedModem;
using modem_test::SimulatedPorts;
using modem_test::StatusTexts;
using modem_test::UseList;
using modem_test::UseShippedStyleList;
using sim::PortKind;
using Lines = std::vector<std::string>;
namespace field = modem_test::field;

// ---- Which ports, in which order ----

// Opening fails fast, so the whole order shows in the status texts without waiting.
TEST(Detection, NoPortOpensLeavesCloseCom6AndTheWarning) {
  testsupport::ComDir emptyDir;
  modem_test::UseComDir(emptyDir.Path());
  RecordingView view;
  modem::Session session;
  UseShippedStyleList(view);
  session.detectedPort = 0;

  modem::DetectModem(session, view);

  EXPECT_EQ(view.History(field::kLocation),
            Concat({StatusTexts(3, Outcome::kOpenFailed), StatusTexts(4, Outcome::kOpenFailed),
                    StatusTexts(2, Outcome::kOpenFailed), StatusTexts(1, Outcome::kOpenFailed),
                    StatusTexts(5, Outcome::kOpenFailed), StatusTexts(6, Outcome::kOpenFailed)}));
  EXPECT_EQ(view.Text(field::kLocation), "Close COM6... ");
  ASSERT_EQ(view.boxes.size(), 1u);
  EXPECT_EQ(view.boxes[0].kind, RecordingView::BoxKind::kNotFound);
  // Nothing else changes: the fields keep "Wait...", no beep, the buttons as they were.
  EXPECT_EQ(view.Text(field::kModemName), "Wait...");
  EXPECT_EQ(view.Text(field::kFirmware), "Wait...");
  EXPECT_EQ(view.Text(field::kCountry), "Wait...");
  EXPECT_EQ(view.beeps, 0);
  EXPECT_EQ(session.detectedPort, 0);
  EXPECT_FALSE(view.testsAvailable);
}

TEST(Detection, SilentCom6IsClosedAfterItsOkTimesOutLeavingClose3) {
  SimulatedPorts ports;
  ASSERT_TRUE(ports.Start({Port(6, PortKind::kSilent)}));
  RecordingView view;
  modem::Session session;
  UseShippedStyleList(view);

  modem::DetectModem(session, view);

  EXPECT_EQ(view.Text(field::kLocation), "Close3 COM6... ");
  Lines history = view.History(field::kLocation);
  Lines com6(history.end() - 5, history.end());
  EXPECT_EQ(com6, StatusTexts(6, Outcome::kNoOk));
  EXPECT_EQ(ports.Received("COM6"), (Lines{"at&FZ"}));
  EXPECT_FALSE(session.port.connected.load());
  EXPECT_EQ(view.boxes.size(), 1u);
}

TEST(Detection, ForeignModemOnCom6IsClosedLeavingOpenStatus) {
  SimulatedPorts ports;
  ASSERT_TRUE(ports.Start({Port(6, PortKind::kForeign)}));
  RecordingView view;
  modem::Session session;
  UseShippedStyleList(view);

  modem::DetectModem(session, view);

  EXPECT_EQ(view.Text(field::kLocation), "Open COM6... ");
  EXPECT_EQ(ports.Received("COM6"), (Lines{"at&FZ", "atI3"}));
  EXPECT_FALSE(session.port.connected.load());
  EXPECT_EQ(view.boxes.size(), 1u);
  EXPECT_EQ(view.beeps, 0);
}

TEST(Detection, BusyPortIsSkipped) {
  SimulatedPorts ports;
  ASSERT_TRUE(ports.Start({Port(3, PortKind::kModem), Port(4, PortKind::kModem)}));
  platform::SerialDevice otherProgram;
  ASSERT_TRUE(otherProgram.Open(serial::PortMap().DevicePathFor("COM3").c_str()));
  RecordingView view;
  modem::Session session;
  UseShippedStyleList(view);

  modem::DetectModem(session, view);

  EXPECT_EQ(session.detectedPort, 4);
  Lines history = view.History(field::kLocation);
  EXPECT_EQ(Lines(history.begin(), history.begin() + 2), StatusTexts(3, Outcome::kOpenFailed));
  EXPECT_TRUE(ports.Received("COM3").empty());
  session.port.Close();
}

TEST(Detection, EmptyListFindsNoModem) {
  SimulatedPorts ports;
  ASSERT_TRUE(ports.Start({Port(3, PortKind::kForeign), Port(4, PortKind::kModem)}));
  RecordingView view;
  modem::Session session;
  UseList(view, {});

  modem::DetectModem(session, view);

  EXPECT_EQ(session.detectedPort, 0);
  ASSERT_EQ(view.boxes.size(), 1u);
  EXPECT_EQ(view.boxes[0].kind, RecordingView::BoxKind::kNotFound);
  EXPECT_EQ(ports.Received("COM3"), (std::vector<std::string>{"at&FZ"}));
  EXPECT_EQ(ports.Received("COM4"), (std::vector<std::string>{"at&FZ"}));
  EXPECT_FALSE(session.port.connected.load());
}

// The list the tool ships knows the simulated modem and not the other make.
TEST(Detection, ShippedListFindsTheSimulatedModemAfterSkippingAForeignOne) {
  SimulatedPorts ports;
  ASSERT_TRUE(ports.Start({Port(3, PortKind::kForeign), Port(4, PortKind::kModem)}));
  RecordingView view;
  modem::Session session;
  ASSERT_TRUE(modem::ReadIdentificationFile(KALVEX_SHIPPED_LIST, view.identificationList));

  modem::DetectModem(session, view);

  EXPECT_EQ(session.detectedPort, 4);
  EXPECT_EQ(ports.Received("COM3"), (Lines{"at&FZ", "atI3"}));
  EXPECT_EQ(ports.PortsInOrderOfFirstCommand(), (Lines{"COM3", "COM4"}));
  session.port.Close();
}

// ---- What a found modem leaves behind ----

TEST(Detection, FoundModemFillsTheFieldsTakesTheSnapshotAndEnablesTheTests) {
  SimulatedPorts ports;
  ASSERT_TRUE(ports.Start({Port(3, PortKind::kModem)}));
  RecordingView view;
  modem::Session session;
  UseShippedStyleList(view);

  modem::DetectModem(session, view);

  EXPECT_EQ(ports.Received("COM3"), (Lines{"at&FZ", "atI3", "atI5", "atI9", "at%T22,18",
                                           "at%T22,29", "at%T22,2A", "at%T22,20"}));
  EXPECT_EQ(view.History(field::kLocation), StatusTexts(3, Outcome::kFound));
  EXPECT_EQ(session.detectedPort, 3);
  EXPECT_TRUE(session.port.connected.load());

  std::string firmwareLine = ports.AnswerTo("COM3", "atI5");
  ASSERT_NE(firmwareLine.find(','), std::string::npos);
  EXPECT_EQ(view.History(field::kFirmware),
            (Lines{"Wait...", firmwareLine.substr(0, firmwareLine.find(','))}));
  sim::PortState state = ports.State(3);
  EXPECT_EQ(view.History(field::kCountry), (Lines{"Wait...", state.countryName}));
  EXPECT_EQ(view.History(field::kModemName), (Lines{"Wait...", "Zelto Win Modem"}));

  EXPECT_STREQ(session.snapshot.values[0], Hex2(state.reg18).c_str());
  EXPECT_STREQ(session.snapshot.values[1], Hex2(state.reg29).c_str());
  EXPECT_STREQ(session.snapshot.values[2], Hex2(state.reg2A).c_str());
  EXPECT_STREQ(session.snapshot.values[3], Hex2(state.reg20).c_str());
  EXPECT_EQ(session.port.capture.captureEnabled.load(), 0);

  EXPECT_TRUE(view.testsAvailable);
  EXPECT_EQ(view.beeps, 1);
  EXPECT_EQ(view.events.back(), "beep");
  EXPECT_TRUE(view.boxes.empty());
  session.port.Close();
}

TEST(Detection, RepeatedDetectionThatFailsLeavesTheTestsEnabledWithNoPortOpen) {
  SimulatedPorts ports;
  ASSERT_TRUE(ports.Start({Port(3, PortKind::kModem)}));
  RecordingView view;
  modem::Session session;
  UseShippedStyleList(view);
  modem::DetectModem(session, view);
  ASSERT_EQ(session.detectedPort, 3);
  char snapshot[4][4];
  std::memcpy(snapshot, session.snapshot.values, sizeof snapshot);

  ASSERT_TRUE(ports.Sim().HangUp(3));
  modem::DetectModem(session, view);

  EXPECT_EQ(view.Text(field::kLocation), "Close COM6... ");
  EXPECT_EQ(view.boxes.size(), 1u);
  EXPECT_FALSE(session.port.connected.load());
  EXPECT_TRUE(view.testsAvailable);
  EXPECT_EQ(session.detectedPort, 3);
  EXPECT_EQ(std::memcmp(snapshot, session.snapshot.values, sizeof snapshot), 0);
  EXPECT_EQ(view.Text(field::kFirmware), "Wait...");
}

// A detection asked for inside one of detection's waits must not start a second run on the port
// the first one is using.
TEST(Detection, NestedRunDoesNothing) {
  testsupport::ComDir emptyDir;
  modem_test::UseComDir(emptyDir.Path());
  struct NestingView final : RecordingView {
    void ShowProbe(int comNumber, modem::ProbeStep step) override {
      RecordingView::ShowProbe(comNumber, step);
      if (comNumber == 4 && step == modem::ProbeStep::kClose) {
        size_t before = events.size();
        nestedRan = modem::DetectModem(session, *this).ran;
        nested = Lines(events.begin() + long(before), events.end());
      }
    }
    explicit NestingView(modem::Session& s) : session(s) {}
    modem::Session& session;
    bool nestedRan = true;
    Lines nested;
  };
  modem::Session session;
  NestingView view(session);

  modem::DetectModem(session, view);

  EXPECT_FALSE(view.nestedRan);
  EXPECT_TRUE(view.nested.empty());
  EXPECT_EQ(view.boxes.size(), 1u);
  EXPECT_EQ(view.History(field::kLocation).size(), 12u);
}

// ---- The modem known by its answer ----

// A modem a run left in a loopback, on a modem that keeps the line when DTR drops, answers
// "&FZ" only after an escape, which its device's journal calls for.
TEST(Detection, AModemLeftOnLineIsReachedWhenItsJournalSaysSo) {
  SimulatedPorts ports;
  sim::Faults faults;
  faults.online = true;
  faults.ignoreDtr = true;
  ASSERT_TRUE(ports.Start({Port(3, PortKind::kModem, faults)}));
  testsupport::TempDir state("state");
  ASSERT_TRUE(state.Valid());
  modem::Session session;
  session.stateDirectory = state.Path();
  modem::JournalRecord record{serial::PortMap().DevicePathFor("COM3"),
                              std::string(sim::kModemIdentification), "2026-12-08T08:00:00Z"};
  record.changes.push_back({modem::ChangeKind::kDataMode, "", "", "loopback test (&T3)"});
  std::string error;
  ASSERT_TRUE(platform::WriteFileAtomically(modem::JournalPath(state.Path(), record.device),
                                            modem::JournalText(record), &error))
      << error;
  RecordingView view;
  UseShippedStyleList(view);

  modem::DetectModem(session, view);

  EXPECT_EQ(session.detectedPort, 3);
  EXPECT_FALSE(ports.State(3).dataMode);
  session.port.Close();
}

// ---- Firmware and country from what the modem answers ----

TEST(Detection, UnansweredI9ShowsTheFirmwareAsCountry) {
  SimulatedPorts ports;
  sim::Faults faults;
  faults.muteCommands = {"I9"};
  ASSERT_TRUE(ports.Start({Port(3, PortKind::kModem, faults)}));
  RecordingView view;
  modem::Session session;
  UseShippedStyleList(view);

  modem::DetectModem(session, view);

  std::string firmwareLine = ports.AnswerTo("COM3", "atI5");
  std::string firmware = firmwareLine.substr(0, firmwareLine.find(','));
  EXPECT_EQ(view.Text(field::kFirmware), firmware);
  EXPECT_EQ(view.Text(field::kCountry), firmware);
  EXPECT_EQ(view.beeps, 1);
  session.port.Close();
}

TEST(Detection, UnansweredI5OnAFreshCaptureShowsEmptyFirmware) {
  SimulatedPorts ports;
  sim::Faults faults;
  faults.muteCommands = {"I5"};
  ASSERT_TRUE(ports.Start({Port(3, PortKind::kModem, faults)}));
  RecordingView view;
  modem::Session session;
  UseShippedStyleList(view);

  modem::DetectModem(session, view);

  EXPECT_EQ(view.History(field::kFirmware), (Lines{"Wait...", ""}));
  EXPECT_EQ(view.Text(field::kCountry), ports.State(3).countryName);
  session.port.Close();
}

struct FirmwareCase {
  const char* name;
  std::string i5Answer;
  std::string i9Answer;  // "" : the modem echoes "atI9" and says nothing more
  std::string firmware;
  std::string country;
};

void PrintTo(const FirmwareCase& c, std::ostream* os) { *os << c.name; }

class DetectionFirmware : public ::testing::TestWithParam<FirmwareCase> {};

TEST_P(DetectionFirmware, ShowsTheFirstFieldOfI5AndTheI9Line) {
  const FirmwareCase& c = GetParam();
  ScriptedModem modem({{"I3", Answer({"Scripted KX-TEST", "OK"})},
                       {"I5", c.i5Answer},
                       {"I9", c.i9Answer},
                       {"%T22,18", Answer({"12", "OK"})}});
  ASSERT_TRUE(modem.Valid());
  testsupport::ComDir dir;
  modem_test::UseComDir(dir.Path());
  dir.Link(3, modem.Path());
  RecordingView view;
  modem::Session session;
  UseList(view, {"KX-TEST"});

  modem::DetectModem(session, view);

  ASSERT_EQ(session.detectedPort, 3);
  EXPECT_EQ(view.Text(field::kFirmware), c.firmware);
  EXPECT_EQ(view.Text(field::kCountry), c.country);
  EXPECT_STREQ(session.snapshot.values[0], "12");
  session.port.Close();
}

const std::string kLong(100, 'V');

INSTANTIATE_TEST_SUITE_P(
    Answers, DetectionFirmware,
    ::testing::Values(
        FirmwareCase{"WithCommas", Answer({"3.41,ZW,2005", "OK"}), Answer({"Germany", "OK"}),
                     "3.41", "Germany"},
        FirmwareCase{"WithoutCommas", Answer({"3.41 ZW", "OK"}), Answer({"Germany", "OK"}),
                     "3.41 ZW", "Germany"},
        FirmwareCase{"LeadingCommas", Answer({",,3.41,ZW", "OK"}), Answer({"Germany", "OK"}),
                     "3.41", "Germany"},
        FirmwareCase{"OnlyCommas", Answer({",,,", "OK"}), Answer({"Germany", "OK"}), "", "Germany"},
        // The captured line is cut where the split ended the first field; leading commas stay.
        FirmwareCase{"LeadingCommasAndNoI9Answer", Answer({",,3.41,ZW", "OK"}), "", "3.41",
                     ",,3.41"},
        FirmwareCase{"OnlyCommasAndNoI9Answer", Answer({",,,", "OK"}), "", "", ",,,"},
        FirmwareCase{"LongLineKeepsItsFirst79Characters", Answer({kLong, "OK"}),
                     Answer({kLong + ",x", "OK"}), std::string(79, 'V'), std::string(79, 'V')}),
    [](const ::testing::TestParamInfo<FirmwareCase>& info) {
      return std::string(info.param.name);
    });

}  // namespace
