// The receive side on its own: chunks in, lines, capture and matching out. No device needed.

#include <gtest/gtest.h>

#include <string>

#include "serial/response_capture.h"
#include "serial/tty_port.h"

namespace {

using serial::TtyPort;

class LineAssembler : public testing::Test {
 protected:
  void SetUp() override {
    port.capture.Store("");
    port.capture.captureEnabled = 0;
    port.capture.captureLineCount = 0;
  }
  void Feed(const std::string& bytes) { port.ReceiveChunk(bytes.data(), bytes.size()); }
  std::string Captured() {
    char line[serial::kCapturedLineSize];
    port.capture.CopyLine(line);
    return line;
  }
  std::string Prefix() {
    char prefix[serial::kCapturedPrefixSize];
    port.capture.CopyPrefix(prefix);
    return prefix;
  }
  void StartCapture() {
    port.capture.captureEnabled = 1;
    port.capture.captureLineCount = 0;
  }

  TtyPort port;
};

TEST_F(LineAssembler, AnyRunOfCrAndLfInOneChunkEndsOneLine) {
  StartCapture();
  Feed("OK\r\n");
  EXPECT_EQ(port.capture.captureLineCount, 1);
  Feed("A\r\n\r\n\n\rB\r");
  EXPECT_EQ(port.capture.captureLineCount, 3);
}

// A real modem writes its echo and its answer in separate pieces: how the bytes happen to be
// split between reads must not change which line is the second one.
TEST_F(LineAssembler, CrLfRunSplitAcrossChunksEndsOneLine) {
  for (const char* split : {"\r|\n", "\n|\r", "\r\n|\r\n", "\r|\n\r\n", "\r\n\r|\n"}) {
    std::string run = split;
    size_t bar = run.find('|');
    StartCapture();
    Feed("atI9" + run.substr(0, bar));
    Feed(run.substr(bar + 1) + "Australia\r");
    Feed("\nOK\r\n");
    EXPECT_EQ(Captured(), "Australia") << "split " << testing::PrintToString(split);
    EXPECT_EQ(port.capture.captureLineCount, 3) << testing::PrintToString(split);
  }
}

TEST_F(LineAssembler, LineLengthLimitDropsTheFirst256Characters) {
  StartCapture();
  Feed("echo\r" + std::string(255, 'a') + "\r");
  EXPECT_EQ(Captured(), std::string(79, 'a')) << "255 characters form a line, capture cut at 79";

  StartCapture();
  Feed("echo\r" + std::string(256, 'b') + "\r");
  EXPECT_EQ(Captured(), "") << "256 characters are dropped; the CR ends an empty line";

  StartCapture();
  Feed("echo\r" + std::string(256, 'c') + std::string(44, 'd') + "\r");
  EXPECT_EQ(Captured(), std::string(44, 'd'));
  EXPECT_EQ(port.linePos, 0);
}

TEST_F(LineAssembler, ThousandsOfCharactersNeverOverrunTheLine) {
  port.AddExpected("OK");
  Feed(std::string(3000, 'x'));
  EXPECT_LT(port.linePos, serial::kLineBufSize);
  EXPECT_EQ(port.IsMatched(), 0) << "no line end yet";
  Feed("OK\r\n");
  EXPECT_EQ(port.IsMatched(), 1) << "the last 184 characters and OK form one line";
}

TEST_F(LineAssembler, TextWithoutTerminatorIsNeverTested) {
  port.AddExpected("OK");
  Feed("OK");
  EXPECT_EQ(port.IsMatched(), 0);
  Feed("\r");
  EXPECT_EQ(port.IsMatched(), 1);
}

TEST_F(LineAssembler, CapturesOnlyTheSecondLineAndItsPrefix) {
  StartCapture();
  port.AddExpected("OK");
  Feed("at%T22,18\r\n");
  Feed("\r\n3C\r\n\r\nOK\r\n");
  EXPECT_EQ(Captured(), "3C");
  EXPECT_EQ(Prefix(), "3C");

  StartCapture();
  port.AddExpected("OK");
  Feed("atX\r\nA\r\nOK\r\n");
  EXPECT_EQ(Captured(), "A");
  EXPECT_EQ(Prefix(), "A") << "a one-character line gives a one-character prefix";

  StartCapture();
  port.AddExpected("never");
  Feed("atX\r\nlonger line\r\n");
  EXPECT_EQ(Prefix(), "lo");
}

TEST_F(LineAssembler, DisabledCaptureCountsNothing) {
  StartCapture();
  Feed("first\r\nsecond\r\n");
  port.capture.captureEnabled = 0;
  port.capture.captureLineCount = 0;
  Feed("third\r\nfourth\r\n");
  EXPECT_EQ(port.capture.captureLineCount, 0);
  EXPECT_EQ(Captured(), "second");
}

TEST_F(LineAssembler, NothingIsCountedCapturedOrTestedAfterAMatch) {
  StartCapture();
  port.AddExpected("at");
  Feed("atI5\r\nfirmware\r\n");
  EXPECT_EQ(port.IsMatched(), 1);
  EXPECT_EQ(port.capture.captureLineCount, 1) << "the echo matched; the next line is ignored";
  EXPECT_EQ(Captured(), "");

  port.ClearExpected();
  EXPECT_EQ(port.IsMatched(), 1) << "only AddExpected clears the flag";
  port.AddExpected("zzz");
  EXPECT_EQ(port.IsMatched(), 0);
}

TEST_F(LineAssembler, SecondLineThatMatchesIsCapturedFirst) {
  StartCapture();
  port.AddExpected("OK");
  Feed("echo\r\nOK\r\n");
  EXPECT_EQ(port.IsMatched(), 1);
  EXPECT_EQ(Captured(), "OK");
}

TEST_F(LineAssembler, ThirtyTextsAtMostAndTheThirtyFirstLeavesMatchedAlone) {
  for (int i = 0; i < serial::kMaxExpected; ++i)
    port.AddExpected(("t" + std::to_string(i)).c_str());
  Feed("t29\r");
  ASSERT_EQ(port.IsMatched(), 1);
  port.AddExpected("t30");
  EXPECT_EQ(port.expectCount, serial::kMaxExpected);
  EXPECT_EQ(port.IsMatched(), 1);
  port.ClearExpected();
  port.AddExpected(std::string(150, 'L').c_str());
  EXPECT_EQ(std::string(port.expectTexts[0]), std::string(99, 'L')) << "kept to 99 characters";
}

TEST_F(LineAssembler, EmptyExpectedTextMatchesTheNextLineEndEvenAnEmptyLine) {
  port.AddExpected("");
  Feed("\r\n");
  EXPECT_EQ(port.IsMatched(), 1);
}

TEST_F(LineAssembler, MatchingIsCaseSensitive) {
  port.AddExpected("OK");
  Feed("ok\r\n");
  EXPECT_EQ(port.IsMatched(), 0);
}

TEST_F(LineAssembler, NulHidesTheRestOfALineWhileFfIsAnOrdinaryByte) {
  port.AddExpected("OK");
  Feed(std::string("AB\0 OK\r\n", 8));
  EXPECT_EQ(port.IsMatched(), 0);
  Feed("\xff\xfeOK\xff\r\n");
  EXPECT_EQ(port.IsMatched(), 1);
}

TEST_F(LineAssembler, UnfinishedLineContinuesWithTheNextChunk) {
  port.AddExpected("CONNECT");
  Feed("CON");
  Feed("NECT\r\n");
  EXPECT_EQ(port.IsMatched(), 1);
}

}  // namespace
