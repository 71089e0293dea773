// Reading the four vendor registers into the snapshot and writing them back, against the
// simulated modem (and a scripted one for answers the simulator never gives).

#include "modem/register_snapshot.h"
#include "modem/session.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "modem/put_back.h"
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

// One program run per test process.
modem::Session session;

std::string Slot(int i) { return session.snapshot.values[i]; }

void SetSlot(int i, const char* text) {
  std::memset(session.snapshot.values[i], 0, modem::kSnapshotSlotSize);
  std::memcpy(session.snapshot.values[i], text,
              std::min(std::strlen(text), size_t(modem::kSnapshotSlotSize)));
}

TEST(RegisterSnapshot, SnapshotReadsTheFourRegistersInOrderAndKeepsTheirValues) {
  SimulatedPorts ports;
  ASSERT_TRUE(ports.Start({Port(3, sim::PortKind::kModem)}));
  ASSERT_TRUE(modem::OpenComPort(session, 3));

  modem::TakeRegisterSnapshot(session);

  EXPECT_EQ(ports.Received("COM3"), (Lines{"at%T22,18", "at%T22,29", "at%T22,2A", "at%T22,20"}));
  sim::PortState state = ports.State(3);
  EXPECT_EQ(Slot(0), Hex2(state.reg18));
  EXPECT_EQ(Slot(1), Hex2(state.reg29));
  EXPECT_EQ(Slot(2), Hex2(state.reg2A));
  EXPECT_EQ(Slot(3), Hex2(state.reg20));
  // Distinct values, so a slot filled from the wrong read would show.
  EXPECT_NE(Slot(0), Slot(1));
  EXPECT_NE(Slot(2), Slot(3));
  EXPECT_EQ(session.port.capture.captureEnabled.load(), 0);
  session.port.Close();
}

// A slot as a detection leaves it after a good read, with its test value entered in the ledger
// as a test writes it.
void SetWritten(int i, const char* text) {
  SetSlot(i, text);
  session.snapshot.hasValue[i] = true;
  modem::Change change;
  change.kind = modem::ChangeKind::kRegister;
  change.reg = modem::kVendorRegisters[i].name;
  change.before.assign(session.snapshot.values[i],
                       strnlen(session.snapshot.values[i], modem::kSnapshotSlotSize - 1));
  session.ledger.Enter(change);
}

bool RestoreRegisters() { return modem::PutModemBack(session, modem::PutBackStage::kEndOfRun); }

TEST(RegisterSnapshot, RestoreWritesEveryWrittenSlotBackInOrderWithItsOwnValue) {
  SimulatedPorts ports;
  ASSERT_TRUE(ports.Start({Port(3, sim::PortKind::kModem)}));
  ASSERT_TRUE(modem::OpenComPort(session, 3));
  SetWritten(0, "5A");
  SetWritten(1, "01");
  SetWritten(2, "7F");
  SetWritten(3, "3C");

  EXPECT_TRUE(RestoreRegisters());

  EXPECT_EQ(ports.Received("COM3"),
            (Lines{"at%T21,18,5A", "at%T21,29,01", "at%T21,2A,7F", "at%T21,20,3C"}));
  sim::PortState state = ports.State(3);
  EXPECT_EQ(state.reg18, 0x5A);
  EXPECT_EQ(state.reg29, 0x01);
  EXPECT_EQ(state.reg2A, 0x7F);
  EXPECT_EQ(state.reg20, 0x3C);
  EXPECT_FALSE(session.ledger.HasPending());
  // Nothing is left to put back: a second restore sends nothing.
  EXPECT_TRUE(RestoreRegisters());
  EXPECT_EQ(ports.Received("COM3").size(), 4u);
  session.port.Close();
}

// Only a value read from the modem is ever written into it, and only where a test wrote.
TEST(RegisterSnapshot, RestoreLeavesAloneSlotsWithoutAValueOrWithoutATestValue) {
  SimulatedPorts ports;
  ASSERT_TRUE(ports.Start({Port(3, sim::PortKind::kModem)}));
  ASSERT_TRUE(modem::OpenComPort(session, 3));
  SetSlot(0, "11");
  session.snapshot.hasValue[0] = false;
  EXPECT_EQ(modem::WriteTestValue(session, 0), modem::TestValueWrite::kNoValue);
  SetSlot(1, "22");
  session.snapshot.hasValue[1] = true;
  SetWritten(2, "03");
  SetWritten(3, "04");
  sim::PortState before = ports.State(3);

  EXPECT_TRUE(RestoreRegisters());

  EXPECT_EQ(ports.Received("COM3"), (Lines{"at%T21,2A,03", "at%T21,20,04"}));
  EXPECT_EQ(session.ledger.Changes().size(), 2u) << "register 18 was never entered";
  sim::PortState state = ports.State(3);
  EXPECT_EQ(state.reg18, before.reg18);
  EXPECT_EQ(state.reg29, before.reg29);
  session.port.Close();
}

