#include "diagnostics/test_result.h"

#include <cstring>

#include "diagnostics/main_view.h"
#include "diagnostics/result_texts.h"

#include "modem/register_snapshot.h"
#include "modem/session.h"
#include "modem/transaction.h"
#include "platform/clock.h"

namespace diagnostics {

bool TestIdentity::operator==(const TestIdentity& other) const {
  return std::strcmp(reportName, other.reportName) == 0;
}

const char* RunningText(const TestIdentity& test) { return test == kSpeaker ? "" : kResultWait; }

const char* ResultText(const TestResult& result) {
  return result.resultText.empty() ? kResultFailure : result.resultText.c_str();
}

TestResult NotRun(const char* name, const std::string& reason) {
  TestResult result;
  result.name = name;
  result.outcome = TestOutcome::kNotRun;
  result.reason = reason;
  return result;
}

TestRecorder::TestRecorder(modem::Session& session, const char* name) : session_(session) {
  result_.name = name;
  result_.startMs = platform::NowMs();
}

bool TestRecorder::Recorded(modem::WaitResult transactResult, const char* command) {
  if (transactResult == modem::WaitResult::kSeen) return true;
  if (session_.lastTimeOut) FailedAt(command, session_.lastTimeOut->lastLine);
  return false;
}

bool TestRecorder::Step(const char* command, const char* expected, int timeoutSeconds,
                        modem::Framing framing) {
  session_.lastTimeOut.reset();
  return Recorded(modem::Transact(session_, command, expected, timeoutSeconds, framing), command);
}

bool TestRecorder::ChangeStep(const modem::Change& change, const char* command,
                              const char* expected, int timeoutSeconds, modem::Framing framing) {
  session_.lastTimeOut.reset();
  return Recorded(
      modem::TransactChange(session_, change, command, expected, timeoutSeconds, framing), command);
}

void TestRecorder::FailedAt(const std::string& command, const std::string& response) {
  if (!result_.firstFailure && result_.reason.empty())
    result_.firstFailure = FailedCommand{command, response};
}

void TestRecorder::FailedBecause(const std::string& reason) {
  if (!result_.firstFailure && result_.reason.empty()) result_.reason = reason;
}

TestResult TestRecorder::Finish(bool passed, const char* resultText) {
  result_.endMs = platform::NowMs();
  result_.resultText = resultText;
  result_.outcome = passed                      ? TestOutcome::kPassed
                    : session_.stop.Requested() ? TestOutcome::kStopped
                                                : TestOutcome::kFailure;
  // What a stop cut short did not fail: nothing is said of its commands.
  if (result_.outcome == TestOutcome::kStopped) result_.firstFailure.reset();
  return result_;
}

RegisterWrites WriteRegisterTestValues(TestRecorder& test,
                                       const std::function<void(int slot)>& answered) {
  modem::Session& session = test.Session();
  modem::RereadMissingRegisters(session);
  RegisterWrites writes = RegisterWrites::kAllWritten;
  for (int slot = 0; slot < modem::kSnapshotRegisters; ++slot) {
    session.lastTimeOut.reset();
    switch (modem::WriteTestValue(session, slot)) {
      case modem::TestValueWrite::kAnswered: break;
      case modem::TestValueWrite::kNoValue:
        test.FailedBecause(std::string("register ") + modem::kVendorRegisters[slot].name +
                           " has no value read from the modem, so its test value was not written");
        writes = RegisterWrites::kSomeNotWritten;
        continue;
      case modem::TestValueWrite::kFailed:
        if (session.lastTimeOut)
          test.FailedAt(modem::kVendorRegisters[slot].testCommand, session.lastTimeOut->lastLine);
        return RegisterWrites::kTimedOut;
    }
    if (answered) answered(slot);
  }
  return writes;
}

}  // namespace diagnostics
