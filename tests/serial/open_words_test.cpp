// A refused open in words, from the facts the open and the check found: what the debug output,
// the transcript and the verdicts say (the hints are the verdicts' own).

#include "serial/open_words.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "platform/sys_error.h"

namespace {

using platform::OpenStep;
using platform::OpenVerdict;

TEST(OpenWords, EachCheckReadsAsItsFacts) {
  platform::OpenCheck notTerminal;
  notTerminal.verdict = OpenVerdict::kFailed;
  notTerminal.step = OpenStep::kTerminal;
  notTerminal.error = ENOTTY;
  platform::OpenCheck settings;
  settings.verdict = OpenVerdict::kFailed;
  settings.detail = "the line settings were refused";
  platform::OpenCheck unnamed;
  unnamed.verdict = OpenVerdict::kBusy;
  platform::OpenCheck locked;
  locked.verdict = OpenVerdict::kBusy;
  locked.lockPid = 77;
  locked.holders = {{77, "sleep\x1b]0;x\a"}};
  platform::OpenCheck two;
  two.verdict = OpenVerdict::kBusy;
  two.holders = {{5, ""}, {6, "cu"}};
  const struct {
    platform::OpenCheck check;
    std::string text;
  } kCases[] = {
      {{}, "can be opened"},
      {notTerminal, "cannot be opened: not a terminal: " + platform::DescribeErrno(ENOTTY)},
      {settings, "cannot be opened: the line settings were refused"},
      {unnamed, "busy: held by another program"},
      {locked, "busy: locked by sleep\\x1B]0;x\\x07 (PID 77)"},
      {two, "busy: held by PID 5, cu (PID 6)"},
  };
  for (const auto& c : kCases) EXPECT_EQ(serial::DescribeOpenCheck(c.check), c.text);
}

TEST(OpenWords, EachRefusedStepReadsAsTheDebugOutputSaysIt) {
  const struct {
    platform::OpenAttempt attempt;
    std::string text;
  } kCases[] = {
      {{}, ""},
      {{OpenStep::kUucpLock, 0, 4242, {}, {}}, "busy: locked by PID 4242"},
      {{OpenStep::kOpen, EACCES, 0, {}, {}}, "permission denied (EACCES)"},
      {{OpenStep::kOpen, EBUSY, 0, {}, {}}, "busy (EBUSY)"},
      {{OpenStep::kOpen, ENOENT, 0, {}, {}}, "no such device (ENOENT)"},
      {{OpenStep::kOpen, EINVAL, 0, {}, {}}, platform::DescribeErrno(EINVAL)},
      {{OpenStep::kLock, EWOULDBLOCK, 0, {}, {}}, "busy: another program holds its lock"},
      {{OpenStep::kLock, ENOLCK, 0, {}, {}}, "lock refused: " + platform::DescribeErrno(ENOLCK)},
      {{OpenStep::kExclusive, EPERM, 0, {}, {}},
       "exclusive mode refused: " + platform::DescribeErrno(EPERM)},
  };
  for (const auto& c : kCases) EXPECT_EQ(serial::DescribeOpenAttempt(c.attempt), c.text);
}

}  // namespace