// A slot filled to its last byte (no room for a NUL) is never read past.
TEST(RegisterSnapshot, RestoreOfAFullSlotSendsAtMostThreeCharacters) {
  ScriptedModem modem({});
  ASSERT_TRUE(modem.Valid());
  testsupport::ComDir dir;
  modem_test::UseComDir(dir.Path());
  dir.Link(3, modem.Path());
  ASSERT_TRUE(modem::OpenComPort(session, 3));
  std::memcpy(session.snapshot.values[0], "ABCD", 4);
  std::memcpy(session.snapshot.values[1], "EFGH", 4);
  SetWritten(0, "ABCD");
  SetWritten(1, "EFGH");
  SetWritten(3, "1");

  EXPECT_TRUE(RestoreRegisters());

  EXPECT_EQ(modem.Received(), (Lines{"at%T21,18,ABC", "at%T21,29,EFG", "at%T21,20,1"}));
  session.port.Close();
}

// A slot keeps a value only when the line after the read's own echo is one or two hex digits
// and an "OK" ended the read.
TEST(RegisterSnapshot, ReadsAnsweredWithoutAHexValueLeaveTheirSlotsEmpty) {
  ScriptedModem modem({{"%T22,18", Answer({"OK"})},
                       {"%T22,29", Answer({"1234567", "OK"})},
                       {"%T22,2A", Answer({"%s", "OK"})},
                       {"%T22,20", Answer({"B", "OK"})}});
  ASSERT_TRUE(modem.Valid());
  testsupport::ComDir dir;
  modem_test::UseComDir(dir.Path());
  dir.Link(3, modem.Path());
  ASSERT_TRUE(modem::OpenComPort(session, 3));

  modem::TakeRegisterSnapshot(session);

  const bool expected[] = {false, false, false, true};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(session.snapshot.hasValue[i], expected[i]) << i;
  EXPECT_EQ(Slot(0), "");
  EXPECT_EQ(Slot(3), "B");
  EXPECT_EQ(session.port.capture.captureEnabled.load(), 0);
  session.port.Close();
}

// Without its echo the first line is the value itself: the answer cannot be told from a late
// one, so it is not taken. "ZZ" is not hexadecimal.
TEST(RegisterSnapshot, ReadsWithoutTheirEchoOrWithLettersLeaveTheirSlotsEmpty) {
  ScriptedModem modem({{"%T22,18", Answer({"5A", "OK"})},
                       {"%T22,29", Answer({"ZZ", "OK"})},
                       {"%T22,2A", Answer({"2B", "OK"})},
                       {"%T22,20", Answer({"0c", "OK"})}});
  ASSERT_TRUE(modem.Valid());
  testsupport::ComDir dir;
  modem_test::UseComDir(dir.Path());
  dir.Link(3, modem.Path());
  ASSERT_TRUE(modem::OpenComPort(session, 3));

  modem.SetEcho(false);
  EXPECT_FALSE(modem::ReadRegisterIntoSnapshot(session, 0));
  modem.SetEcho(true);
  EXPECT_FALSE(modem::ReadRegisterIntoSnapshot(session, 1));
  EXPECT_TRUE(modem::ReadRegisterIntoSnapshot(session, 2));
  EXPECT_TRUE(modem::ReadRegisterIntoSnapshot(session, 3));

  EXPECT_FALSE(session.snapshot.hasValue[0]);
  EXPECT_FALSE(session.snapshot.hasValue[1]);
  EXPECT_EQ(Slot(2), "2B");
  EXPECT_EQ(Slot(3), "0c");
  session.port.Close();
}

// Today's fault: register 18's value ended up in register 29's slot, and was written there.
TEST(RegisterSnapshot, UnansweredReadLeavesItsSlotWithoutAValue) {
  SimulatedPorts ports;
  sim::Faults faults;
  faults.muteCommands = {"%T22,29"};
  ASSERT_TRUE(ports.Start({Port(3, sim::PortKind::kModem, faults)}));
  ASSERT_TRUE(modem::OpenComPort(session, 3));

  modem::TakeRegisterSnapshot(session);

  sim::PortState state = ports.State(3);
  EXPECT_EQ(Slot(0), Hex2(state.reg18));
  EXPECT_FALSE(session.snapshot.hasValue[1]);
  EXPECT_EQ(Slot(1), "");
  EXPECT_EQ(Slot(2), Hex2(state.reg2A));
  EXPECT_EQ(Slot(3), Hex2(state.reg20));
  EXPECT_EQ(ports.Received("COM3").size(), 4u);
  session.port.Close();
}

}  // namespace
