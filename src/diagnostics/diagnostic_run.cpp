// The basic function test and the two local loopback tests of the first "Test..." button.

#include <cstdio>
#include <iterator>

#include "diagnostics/test_runs.h"
#include "modem/register_snapshot.h"
#include "modem/transaction.h"
#include "platform/message_pump.h"
#include "resources/control_ids.h"
#include "serial/response_capture.h"
#include "serial/tty_port.h"

namespace diagnostics {
namespace {

constexpr int kStepTimeoutSeconds = 3;
constexpr int kConnectTimeoutSeconds = 10;
constexpr int kEchoRounds = 3;
// The modem takes "+++" as an escape only after a second of silence on the line.
constexpr int kEscapeGuardMs = 1000;
constexpr int kReopenPauseMs = 500;

constexpr int kPatternLength = 78;
constexpr char kPatternFirst = 0x30;
constexpr int kCommandBufferSize = 256;
constexpr int kExpectedBufferSize = 80;

constexpr char kPassed[] = "Passed";
constexpr char kPassedAfterRetry[] = "Passed after retry";
constexpr char kFailure[] = "Failure";
constexpr char kWait[] = "Wait...";

constexpr int kRunButtons[] = {ids::kTestDiagnostics, ids::kTestSpeaker, ids::kTestLine,
                               ids::kDetectAgain};

struct BasicStep {
  const char* command;
  const char* expected;
};

// Steps 6 and 11 have their own handling below (the capture of the country code, and the
// command built from it).
constexpr int kCountryReadStep = 5;
constexpr int kCountryWriteBackStep = 10;
constexpr BasicStep kBasicSteps[] = {
    {"%T21,18,0", "OK"},  {"%T21,29,1", "OK"},      {"%T21,2A,41", "OK"}, {"%T21,20,0", "OK"},
    {"I2", "OK"},         {"%T20,0,1", "OK"},       {"%T19,0,1", "OK"},   {"I9", "Australia"},
    {"%T19,0,19", "OK"},  {"I9", "North America"},  {nullptr, "OK"},      {"+FCLASS?", "0"},
};

// Both forms of the pattern: the 78 characters with CR LF as sent, and alone as they must come
// back in one line.
struct LoopbackPattern {
  char command[kCommandBufferSize] = {};
  char expected[kExpectedBufferSize] = {};

  LoopbackPattern() {
    for (int i = 0; i < kPatternLength; ++i) {
      command[i] = static_cast<char>(kPatternFirst + i);
      expected[i] = command[i];
    }
    command[kPatternLength] = '\r';
    command[kPatternLength + 1] = '\n';
  }
};

struct LoopbackVariant {
  const char* startCommand;
  int resultId;
  const char* endCommands[2];  // null-terminated when shorter
};

constexpr LoopbackVariant kDigital = {"&T3", ids::kDigitalResult, {"&FZ", "&T0"}};
constexpr LoopbackVariant kAnalog = {"&T1", ids::kAnalogResult, {"&T0", nullptr}};

bool Step(const char* command, const char* expected, int timeoutSeconds = kStepTimeoutSeconds,
          int addPrefix = 1) {
  return modem::Transact(command, expected, timeoutSeconds, addPrefix) != modem::kTimedOut;
}

const char* BasicFunctionTest() {
  char command[kCommandBufferSize];
  for (int i = 0; i < static_cast<int>(std::size(kBasicSteps)); ++i) {
    const BasicStep& step = kBasicSteps[i];
    const char* text = step.command;
    if (i == kCountryWriteBackStep) {
      char prefix[serial::kCapturedPrefixSize] = {};
      serial::responseCapture.CopyPrefix(prefix);
      // A space stands for the '%' so that the format has no literal conversion; the code the
      // modem reported is an argument, never part of the format.
      std::snprintf(command, sizeof command, " T19,0,%s", prefix);
      command[0] = '%';
      text = command;
    }
    if (i == kCountryReadStep) serial::responseCapture.captureEnabled = 1;
    bool seen = Step(text, step.expected);
    // Off again whatever the outcome: a capture left on would go on replacing the line with
    // every later answer.
    if (i == kCountryReadStep) serial::responseCapture.captureEnabled = 0;
    if (!seen) return kFailure;
  }
  return kPassed;
}

void ReopenPort(int portNumber) {
  serial::ttyPort.Close();
  platform::DelayPumping(kReopenPauseMs);
  (void)modem::OpenComPort(portNumber);
  platform::DelayPumping(kReopenPauseMs);
}

// The data connection, the pattern three times, back to command mode, the end commands. True
// when all of it was answered; retried tells whether only the second escape worked.
bool RunLoopback(const LoopbackVariant& variant, const LoopbackPattern& pattern, bool& retried) {
  retried = false;
  if (!Step(variant.startCommand, "CONNECT", kConnectTimeoutSeconds)) return false;
  for (int round = 0; round < kEchoRounds; ++round) {
    if (!Step(pattern.command, pattern.expected, kStepTimeoutSeconds, 0)) return false;
  }
  platform::DelayPumping(kEscapeGuardMs);
  if (!Step("+++", "OK", kStepTimeoutSeconds, 0)) {
    retried = true;
    // A line of data first, so the second "+++" follows fresh data and a full guard time,
    // whatever the modem made of the first one.
    static constexpr char kWakeLine[] = "aaa\r\n";
    (void)serial::ttyPort.Write(kWakeLine, 5);
    platform::DelayPumping(kEscapeGuardMs);
    if (!Step("+++", "OK", kStepTimeoutSeconds, 0)) return false;
  }
  for (const char* endCommand : variant.endCommands) {
    if (endCommand != nullptr && !Step(endCommand, "OK")) return false;
  }
  return true;
}

void LoopbackTest(modem::MainView& view, const LoopbackVariant& variant,
                  const LoopbackPattern& pattern) {
  bool retried = false;
  if (RunLoopback(variant, pattern, retried)) {
    view.SetItemText(variant.resultId, retried ? kPassedAfterRetry : kPassed);
    return;
  }
  view.SetItemText(variant.resultId, kFailure);
  // The modem may still be in its data connection; dropping DTR and opening again is the one
  // way back that does not depend on it answering.
  ReopenPort(view.detectedPort);
}

}  // namespace

void RunDiagnosticTests(modem::MainView& view) {
  for (int id : kRunButtons) view.EnableItem(id, false);
  view.SetItemText(ids::kDigitalResult, kWait);
  view.SetItemText(ids::kAnalogResult, kWait);
  view.SetItemText(ids::kBasicResult, kWait);

  view.SetItemText(ids::kBasicResult, BasicFunctionTest());

  const LoopbackPattern pattern;
  LoopbackTest(view, kDigital, pattern);
  LoopbackTest(view, kAnalog, pattern);

  for (int id : kRunButtons) view.EnableItem(id, true);
  view.Beep();
  modem::RestoreRegisters();
}

}  // namespace diagnostics
