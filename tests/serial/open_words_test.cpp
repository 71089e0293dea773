// A refused open in words, from the facts the open and the check found (the hints are the
// verdicts' own; the rest of the words are proven there and by the port's tests).

#include "serial/open_words.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "platform/sys_error.h"

namespace {

using platform::OpenStep;
using platform::OpenVerdict;

TEST(OpenWords, ChecksAndRefusedStepsReadAsBefore) {
  platform::OpenCheck notTerminal;
  notTerminal.verdict = OpenVerdict::kFailed;
  notTerminal.step = OpenStep::kTerminal;
  notTerminal.error = ENOTTY;
  platform::OpenCheck unnamed;
  unnamed.verdict = OpenVerdict::kBusy;
  platform::OpenCheck locked = unnamed;
  locked.lockPid = 77;
  locked.holders = {{77, "sleep"}};
  EXPECT_EQ(serial::DescribeOpenCheck({}), "can be opened");
  EXPECT_EQ(serial::DescribeOpenCheck(notTerminal),
            "cannot be opened: not a terminal: " + platform::DescribeErrno(ENOTTY));
  EXPECT_EQ(serial::DescribeOpenCheck(unnamed), "busy: held by another program");
  EXPECT_EQ(serial::DescribeOpenCheck(locked), "busy: locked by sleep (PID 77)");

  EXPECT_EQ(serial::DescribeOpenAttempt({OpenStep::kUucpLock, 0, 4242, {}, {}}),
            "busy: locked by PID 4242");
  EXPECT_EQ(serial::DescribeOpenAttempt({OpenStep::kLock, EWOULDBLOCK, 0, {}, {}}),
            "busy: another program holds its lock");
  EXPECT_EQ(serial::DescribeOpenAttempt({OpenStep::kExclusive, EPERM, 0, {}, {}}),
            "exclusive mode refused: " + platform::DescribeErrno(EPERM));
}

}  // namespace
