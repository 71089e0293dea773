// The basic function test and the two local loopback tests of the first "Test..." button.

#include <cstdio>
#include <iterator>

#include "diagnostics/result_texts.h"
#include "diagnostics/test_runs.h"
#include "modem/register_snapshot.h"
#include "modem/safe_state.h"
#include "modem/transaction.h"
#include "resources/control_ids.h"

namespace diagnostics {
namespace {

constexpr int kStepTimeoutSeconds = 3;
constexpr int kConnectTimeoutSeconds = 10;
constexpr int kEchoRounds = 3;
// The modem takes "+++" as an escape only after a second of silence on the line.
constexpr int kEscapeGuardMs = 1000;

constexpr int kPatternLength = 78;
constexpr char kPatternFirst = 0x30;
constexpr int kExpectedBufferSize = 80;

// The basic function test after the register test values: each step must see its text in 3 s.
struct BasicStep {
  const char* command;
  const char* expected;
};
constexpr BasicStep kServiceCheck = {"I2", "OK"};
constexpr char kCountryRead[] = "%T20,0,1";
// Each selects a country and checks that the modem reports it.
constexpr BasicStep kCountrySwitches[] = {
    {"%T19,0,1", "OK"}, {"I9", "Australia"}, {"%T19,0,19", "OK"}, {"I9", "North America"}};
constexpr BasicStep kServiceClass = {"+FCLASS?", "0"};

// Both forms of the pattern: the 78 characters with CR LF as sent, and alone as they must come
// back in one line.
struct LoopbackPattern {
  char command[modem::kCommandBufferSize] = {};
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

bool Step(const BasicStep& step) { return Step(step.command, step.expected); }

bool WriteRegisterTestValues() {
  modem::RereadMissingRegisters();
  for (int slot = 0; slot < modem::kSnapshotRegisters; ++slot) {
    if (!modem::WriteTestValue(slot)) return false;
  }
  return true;
}

// Selects the two test countries and writes the one read before back, whichever step fails:
// the modem must not be left set to a country the user never chose.
bool SwitchCountries() {
  char code[modem::kReadValueSize] = {};
  if (!modem::ReadHexValue(kCountryRead, 2, code)) return false;
  std::snprintf(modem::pendingChanges.countryCode, sizeof modem::pendingChanges.countryCode, "%s",
                code);
  modem::pendingChanges.countryChanged = true;
  bool switched = true;
  for (const BasicStep& step : kCountrySwitches) {
    if (!Step(step)) {
      switched = false;
      break;
    }
  }
  bool restored = modem::RestoreCountry();
  return switched && restored;
}

const char* BasicFunctionTest() {
  bool passed =
      WriteRegisterTestValues() && Step(kServiceCheck) && SwitchCountries() && Step(kServiceClass);
  return passed ? kResultPassed : kResultFailure;
}

// The data connection, the pattern three times, back to command mode, the end commands. True
// when all of it was answered; retried tells whether only the second escape worked.
bool RunLoopback(const LoopbackVariant& variant, const LoopbackPattern& pattern, bool& retried) {
  retried = false;
  modem::pendingChanges.dataModePossible = true;
  if (!Step(variant.startCommand, "CONNECT", kConnectTimeoutSeconds)) return false;
  for (int round = 0; round < kEchoRounds; ++round) {
    if (!Step(pattern.command, pattern.expected, kStepTimeoutSeconds, 0)) return false;
  }
  modem::Pause(kEscapeGuardMs);
  if (!Step("+++", "OK", kStepTimeoutSeconds, 0)) {
    retried = true;
    // A line of data first, so the second "+++" follows fresh data and a full guard time,
    // whatever the modem made of the first one.
    static constexpr char kWakeLine[] = "aaa\r\n";
    if (modem::StopCutsWaits()) return false;
    (void)modem::SendRaw(kWakeLine, 5);
    modem::Pause(kEscapeGuardMs);
    if (!Step("+++", "OK", kStepTimeoutSeconds, 0)) return false;
  }
  for (const char* endCommand : variant.endCommands) {
    if (endCommand != nullptr && !Step(endCommand, "OK")) return false;
  }
  modem::pendingChanges.dataModePossible = false;
  return true;
}

void LoopbackTest(modem::MainView& view, const LoopbackVariant& variant,
                  const LoopbackPattern& pattern) {
  bool retried = false;
  if (RunLoopback(variant, pattern, retried)) {
    view.SetItemText(variant.resultId, retried ? kResultPassedAfterRetry : kResultPassed);
    return;
  }
  view.SetItemText(variant.resultId, kResultFailure);
  // The modem may still be in its data connection; dropping DTR and opening again is the one
  // way back that does not depend on it answering. After a stop the put-back ends it instead.
  if (!modem::StopRequested()) modem::ReopenPort(view.detectedPort);
}

}  // namespace

void RunDiagnosticTests(modem::MainView& view) {
  for (int id : ids::kRunButtons) view.EnableItem(id, false);
  view.SetItemText(ids::kDigitalResult, kResultWait);
  view.SetItemText(ids::kAnalogResult, kResultWait);
  view.SetItemText(ids::kBasicResult, kResultWait);

  view.SetItemText(ids::kBasicResult, BasicFunctionTest());

  const LoopbackPattern pattern;
  LoopbackTest(view, kDigital, pattern);
  LoopbackTest(view, kAnalog, pattern);

  for (int id : ids::kRunButtons) view.EnableItem(id, true);
  if (!modem::StopRequested()) view.Beep();
  (void)modem::PutModemBack(view.detectedPort);
}

}  // namespace diagnostics
