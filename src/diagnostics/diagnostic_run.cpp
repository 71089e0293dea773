// The basic function test and the two local loopback tests of the first "Test..." button.

#include <cstdio>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "diagnostics/diagnostic_run.h"
#include "diagnostics/main_view.h"
#include "diagnostics/result_texts.h"
#include "modem/put_back.h"
#include "modem/register_snapshot.h"
#include "modem/session.h"
#include "modem/transaction.h"

namespace diagnostics {
namespace {

constexpr int kConnectTimeoutSeconds = 10;
constexpr int kEchoRounds = 3;
// The modem takes "+++" as an escape only after a second of silence on the line.
constexpr int kEscapeGuardMs = 1000;

constexpr int kPatternLength = 78;
constexpr char kPatternFirst = 0x30;

// The basic function test after the register test values: each step must see its text in 3 s.
struct BasicStep {
  const char* command;
  const char* expected;
};
constexpr BasicStep kServiceCheck = {"I2", "OK"};
constexpr char kCountryRead[] = "%T20,0,1";
// Each selects a country (the code it sets the modem to) and checks that the modem reports it.
struct CountryStep {
  const char* command;
  const char* expected;
  const char* selects;  // null: a report, which changes nothing
};
constexpr CountryStep kCountrySwitches[] = {{"%T19,0,1", "OK", "01"},
                                            {"I9", "Australia", nullptr},
                                            {"%T19,0,19", "OK", "19"},
                                            {"I9", "North America", nullptr}};
constexpr BasicStep kServiceClass = {"+FCLASS?", "0"};

// Both forms of the pattern: the 78 characters with CR LF as sent, and alone as they must come
// back in one line.
struct LoopbackPattern {
  char command[modem::kCommandBufferSize] = {};
  char expected[serial::kLineSize] = {};

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
  const TestIdentity& test;
  const char* startCommand;
  const char* endCommands[2];  // null-terminated when shorter
};

constexpr LoopbackVariant kDigital = {kDigitalLoopback, "&T3", {"&FZ", "&T0"}};
constexpr LoopbackVariant kAnalog = {kAnalogLoopback, "&T1", {"&T0", nullptr}};

modem::Change CountryChange(const char* before, const char* now) {
  modem::Change change;
  change.kind = modem::ChangeKind::kCountry;
  change.before = before;
  change.now = now;
  return change;
}

modem::Change DataModeChange(const char* startCommand) {
  modem::Change change;
  change.kind = modem::ChangeKind::kDataMode;
  change.now = std::string("loopback test (") + startCommand + ")";
  return change;
}

// Selects the two test countries and writes the one read before back, whichever step fails:
// the modem must not be left set to a country the user never chose.
bool SwitchCountries(TestRecorder& test) {
  modem::Session& session = test.Session();
  char code[modem::kReadValueSize] = {};
  session.lastTimeOut.reset();
  if (!modem::ReadHexValue(session, kCountryRead, 2, code)) {
    char line[serial::kLineSize] = {};
    session.port.capture.CopyLine(line);
    test.FailedAt(kCountryRead, session.lastTimeOut ? session.lastTimeOut->lastLine : line);
    return false;
  }
  bool switched = true;
  for (const CountryStep& step : kCountrySwitches) {
    switched = step.selects != nullptr
                   ? test.ChangeStep(CountryChange(code, step.selects), step.command, step.expected)
                   : test.Step(step.command, step.expected);
    if (!switched) break;
  }
  char writeBack[modem::kCommandBufferSize];
  std::snprintf(writeBack, sizeof writeBack, "%%T19,0,%s", code);
  session.lastTimeOut.reset();
  const bool restored = modem::WriteCountryBack(session);
  if (!restored && switched) {
    const modem::Change* country = session.ledger.Find(modem::ChangeKind::kCountry);
    test.FailedAt(writeBack, session.lastTimeOut  ? session.lastTimeOut->lastLine
                             : country != nullptr ? country->reason
                                                  : std::string());
  }
  return switched && restored;
}

TestResult BasicFunctionTest(modem::Session& session) {
  TestRecorder test(session, kBasicFunction.reportName);
  // Only a time-out ends the test: a register without a value is left out and the rest goes on.
  const RegisterWrites writes = WriteRegisterTestValues(test);
  const bool stepsPassed = writes != RegisterWrites::kTimedOut &&
                           test.Step(kServiceCheck.command, kServiceCheck.expected) &&
                           SwitchCountries(test) &&
                           test.Step(kServiceClass.command, kServiceClass.expected);
  const bool passed = stepsPassed && writes == RegisterWrites::kAllWritten;
  return test.Finish(passed, passed ? kResultPassed : kResultFailure);
}

// The data connection, the pattern three times, back to command mode, the end commands. True
// when all of it was answered; retried tells whether only the second escape worked.
bool RunLoopback(TestRecorder& test, const LoopbackVariant& variant, const LoopbackPattern& pattern,
                 bool& retried) {
  modem::Session& session = test.Session();
  retried = false;
  const modem::Change* entry = session.ledger.Find(modem::ChangeKind::kDataMode);
  const std::optional<modem::Change> prior =
      entry != nullptr ? std::optional<modem::Change>(*entry) : std::nullopt;
  if (!test.ChangeStep(DataModeChange(variant.startCommand), variant.startCommand, "CONNECT",
                       kConnectTimeoutSeconds)) {
    // Any final answer but "CONNECT" means the modem never left command mode.
    if (session.lastTimeOut && modem::IsRefusal(session.lastTimeOut->lastLine))
      modem::WithdrawChange(session, modem::ChangeKind::kDataMode, prior ? &*prior : nullptr);
    return false;
  }
  for (int round = 0; round < kEchoRounds; ++round) {
    if (!test.Step(pattern.command, pattern.expected, modem::kCommandTimeoutSeconds,
                   modem::Framing::kAsIs))
      return false;
  }
  modem::Pause(session, kEscapeGuardMs);
  if (modem::Transact(session, "+++", "OK", modem::kCommandTimeoutSeconds, modem::Framing::kAsIs) !=
      modem::WaitResult::kSeen) {
    retried = true;
    // A line of data first, so the second "+++" follows fresh data and a full guard time,
    // whatever the modem made of the first one.
    static constexpr char kWakeLine[] = "aaa\r\n";
    if (session.stop.CutsWaits()) return false;
    (void)modem::SendRaw(session, kWakeLine, 5);
    modem::Pause(session, kEscapeGuardMs);
    if (!test.Step("+++", "OK", modem::kCommandTimeoutSeconds, modem::Framing::kAsIs)) return false;
  }
  for (const char* endCommand : variant.endCommands) {
    if (endCommand != nullptr && !test.Step(endCommand, "OK")) return false;
  }
  session.ledger.Confirm(modem::ChangeKind::kDataMode);
  return true;
}

TestResult LoopbackTest(modem::Session& session, MainView& view, const LoopbackVariant& variant,
                        const LoopbackPattern& pattern) {
  if (session.stop.Requested()) return NotRun(variant.test.reportName, kStoppedBeforeItBegan);
  TestRecorder test(session, variant.test.reportName);
  bool retried = false;
  if (RunLoopback(test, variant, pattern, retried)) {
    TestResult result = test.Finish(true, retried ? kResultPassedAfterRetry : kResultPassed);
    view.ShowResult(variant.test, result);
    return result;
  }
  TestResult result = test.Finish(false, kResultFailure);
  view.ShowResult(variant.test, result);
  // The modem may still be in its data connection; dropping DTR and opening again is the one
  // way back that does not depend on it answering. After a stop the put-back ends it instead.
  if (!session.stop.Requested()) modem::ReopenPort(session);
  return result;
}

}  // namespace

std::vector<TestResult> RunDiagnosticTests(modem::Session& session, MainView& view) {
  view.ShowRunning(kDigitalLoopback);
  view.ShowRunning(kAnalogLoopback);
  view.ShowRunning(kBasicFunction);

  std::vector<TestResult> results;
  if (session.stop.Requested()) {
    results.push_back(NotRun(kBasicFunction.reportName, kStoppedBeforeItBegan));
  } else {
    results.push_back(BasicFunctionTest(session));
  }
  view.ShowResult(kBasicFunction, results.back());

  const LoopbackPattern pattern;
  results.push_back(LoopbackTest(session, view, kDigital, pattern));
  results.push_back(LoopbackTest(session, view, kAnalog, pattern));

  if (!session.stop.Requested()) view.Beep();
  (void)modem::PutModemBack(session, modem::PutBackStage::kEndOfRun);
  return results;
}

}  // namespace diagnostics
