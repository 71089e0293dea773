// The probe order in full, told by both the status texts and the simulator's transcript. Every
// port before the modem costs its time-out, so this case runs for about 9 s.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "modem/detection.h"
#include "modem/detection_support.h"
#include "modem/recording_view.h"
#include "modem/session.h"
#include "modem/sim_ports.h"
#include "serial/tty_port.h"

namespace {

using modem_test::Concat;
using modem_test::Lines;
using modem_test::Outcome;
using modem_test::Port;
using modem_test::RecordingView;
using modem_test::SimulatedPorts;
using modem_test::StatusTexts;
using sim::PortKind;
namespace field = modem_test::field;

TEST(Detection, ModemOnCom1FoundAfterCom3Com4Com2) {
  SimulatedPorts ports;
  // COM4 is absent; COM3 answers like a modem of another make; COM2 echoes like a loopback plug.
  ASSERT_TRUE(ports.Start({Port(3, PortKind::kForeign), Port(2, PortKind::kEcho),
                           Port(1, PortKind::kModem), Port(5, PortKind::kModem)}));
  RecordingView view;
  modem::Session session;
  UseShippedStyleList(view);

  modem::DetectModem(session, view);

  EXPECT_EQ(view.History(field::kLocation),
            Concat({StatusTexts(3, Outcome::kNoMatch), StatusTexts(4, Outcome::kOpenFailed),
                    StatusTexts(2, Outcome::kNoOk), StatusTexts(1, Outcome::kFound)}));
  EXPECT_EQ(ports.PortsInOrderOfFirstCommand(), (Lines{"COM3", "COM2", "COM1"}));
  EXPECT_EQ(ports.Received("COM3"), (Lines{"at&FZ", "atI3"}));
  EXPECT_EQ(ports.Received("COM2"), (Lines{"at&FZ"}));
  EXPECT_TRUE(ports.Received("COM5").empty());
  EXPECT_EQ(session.detectedPort, 1);
  EXPECT_TRUE(session.port.connected.load());
  EXPECT_TRUE(view.boxes.empty());
  session.port.Close();
}

}  // namespace
