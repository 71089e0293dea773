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
using diag_test::Fault;
using diag_test::Lines;
using diag_test::PassingLoopback;
using diag_test::Pattern;
using diag_test::Run;
using diag_test::RunCase;
using diag_test::SimSetup;

INSTANTIATE_TEST_SUITE_P(
    DiagnosticRun, Run,
    testing::Values(
        RunCase{.name = "HealthyModemPassesAllThree"},
        // CR and LF in separate reads at random moments still end each line once.
        RunCase{.name = "SplitAnswersStillPassEverything",
                .setup = {.faults = Fault(&sim::Faults::splitOutput, true)}},
        RunCase{.name = "NoOkToI2FailsBasicButDigitalLoopbackStillStarts",
                .setup = {.faults = Fault(&sim::Faults::muteCommands, {"I2"})},
                .basic = "Failure",
                .basicSteps = 5},
        // The country read before the switch is written back whichever step of the switch fails.
        RunCase{.name = "WrongCountryReportFailsBasicAndWritesTheCountryBack",
                .setup = {.faults = Fault(&sim::Faults::wrongCountry, true)},
                .basic = "Failure",
                .basicSteps = 8,
                .countryWriteAfter = true},
        // The last step waits for a line holding "0"; the echo of "+FCLASS?" holds none.
        RunCase{.name = "UnansweredFclassFailsBasicAfterTheCountryWasWrittenBack",
                .setup = {.faults = Fault(&sim::Faults::muteCommands, {"+FCLASS?"})},
                .basic = "Failure"},
        // A pattern that does not come back ends the test with no escape.
        RunCase{.name = "MissingThirdEchoFailsDigitalWithoutEscape",
                .setup = {.faults = Fault(&sim::Faults::dropEchoLine, 3)},
                .digital = "Failure",
                .digitalLines = {"at&T3", Pattern(), Pattern(), Pattern()}},
        // The modem takes only the second "+++", after "aaa" CR LF; the ignored "+++" stays in
        // the loopback line that "aaa" ends.
        RunCase{.name = "FirstEscapeIgnoredGivesPassedAfterRetry",
                .setup = {.faults = Fault(&sim::Faults::ignoreFirstEscape, true)},
                .digital = "Passed after retry",
                .digitalLines = {"at&T3", Pattern(), Pattern(), Pattern(), "+++aaa", "+++", "at&FZ",
                                 "at&T0"}},
        // The modem leaves data mode on the first "+++" but answers it 1.5 s late: still within
        // the transaction's 3 s, so no second try is made.
        RunCase{.name = "EscapeAnsweredLateButWithinItsTimeOutPasses",
                .setup = {.faults = Fault(&sim::Faults::lateEscapeMs, 1500)}}),
    diag_test::RunCaseName);

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
  EXPECT_EQ(testsupport::AsFound(sim.State(diag_test::kModemPort).value()),
            testsupport::AsFound(before));
}

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
