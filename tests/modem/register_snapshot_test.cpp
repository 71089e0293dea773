// Reading the four vendor registers into the snapshot and writing them back, against the
// simulated modem (and a scripted one for answers the simulator never gives).

#include "modem/register_snapshot.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "modem/scripted_modem.h"
#include "modem/sim_ports.h"
#include "modem/transaction.h"
#include "serial/response_capture.h"
#include "serial/tty_port.h"

namespace {

using modem_test::Answer;
using modem_test::Hex2;
using modem_test::Port;
using modem_test::ScriptedModem;
using modem_test::SimulatedPorts;
using Lines = std::vector<std::string>;

std::string Slot(int i) { return modem::registerSnapshot.values[i]; }

void SetSlot(int i, const char* text) {
  std::memset(modem::registerSnapshot.values[i], 0, modem::kSnapshotSlotSize);
  std::memcpy(modem::registerSnapshot.values[i], text,
              std::min(std::strlen(text), size_t(modem::kSnapshotSlotSize)));
}

TEST(RegisterSnapshot, SnapshotReadsTheFourRegistersInOrderAndKeepsTheirValues) {
  SimulatedPorts ports;
  ASSERT_TRUE(ports.Start({Port(3, sim::PortKind::Modem)}));
  ASSERT_EQ(modem::OpenComPort(3), modem::kOpened);

  modem::TakeRegisterSnapshot();

  EXPECT_EQ(ports.Received("COM3"), (Lines{"at%T22,18", "at%T22,29", "at%T22,2A", "at%T22,20"}));
  sim::PortState state = ports.State(3);
  EXPECT_EQ(Slot(0), Hex2(state.reg18));
  EXPECT_EQ(Slot(1), Hex2(state.reg29));
  EXPECT_EQ(Slot(2), Hex2(state.reg2A));
  EXPECT_EQ(Slot(3), Hex2(state.reg20));
  // Distinct values, so a slot filled from the wrong read would show.
  EXPECT_NE(Slot(0), Slot(1));
  EXPECT_NE(Slot(2), Slot(3));
  EXPECT_EQ(serial::responseCapture.captureEnabled.load(), 0);
  serial::ttyPort.Close();
}

TEST(RegisterSnapshot, RestoreWritesEverySlotBackInOrder) {
  SimulatedPorts ports;
  ASSERT_TRUE(ports.Start({Port(3, sim::PortKind::Modem)}));
  ASSERT_EQ(modem::OpenComPort(3), modem::kOpened);
  SetSlot(0, "5A");
  SetSlot(1, "01");
  SetSlot(2, "7F");
  SetSlot(3, "3C");

  modem::RestoreRegisters();

  EXPECT_EQ(ports.Received("COM3"),
            (Lines{"at%T21,18,5A", "at%T21,29,01", "at%T21,2A,7F", "at%T21,20,3C"}));
  sim::PortState state = ports.State(3);
  EXPECT_EQ(state.reg18, 0x5A);
  EXPECT_EQ(state.reg29, 0x01);
  EXPECT_EQ(state.reg2A, 0x7F);
  EXPECT_EQ(state.reg20, 0x3C);
  serial::ttyPort.Close();
}

// The modem refuses the empty value and the write waits out its 3 s; the others still go out.
TEST(RegisterSnapshot, RestoreOfAnEmptySlotSendsNothingAfterTheCommaAndGoesOn) {
  SimulatedPorts ports;
  ASSERT_TRUE(ports.Start({Port(3, sim::PortKind::Modem)}));
  ASSERT_EQ(modem::OpenComPort(3), modem::kOpened);
  SetSlot(0, "");
  SetSlot(1, "02");
  SetSlot(2, "03");
  SetSlot(3, "04");
  uint8_t reg18Before = ports.State(3).reg18;

  modem::RestoreRegisters();

  EXPECT_EQ(ports.Received("COM3"),
            (Lines{"at%T21,18,", "at%T21,29,02", "at%T21,2A,03", "at%T21,20,04"}));
  sim::PortState state = ports.State(3);
  EXPECT_EQ(state.reg18, reg18Before);
  EXPECT_EQ(state.reg29, 0x02);
  EXPECT_EQ(state.reg2A, 0x03);
  EXPECT_EQ(state.reg20, 0x04);
  serial::ttyPort.Close();
}

// A slot filled to its last byte (no room for a NUL) is never read past.
TEST(RegisterSnapshot, RestoreOfAFullSlotSendsAtMostThreeCharacters) {
  ScriptedModem modem({});
  ASSERT_TRUE(modem.Valid());
  testsupport::ComDir dir;
  modem_test::UseComDir(dir.Path());
  dir.Link(3, modem.Path());
  ASSERT_EQ(modem::OpenComPort(3), modem::kOpened);
  std::memcpy(modem::registerSnapshot.values[0], "ABCD", 4);
  std::memcpy(modem::registerSnapshot.values[1], "EFGH", 4);
  SetSlot(2, "");
  SetSlot(3, "1");

  modem::RestoreRegisters();

  EXPECT_EQ(modem.Received(),
            (Lines{"at%T21,18,ABC", "at%T21,29,EFG", "at%T21,2A,", "at%T21,20,1"}));
  serial::ttyPort.Close();
}

TEST(RegisterSnapshot, ReadAnsweredByOkAloneStoresOk) {
  ScriptedModem modem({{"%T22,18", Answer({"OK"})},
                       {"%T22,29", Answer({"29", "OK"})},
                       {"%T22,2A", Answer({"OK"})},
                       {"%T22,20", Answer({"B", "OK"})}});
  ASSERT_TRUE(modem.Valid());
  testsupport::ComDir dir;
  modem_test::UseComDir(dir.Path());
  dir.Link(3, modem.Path());
  ASSERT_EQ(modem::OpenComPort(3), modem::kOpened);

  modem::TakeRegisterSnapshot();

  EXPECT_EQ(Slot(0), "OK");
  EXPECT_EQ(Slot(1), "29");
  EXPECT_EQ(Slot(2), "OK");
  EXPECT_EQ(Slot(3), "B");
  serial::ttyPort.Close();
}

// An unanswered read leaves the capture of the read before it, and that is what is kept.
TEST(RegisterSnapshot, UnansweredReadKeepsThePreviousValue) {
  SimulatedPorts ports;
  sim::Faults faults;
  faults.muteCommands = {"%T22,29"};
  ASSERT_TRUE(ports.Start({Port(3, sim::PortKind::Modem, faults)}));
  ASSERT_EQ(modem::OpenComPort(3), modem::kOpened);

  modem::TakeRegisterSnapshot();

  sim::PortState state = ports.State(3);
  EXPECT_EQ(Slot(0), Hex2(state.reg18));
  EXPECT_EQ(Slot(1), Hex2(state.reg18));
  EXPECT_EQ(Slot(2), Hex2(state.reg2A));
  EXPECT_EQ(Slot(3), Hex2(state.reg20));
  EXPECT_EQ(ports.Received("COM3").size(), 4u);
  serial::ttyPort.Close();
}

}  // namespace
