// The basic function and loopback test run against the simulated modem: what the modem
// receives, in which order, the three result texts, the buttons, the beep and the restore.

#include <gtest/gtest.h>

#include <QTimer>

#include <atomic>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "diagnostics/diagnostic_run.h"
#include "diagnostics/diagnostic_run_fixture.h"
#include "diagnostics/program_run.h"
#include "modem/scripted_modem.h"
#include "platform/clock.h"
#include "serial/response_capture.h"

namespace {

using diag_test::Concat;
using diag_test::DiagnosticRun;
using diag_test::Lines;
using diag_test::PassingLoopback;
using diag_test::Pattern;
using diag_test::SimSetup;

TEST_F(DiagnosticRun, HealthyModemPassesAllThreeThenButtonsBeepAndRestoreInOrder) {
  ASSERT_NO_FATAL_FAILURE(StartAndDetect());

  diagnostics::RunDiagnosticTests(session, view);

  ExpectResults("Passed", "Passed", "Passed");
  EXPECT_EQ(Received(), Concat({BasicSteps(), PassingLoopback("&T3", {"at&FZ", "at&T0"}),
                                PassingLoopback("&T1", {"at&T0"}), RestoreWrites()}));
  Lines expectedEvents = {"digital-loopback Wait...",
                          "analog-loopback Wait...",
                          "basic-function Wait...",
                          "basic-function Passed",
                          "digital-loopback Passed",
                          "analog-loopback Passed",
                          "beep"};
  EXPECT_EQ(view.events, expectedEvents);
  // The beep comes before the first restore write reaches the modem.
  std::vector<sim::Event> events = sim.Events();
  for (std::size_t i = mark; i < view.eventsAtBeep; ++i) {
    EXPECT_NE(events[i].text, RestoreWrites()[0]) << "restore began before the beep";
  }
  ExpectRegistersRestored();
  // The country read in step 6 was written back, and nothing of the tests is left on.
  sim::PortState after = sim.State(diag_test::kModemPort).value();
  EXPECT_EQ(after.countryCode, before.countryCode);
  EXPECT_FALSE(after.dataMode);
  EXPECT_EQ(session.port.capture.captureEnabled.load(), 0);
  EXPECT_TRUE(session.port.connected.load());
}

// Split answers: CR and LF in separate reads at random moments must still end each line once.

TEST_F(DiagnosticRun, SplitAnswersStillPassEverything) {
  SimSetup setup;
  setup.faults.splitOutput = true;
  ASSERT_NO_FATAL_FAILURE(StartAndDetect(setup));

  diagnostics::RunDiagnosticTests(session, view);

  ExpectResults("Passed", "Passed", "Passed");
  ExpectRegistersRestored();
}

TEST_F(DiagnosticRun, NoOkToI2FailsBasicButDigitalLoopbackStillStarts) {
  SimSetup setup;
  setup.faults.muteCommands = {"I2"};
  ASSERT_NO_FATAL_FAILURE(StartAndDetect(setup));

  diagnostics::RunDiagnosticTests(session, view);

  ExpectResults("Failure", "Passed", "Passed");
  EXPECT_EQ(Received(), Concat({BasicStepsUpTo(5), PassingLoopback("&T3", {"at&FZ", "at&T0"}),
                                PassingLoopback("&T1", {"at&T0"}), RestoreWrites()}));
  ExpectRegistersRestored();
  EXPECT_EQ(session.port.capture.captureEnabled.load(), 0);
}

// The country selected in step 7 stays: the restore covers the registers, not the country.

// The country read before the switch is written back whichever step of the switch fails.
TEST_F(DiagnosticRun, WrongCountryReportFailsBasicAndWritesTheCountryBack) {
  SimSetup setup;
  setup.faults.wrongCountry = true;
  ASSERT_NO_FATAL_FAILURE(StartAndDetect(setup));

  diagnostics::RunDiagnosticTests(session, view);

  EXPECT_EQ(view.Text(field::kBasicResult), "Failure");
  Lines received = Received();
  EXPECT_EQ(
      Lines(received.begin(), received.begin() + 10),
      Concat({BasicStepsUpTo(8), {"at%T19,0," + diag_test::Country(before.countryCode), "at&T3"}}));
  EXPECT_EQ(sim.State(diag_test::kModemPort)->countryCode, before.countryCode);
  ExpectRegistersRestored();
}

// A register the detection could not read is read again before its test value would be
// written; still without a value, it is left alone by the test and by the restore, the debug
// output names it, and the basic test goes on with the rest and fails with that reason rather
// than pass untested.
TEST_F(DiagnosticRun, RegisterWithoutAReadValueIsNeverWrittenAndTheBasicTestGoesOnToFail) {
  SimSetup setup;
  setup.faults.muteCommands = {"%T22,29"};
  ASSERT_NO_FATAL_FAILURE(StartAndDetect(setup));
  ASSERT_FALSE(session.snapshot.hasValue[1]);

  testing::internal::CaptureStderr();
  const std::vector<diagnostics::TestResult> results =
      diagnostics::RunDiagnosticTests(session, view);
  std::string debug = testing::internal::GetCapturedStderr();

  ExpectResults("Failure", "Passed", "Passed");
  EXPECT_EQ(results[0].reason,
            "register 29 has no value read from the modem, so its test value was not written");
  EXPECT_FALSE(results[0].firstFailure);
  Lines received = Received();
  Lines steps = BasicSteps();
  steps.erase(steps.begin() + 1);
  ASSERT_GE(received.size(), steps.size() + 2);
  EXPECT_EQ(Lines(received.begin(), received.begin() + long(steps.size()) + 2),
            Concat({{"at%T22,29"}, steps, {"at&T3"}}));
  Lines restore = RestoreWrites();
  restore.erase(restore.begin() + 1);
  EXPECT_EQ(Lines(received.end() - 3, received.end()), restore);
  for (const std::string& line : received) EXPECT_EQ(line.find("%T21,29"), std::string::npos);
  EXPECT_NE(debug.find("Register 29 has no value read from the modem"), std::string::npos);
  sim::PortState after = sim.State(diag_test::kModemPort).value();
  EXPECT_EQ(after.reg18, before.reg18);
  EXPECT_EQ(after.reg29, before.reg29);
  EXPECT_EQ(after.reg2A, before.reg2A);
}

// The last step waits for a line holding "0"; the echo of "+FCLASS?" holds none.

TEST_F(DiagnosticRun, UnansweredFclassFailsBasicAfterTheCountryWasWrittenBack) {
  SimSetup setup;
  setup.faults.muteCommands = {"+FCLASS?"};
  ASSERT_NO_FATAL_FAILURE(StartAndDetect(setup));

  diagnostics::RunDiagnosticTests(session, view);

  ExpectResults("Failure", "Passed", "Passed");
  Lines received = Received();
  EXPECT_EQ(Lines(received.begin(), received.begin() + 13), Concat({BasicSteps(), {"at&T3"}}));
  EXPECT_EQ(sim.State(diag_test::kModemPort)->countryCode, before.countryCode);
  ExpectRegistersRestored();
}

// One fault of the digital loopback per case: its result, what the modem receives of it, and
// the analog test and the restore that follow unharmed.
struct DigitalLoopbackCase {
  const char* name;
  sim::Faults faults;
  const char* digital;
  Lines digitalLines;  // what the modem receives from "at&T3" to the analog test
};

void PrintTo(const DigitalLoopbackCase& c, std::ostream* out) { *out << c.name; }

class DigitalLoopback : public DiagnosticRun,
                        public testing::WithParamInterface<DigitalLoopbackCase> {};

TEST_P(DigitalLoopback, FaultGivesItsResultAndTheAnalogTestAndRestoreFollow) {
  const DigitalLoopbackCase& c = GetParam();
  SimSetup setup;
  setup.faults = c.faults;
  ASSERT_NO_FATAL_FAILURE(StartAndDetect(setup));

  diagnostics::RunDiagnosticTests(session, view);

  ExpectResults("Passed", c.digital, "Passed");
  EXPECT_EQ(Received(), Concat({BasicSteps(), c.digitalLines, PassingLoopback("&T1", {"at&T0"}),
                                RestoreWrites()}));
  // A pattern that does not come back ends the test with no escape; the port is purged after
  // the failure and again at the reopen.
  if (std::string(c.digital) == "Failure") EXPECT_EQ(PurgesBetween("at&T3", "at&T1"), 2);
  ExpectRegistersRestored();
}

sim::Faults DropThirdEcho() {
  sim::Faults faults;
  faults.dropEchoLine = 3;
  return faults;
}
// The modem takes only the second "+++", after "aaa" CR LF.
sim::Faults IgnoreFirstEscape() {
  sim::Faults faults;
  faults.ignoreFirstEscape = true;
  return faults;
}
// The modem leaves data mode on the first "+++" but answers it 1.5 s late: still within the
// transaction's 3 s, so no second try is made.
sim::Faults LateEscape() {
  sim::Faults faults;
  faults.lateEscapeMs = 1500;
  return faults;
}

INSTANTIATE_TEST_SUITE_P(
    DiagnosticRun, DigitalLoopback,
    testing::Values(DigitalLoopbackCase{"MissingThirdEchoFailsWithoutEscape",
                                        DropThirdEcho(),
                                        "Failure",
                                        {"at&T3", Pattern(), Pattern(), Pattern()}},
                    // The ignored "+++" stays in the loopback line that "aaa" ends.
                    DigitalLoopbackCase{"FirstEscapeIgnoredGivesPassedAfterRetry",
                                        IgnoreFirstEscape(),
                                        "Passed after retry",
                                        {"at&T3", Pattern(), Pattern(), Pattern(), "+++aaa", "+++",
                                         "at&FZ", "at&T0"}},
                    DigitalLoopbackCase{"EscapeAnsweredLateButWithinItsTimeOutPasses", LateEscape(),
                                        "Passed", PassingLoopback("&T3", {"at&FZ", "at&T0"})}),
    [](const testing::TestParamInfo<DigitalLoopbackCase>& info) { return info.param.name; });

}  // namespace

