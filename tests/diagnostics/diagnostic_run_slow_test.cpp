// The basic function and loopback run where the modem stops answering: ten-second connects,
// reopens, escapes that never work, and a device that goes away. Each case takes 15 to 45 s.

#include <gtest/gtest.h>

#include <algorithm>

#include <string>

#include "diagnostics/diagnostic_run.h"
#include "diagnostics/diagnostic_run_fixture.h"
#include "diagnostics/program_run.h"
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
        // A second apart: the pauses around the reopen, after the 10 s wait for "CONNECT".
        RunCase{.name = "NoConnectSendsNoPatternReopensThePortAndAnalogStillRuns",
                .setup = {.faults = Fault(&sim::Faults::muteCommands, {"&T3"})},
                .digital = "Failure",
                .digitalLines = {"at&T3"},
                .minReopenMs = 10000 + 100 + 1000},
        // A guard time longer than the tool's one-second pause: no "+++" is ever an escape. The
        // failed loopbacks send no end commands; their test mode is put back once, at the end,
        // and the reopen ended the data connection, so the restore reaches command mode.
        RunCase{
            .name = "NeitherEscapeAnsweredFailsBothLoopbacksWithoutEndCommands",
            .setup = {.guardTimeMs = 2000},
            .digital = "Failure",
            .analog = "Failure",
            .digitalLines = {"at&T3", Pattern(), Pattern(), Pattern(), "+++aaa", "+++"},
            .analogLines = {"at&T1", Pattern(), Pattern(), Pattern(), "+++aaa", "+++", "at&T0"}}),
    diag_test::RunCaseName);

// Results compare case-sensitively: "ok" is not "OK". Every step times out, yet the modem
// executed the one register write the basic test sent, so the restore puts that one back.
TEST_F(DiagnosticRun, LowerCaseAnswersFailEveryTestButTheWrittenRegisterIsRestored) {
  SimSetup setup;
  setup.faults.lowerCaseResults = true;
  ASSERT_NO_FATAL_FAILURE(StartAsIfDetected(setup));

  diagnostics::RunDiagnosticTests(session, view);

  ExpectResults("Failure", "Failure", "Failure");
  // The loopbacks' test mode is put back as the first thing, though "ok" never confirms it.
  EXPECT_EQ(Received(), Concat({BasicStepsUpTo(1), {"at&T3", "at&T1", "at&T0"}, RestoreWrites(1)}));
  EXPECT_EQ(testsupport::AsFound(sim.State(diag_test::kModemPort).value()),
            testsupport::AsFound(before));
}

// The device disappears for good during the basic test: every later step times out on a port
// that is gone or closed; the run ends in bounded time and sleeps while it waits.
TEST_F(DiagnosticRun, DeviceLostForGoodFailsEverythingWithoutSpinning) {
  ASSERT_NO_FATAL_FAILURE(StartAndDetect());
  HangUpWhenReceived("at%T19,0,1");
  double cpuBefore = diag_test::CpuSeconds();
  int64_t start = platform::NowMs();

  diagnostics::RunDiagnosticTests(session, view);

  int64_t wallMs = platform::NowMs() - start;
  double cpu = diag_test::CpuSeconds() - cpuBefore;
  ExpectResults("Failure", "Failure", "Failure");
  EXPECT_EQ(view.events.back(), "beep");
  // Basic up to step 8 and two 10 s connects with their reopens; the put-back cannot reach the
  // lost device and names what it could not put back at once.
  EXPECT_GE(wallMs, 3100 + 2 * (10100 + 1000));
  EXPECT_EQ(diagnostics::NotPutBack(session).size(), 6u)
      << "data mode, four registers and the country";
  EXPECT_LT(wallMs, 60000);
  EXPECT_LT(cpu, 0.1 * static_cast<double>(wallMs) / 1000.0) << "the waits should sleep";
}

// The device comes back at once: the reopen after the digital failure finds it again, so the
// analog test and the restore reach the fresh modem.
TEST_F(DiagnosticRun, DeviceBackBeforeTheReopenLetsAnalogPassAndTheRestoreReachIt) {
  ASSERT_NO_FATAL_FAILURE(StartAndDetect());
  HangUpWhenReceived("at%T19,0,1", /*comeBack=*/true);

  diagnostics::RunDiagnosticTests(session, view);

  ExpectResults("Failure", "Failure", "Passed");
  Lines received = Received();
  // The country write-back the lost device missed is tried again after the registers.
  Lines tail = Concat({PassingLoopback("&T1", {"at&T0"}),
                       RestoreWrites(),
                       {"at%T19,0," + diag_test::Country(before.countryCode)}});
  ASSERT_GE(received.size(), tail.size());
  EXPECT_EQ(Lines(received.end() - static_cast<long>(tail.size()), received.end()), tail);
  EXPECT_EQ(testsupport::AsFound(sim.State(diag_test::kModemPort).value()),
            testsupport::AsFound(before));
}

}  // namespace
