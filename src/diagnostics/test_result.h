#pragma once
// What a test run returns: one result per test, recorded by the sequence as it happens. The
// dialogs show it in their controls; the report serialises it. Nothing reads it back from a
// control or a time window.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "modem/transaction.h"

namespace modem {
class Session;
}  // namespace modem

namespace diagnostics {

// A test: the name the report gives it and the --tests group that runs it.
struct TestIdentity {
  const char* reportName;
  const char* group;

  [[nodiscard]] bool operator==(const TestIdentity& other) const;
};

inline constexpr TestIdentity kBasicFunction{"basic-function", "basic"};
inline constexpr TestIdentity kDigitalLoopback{"digital-loopback", "basic"};
inline constexpr TestIdentity kAnalogLoopback{"analog-loopback", "basic"};
inline constexpr TestIdentity kSpeaker{"speaker", "speaker"};
inline constexpr TestIdentity kLine{"line", "line"};
// In the order a report gives them; the groups in the order --help names them.
inline constexpr TestIdentity kTests[] = {kBasicFunction, kDigitalLoopback, kAnalogLoopback,
                                          kSpeaker, kLine};

enum class TestOutcome {
  kPassed,
  kFailure,
  kStopped,  // a stop request cut it short
  kNotRun,   // see reason: stopped before it began, skipped, no answer option
};

// The first command that did not get its answer, and the last line that came back instead
// (empty when none did).
struct FailedCommand {
  std::string command;
  std::string response;
};

struct TestResult {
  std::string name;  // "basic-function", "digital-loopback", "analog-loopback", "speaker", "line"
  TestOutcome outcome = TestOutcome::kNotRun;
  std::string
      resultText;       // exactly as the dialog shows it ("Passed after retry"); empty if not run
  std::string reason;   // kNotRun: why; kFailure: why, when no command failed
  int64_t startMs = 0;  // platform::NowMs() at its start and end
  int64_t endMs = 0;
  std::optional<FailedCommand> firstFailure;
};

// A test that did not start, with its reason.
[[nodiscard]] TestResult NotRun(const char* name, const std::string& reason);

inline constexpr char kStoppedBeforeItBegan[] = "stopped before it began";

// Records one test as its sequence runs: the steps' transactions, the first one that failed and
// what came back instead, and the outcome at the end. UI thread.
class TestRecorder {
 public:
  TestRecorder(modem::Session& session, const char* name);

  // A transaction (see modem::Transact); on a time-out the first failure is this command.
  bool Step(const char* command, const char* expected,
            int timeoutSeconds = modem::kCommandTimeoutSeconds,
            modem::Framing framing = modem::Framing::kAtCommand);
  // The same for a command that changes the modem (modem::TransactChange).
  bool ChangeStep(const modem::Change& change, const char* command, const char* expected,
                  int timeoutSeconds = modem::kCommandTimeoutSeconds,
                  modem::Framing framing = modem::Framing::kAtCommand);
  // The first failure, when none is recorded yet: command with response, or a reason alone.
  void FailedAt(const std::string& command, const std::string& response);
  void FailedBecause(const std::string& reason);

  // The result: kPassed when passed, else kStopped when a stop came during the test, else
  // kFailure; resultText as the view shows it.
  [[nodiscard]] TestResult Finish(bool passed, const char* resultText);

  [[nodiscard]] modem::Session& Session() { return session_; }

 private:
  bool Recorded(modem::WaitResult transactResult, const char* command);

  modem::Session& session_;
  TestResult result_;
};

// How the register test values went.
enum class RegisterWrites {
  kAllWritten,      // all four answered "OK"
  kSomeNotWritten,  // a register without a value read from the modem was left alone; the
                    // others were written and answered, so the test goes on but cannot pass
  kTimedOut,        // a write was not answered (or a stop came): the test ends here
};

// Writes the four register test values in the order 18, 29, 2A, 20, re-reading first any
// register that has no value. A register still without one is not written (a value the tool did
// not read is never put back either) and the recorder keeps that as the reason; the others are
// written all the same. answered runs after each answered write. UI thread.
[[nodiscard]] RegisterWrites WriteRegisterTestValues(
    TestRecorder& test, const std::function<void(int slot)>& answered = {});

}  // namespace diagnostics