namespace {

// A stop during the basic test, before any loopback: no escape goes out (nothing was in data
// mode), the registers and the country go back, and the loopbacks are said not to have run.
TEST_F(DiagnosticRun, StopBeforeAnyLoopbackSendsNoEscapeAndPutsTheRegistersBack) {
  ASSERT_NO_FATAL_FAILURE(StartAndDetect());
  // The stop is asked on the UI thread, which learns through an atomic that "I2" went out: a
  // functor posted from the watching thread would be freed there, unseen by the UI thread.
  std::atomic<bool> reached{false};
  std::thread stopper([this, &reached] {
    reached = sim.WaitForEvent(diag_test::kPort, "rx", "atI2", std::chrono::seconds(30), mark)
                  .has_value();
  });
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [this, &reached, &poll] {
    if (!reached) return;
    poll.stop();
    session.stop.Request();
  });
  poll.start(5);

  const std::vector<diagnostics::TestResult> results =
      diagnostics::RunDiagnosticTests(session, view);
  stopper.join();

  EXPECT_EQ(results[0].outcome, diagnostics::TestOutcome::kStopped);
  EXPECT_FALSE(results[0].firstFailure) << "a stop is not a failed command";
  EXPECT_EQ(results[1].outcome, diagnostics::TestOutcome::kNotRun);
  EXPECT_EQ(results[2].reason, diagnostics::kStoppedBeforeItBegan);
  const Lines received = Received();
  for (const std::string& line : received) {
    EXPECT_NE(line, "+++");
    EXPECT_NE(line, "at&T3");
    EXPECT_NE(line, "at&T0");
  }
  EXPECT_FALSE(session.ledger.HasPending());
  ExpectRegistersRestored();
}

