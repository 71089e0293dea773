// Command transactions against a modem on a real pseudo-terminal.

#include <gtest/gtest.h>

#include "modem/session.h"
#include "modem/transaction.h"
#include "platform/clock.h"
#include "scripted_modem.h"
#include "serial/tty_port.h"
#include "support/pty_pair.h"

namespace {

using modem::Framing;
using modem::IdentifyModem;
using modem::Transact;
using modem::WaitResult;
using modem_test::Answer;
using modem_test::ScriptedModem;
using testsupport::ComDir;
using testsupport::PtyPair;

class TransactionTest : public testing::Test {
 protected:
  void TearDown() override { session.port.Close(); }
  ComDir dir;
  modem::Session session;
};

// A command that timed out may still answer: that answer is never the next command's, with the
// modem's echo on (its own echo tells) or off (the late answer is waited for first), and an "OK"
// to "H" counts only when what follows it is the next command's own.
TEST_F(TransactionTest, ALateAnswerIsNeverALaterCommandsAnswer) {
  using modem::OkReply;
  struct Case {
    bool echo;
    std::map<std::string, std::string> answers;
    const char* late;  // answered 400 ms after its time-out, or a command answered at once
    OkReply lateReply;
    const char* next;
    OkReply nextReply;
  };
  const Case cases[] = {
      {true, {{"Z", Answer({"ERROR"})}}, "L3", OkReply::kNoAnswer, "Z", OkReply::kError},
      {false, {{"Z", Answer({"ERROR"})}}, "L3", OkReply::kNoAnswer, "Z", OkReply::kError},
      {true, {}, "%T24", OkReply::kOk, "H", OkReply::kOk},
      {true, {{"H", Answer({"OK", "ERROR"})}}, "%T24", OkReply::kOk, "H", OkReply::kUnconfirmed},
  };
  for (const Case& c : cases) {
    ScriptedModem modem(c.answers);
    ASSERT_TRUE(modem.Valid());
    modem.SetEcho(c.echo);
    if (c.lateReply == OkReply::kNoAnswer) modem.SetDelay(c.late, 3400);
    dir.Link(3, modem.Path());
    ASSERT_TRUE(modem::OpenComPort(session, 3));
    EXPECT_EQ(modem::TransactOk(session, c.late), c.lateReply) << c.late;
    EXPECT_EQ(c.next == std::string("H") ? modem::TransactOkConfirmed(session, c.next)
                                         : modem::TransactOk(session, c.next),
              c.nextReply)
        << c.next << " echo " << c.echo;
    session.port.Close();
  }
}

TEST_F(TransactionTest, TimeOutEndsJustPastItsDeadlineAndThenSettles) {
  PtyPair silent;
  dir.Link(3, silent.SlavePath());
  ASSERT_TRUE(modem::OpenComPort(session, 3));
  int64_t start = platform::NowMs();
  EXPECT_EQ(Transact(session, "&FZ", "OK", 3), WaitResult::kTimedOut);
  int64_t took = platform::NowMs() - start;
  EXPECT_GE(took, 3100);
  EXPECT_LT(took, 3300);
}

TEST_F(TransactionTest, PrefixAddsAtAndCrLfWhileARawSendGoesOutAsItIs) {
  PtyPair line;
  dir.Link(3, line.SlavePath());
  ASSERT_TRUE(modem::OpenComPort(session, 3));
  EXPECT_TRUE(modem::SendModemCommand(session, "+++", Framing::kAsIs));
  EXPECT_EQ(line.ReadFor(150), "+++");
  EXPECT_TRUE(modem::SendModemCommand(session, "I3"));
  EXPECT_EQ(line.ReadFor(150), "atI3\r\n");
}

TEST_F(TransactionTest, CommandThatDoesNotFitIsRefusedWholeRatherThanCut) {
  PtyPair line;
  dir.Link(3, line.SlavePath());
  ASSERT_TRUE(modem::OpenComPort(session, 3));
  std::string fits(251, 'S');  // with "at" and CR LF: 255 characters, the most the buffer holds
  EXPECT_TRUE(modem::SendModemCommand(session, fits.c_str()));
  EXPECT_EQ(line.ReadFor(150), "at" + fits + "\r\n");

  std::string tooLong(252, 'L');
  testing::internal::CaptureStderr();
  EXPECT_FALSE(modem::SendModemCommand(session, tooLong.c_str()));
  EXPECT_NE(testing::internal::GetCapturedStderr().find("refused"), std::string::npos);
  EXPECT_FALSE(modem::SendModemCommand(session, std::string(256, 'R').c_str(), Framing::kAsIs));
  EXPECT_EQ(line.ReadFor(150), "") << "nothing of a refused command reaches the modem";
}

TEST_F(TransactionTest, TransactionOnAClosedPortTimesOut) {
  EXPECT_FALSE(modem::OpenComPort(session, 5));
  EXPECT_EQ(Transact(session, "&FZ", "OK", 1), WaitResult::kTimedOut);
}

TEST_F(TransactionTest, IdentifyFindsAnyListedLineInTheAnswer) {
  ScriptedModem modem({{"I3", Answer({"Acme Quux 56K V.92 rev 4", "OK"})}});
  ASSERT_TRUE(modem.Valid());
  dir.Link(3, modem.Path());
  ASSERT_TRUE(modem::OpenComPort(session, 3));
  const char list[3][80] = {"Nothing Like It", "Quux 56K V.92", "Other"};
  EXPECT_EQ(IdentifyModem(session, list, 3), WaitResult::kSeen);
  EXPECT_EQ(IdentifyModem(session, list, 1), WaitResult::kTimedOut)
      << "the first line alone does not match";
}

// An empty list would accept any device that answers "OK", and its registers would be written.
TEST_F(TransactionTest, IdentifyWithAnEmptyListMatchesNothingAndSendsNothing) {
  ScriptedModem modem({});
  ASSERT_TRUE(modem.Valid());
  dir.Link(3, modem.Path());
  ASSERT_TRUE(modem::OpenComPort(session, 3));
  const char list[1][80] = {""};

  ASSERT_EQ(Transact(session, "&FZ", "OK", 3), WaitResult::kSeen);
  EXPECT_EQ(IdentifyModem(session, list, 0), WaitResult::kTimedOut);
  EXPECT_EQ(modem.Received(), (std::vector<std::string>{"at&FZ"}));
}

}  // namespace