// A modem that answers "&T3" and "&T1" with ERROR never left command mode: each loopback names
// its own first failing command, and nothing is left to put back, so no escape and no "&T0".
TEST_F(DiagnosticRun, RefusedLoopbacksNameTheirStartAndLeaveNoTestModeToPutBack) {
  SimSetup setup;
  setup.faults.noConnect = true;
  ASSERT_NO_FATAL_FAILURE(StartAsIfDetected(setup));

  const std::vector<diagnostics::TestResult> results =
      diagnostics::RunDiagnosticTests(session, view);

  ASSERT_EQ(results.size(), 3u);
  ASSERT_TRUE(results[1].firstFailure);
  EXPECT_EQ(results[1].firstFailure->command, "&T3");
  EXPECT_EQ(results[1].firstFailure->response, "ERROR");
  ASSERT_TRUE(results[2].firstFailure);
  EXPECT_EQ(results[2].firstFailure->command, "&T1");
  EXPECT_EQ(results[0].outcome, diagnostics::TestOutcome::kPassed);
  EXPECT_EQ(session.ledger.Find(modem::ChangeKind::kDataMode), nullptr);
  EXPECT_EQ(diagnostics::NotPutBack(session), Lines{});
  for (const std::string& line : Received()) {
    EXPECT_NE(line, "+++");
    EXPECT_NE(line, "at&T0");
  }
}

// A country code the modem gives in another form than two hexadecimal digits is no code to
// write back: the test ends before any country is selected.
class CountryRead : public DiagnosticRun, public testing::WithParamInterface<const char*> {};

TEST_P(CountryRead, OutOfFormEndsTheBasicTestBeforeAnyCountryIsSelected) {
  modem_test::ScriptedModem scripted({{"%T20,0,1", modem_test::Answer({GetParam(), "OK"})}});
  ASSERT_TRUE(scripted.Valid());
  testsupport::ComDir dir;
  modem_test::UseComDir(dir.Path());
  dir.Link(diag_test::kModemPort, scripted.Path());
  ASSERT_TRUE(modem::OpenComPort(session, diag_test::kModemPort));
  session.detectedPort = diag_test::kModemPort;
  for (int slot = 0; slot < modem::kSnapshotRegisters; ++slot) {
    std::snprintf(session.snapshot.values[slot], modem::kSnapshotSlotSize, "0%d", slot);
    session.snapshot.hasValue[slot] = true;
  }

  const std::vector<diagnostics::TestResult> results =
      diagnostics::RunDiagnosticTests(session, view);

  EXPECT_EQ(results[0].outcome, diagnostics::TestOutcome::kFailure);
  ASSERT_TRUE(results[0].firstFailure);
  EXPECT_EQ(results[0].firstFailure->command, "%T20,0,1");
  for (const std::string& line : scripted.Received())
    EXPECT_EQ(line.find("%T19"), std::string::npos);
  EXPECT_EQ(session.ledger.Find(modem::ChangeKind::kCountry), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Ledger, CountryRead, testing::Values("5", "ZZ", "019"));

}  // namespace
