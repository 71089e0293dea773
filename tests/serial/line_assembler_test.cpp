// The receive side on its own: chunks in, lines, capture and matching out. No device needed.

#include <gtest/gtest.h>

#include <string>

#include "serial/line_assembler.h"
#include "serial/response_capture.h"

namespace {

class LineAssembler : public testing::Test {
 protected:
  void Feed(const std::string& bytes) { lines.Receive(bytes.data(), bytes.size()); }
  std::string Captured() {
    char line[serial::kLineSize];
    capture.CopyLine(line);
    return line;
  }
  std::string Prefix() {
    char prefix[serial::kCapturedPrefixSize];
    capture.CopyPrefix(prefix);
    return prefix;
  }
  void StartCapture() {
    capture.captureEnabled = 1;
    capture.Restart();
  }

  serial::ResponseCapture capture;
  serial::LineAssembler lines{capture};
};

TEST_F(LineAssembler, AnyRunOfCrAndLfInOneChunkEndsOneLine) {
  StartCapture();
  Feed("OK\r\n");
  EXPECT_EQ(capture.captureLineCount, 1);
  Feed("A\r\n\r\n\n\rB\r");
  EXPECT_EQ(capture.captureLineCount, 3);
}

// A real modem writes its echo and its answer in separate pieces: how the bytes happen to be
// split between reads must not change which line is the second one.
TEST_F(LineAssembler, CrLfRunSplitAcrossChunksEndsOneLine) {
  for (const char* split : {"\r|\n", "\n|\r", "\r\n|\r\n", "\r|\n\r\n", "\r\n\r|\n"}) {
    std::string run = split;
    size_t bar = run.find('|');
    StartCapture();
    lines.BeginCommand("atI9");
    Feed("atI9" + run.substr(0, bar));
    Feed(run.substr(bar + 1) + "Australia\r");
    Feed("\nOK\r\n");
    EXPECT_EQ(Captured(), "Australia") << "split " << testing::PrintToString(split);
    EXPECT_EQ(capture.captureLineCount, 3) << testing::PrintToString(split);
  }
}

TEST_F(LineAssembler, LineLengthLimitDropsTheFirst256CharactersAndMarksTheLineCut) {
  bool cut = true;
  StartCapture();
  Feed(std::string(255, 'a') + "\r");
  EXPECT_EQ(Captured(), std::string(79, 'a')) << "255 characters form a line, capture cut at 79";
  EXPECT_EQ(capture.WholeLine(&cut), std::string(255, 'a')) << "the answer is kept whole";
  EXPECT_FALSE(cut);

  StartCapture();
  Feed(std::string(256, 'b') + "\r");
  EXPECT_EQ(capture.answerLines, 0) << "256 characters are dropped; the CR ends an empty line";

  StartCapture();
  Feed(std::string(256, 'c') + std::string(44, 'd') + "\r");
  EXPECT_EQ(capture.WholeLine(&cut), std::string(44, 'd'));
  EXPECT_TRUE(cut) << "what is left of a longer line says so";
  EXPECT_EQ(lines.PendingLength(), 0u);
}

TEST_F(LineAssembler, ThousandsOfCharactersNeverOverrunTheLine) {
  lines.AddExpected("OK");
  Feed(std::string(3000, 'x'));
  EXPECT_LT(lines.PendingLength(), unsigned(serial::kLineBufSize));
  EXPECT_FALSE(lines.IsMatched()) << "no line end yet";
  Feed("OK\r\n");
  EXPECT_TRUE(lines.IsMatched()) << "the last 184 characters and OK form one line";
}

TEST_F(LineAssembler, TextWithoutTerminatorIsNeverTested) {
  lines.AddExpected("OK");
  Feed("OK");
  EXPECT_FALSE(lines.IsMatched());
  Feed("\r");
  EXPECT_TRUE(lines.IsMatched());
}

TEST_F(LineAssembler, CapturesOnlyTheFirstAnswerLineAndItsPrefix) {
  StartCapture();
  lines.BeginCommand("at%T22,18");
  lines.AddExpected("OK");
  Feed("at%T22,18\r\n");
  Feed("\r\n3C\r\n\r\nOK\r\n");
  EXPECT_EQ(Captured(), "3C");
  EXPECT_EQ(Prefix(), "3C");

  StartCapture();
  lines.BeginCommand("atX");
  lines.AddExpected("OK");
  Feed("atX\r\nA\r\nOK\r\n");
  EXPECT_EQ(Captured(), "A");
  EXPECT_EQ(Prefix(), "A") << "a one-character line gives a one-character prefix";

  StartCapture();
  lines.BeginCommand("atX");
  lines.AddExpected("never");
  Feed("atX\r\nlonger line\r\nsecond line\r\n");
  EXPECT_EQ(Prefix(), "lo");
}

TEST_F(LineAssembler, DisabledCaptureCountsNothing) {
  StartCapture();
  Feed("first\r\nsecond\r\n");
  capture.captureEnabled = 0;
  capture.captureLineCount = 0;
  Feed("third\r\nfourth\r\n");
  EXPECT_EQ(capture.captureLineCount, 0);
  EXPECT_EQ(Captured(), "first");
}

TEST_F(LineAssembler, NothingIsCountedCapturedOrTestedAfterAMatch) {
  StartCapture();
  lines.AddExpected("fir");
  Feed("first\r\nsecond\r\n");
  EXPECT_TRUE(lines.IsMatched());
  EXPECT_EQ(capture.captureLineCount, 1) << "the first line matched; the next is ignored";
  EXPECT_EQ(Captured(), "first");

  lines.ClearExpected();
  EXPECT_TRUE(lines.IsMatched()) << "only AddExpected clears the flag";
  lines.AddExpected("zzz");
  EXPECT_FALSE(lines.IsMatched());
}

TEST_F(LineAssembler, AnswerLineThatMatchesIsCapturedFirst) {
  StartCapture();
  lines.BeginCommand("atI3");
  lines.AddExpected("Zelto");
  Feed("atI3\r\nZelto\r\n");
  EXPECT_TRUE(lines.IsMatched());
  EXPECT_EQ(Captured(), "Zelto");
}

TEST_F(LineAssembler, ThirtyTextsAtMostAndTheThirtyFirstLeavesMatchedAlone) {
  for (int i = 0; i < serial::kMaxExpected; ++i)
    lines.AddExpected(("t" + std::to_string(i)).c_str());
  Feed("t29\r");
  ASSERT_TRUE(lines.IsMatched());
  lines.AddExpected("t30");
  EXPECT_EQ(lines.ExpectedCount(), serial::kMaxExpected);
  EXPECT_TRUE(lines.IsMatched());
  lines.ClearExpected();
  lines.AddExpected(std::string(150, 'L').c_str());
  EXPECT_EQ(lines.ExpectedText(0), std::string(99, 'L')) << "kept to 99 characters";
}

TEST_F(LineAssembler, EmptyExpectedTextMatchesTheNextLineEndEvenAnEmptyLine) {
  lines.AddExpected("");
  Feed("\r\n");
  EXPECT_TRUE(lines.IsMatched());
}

TEST_F(LineAssembler, MatchingIsCaseSensitive) {
  lines.AddExpected("OK");
  Feed("ok\r\n");
  EXPECT_FALSE(lines.IsMatched());
}

TEST_F(LineAssembler, NulHidesTheRestOfALineWhileFfIsAnOrdinaryByte) {
  lines.AddExpected("OK");
  Feed(std::string("AB\0 OK\r\n", 8));
  EXPECT_FALSE(lines.IsMatched());
  Feed("\xff\xfeOK\xff\r\n");
  EXPECT_TRUE(lines.IsMatched());
}

TEST_F(LineAssembler, UnfinishedLineContinuesWithTheNextChunk) {
  lines.AddExpected("CONNECT");
  Feed("CON");
  Feed("NECT\r\n");
  EXPECT_TRUE(lines.IsMatched());
}

// What an answer is, read from what each line is rather than where it falls: the command's echo,
// result codes, unsolicited codes and empty lines are never the captured answer, and an
// identification (kAnswerLine) is matched against whole answer lines only.
TEST_F(LineAssembler, AnswersAreReadByWhatTheyAre) {
  const serial::MatchScope any = serial::MatchScope::kAnyLine, id = serial::MatchScope::kAnswerLine;
  const struct {
    const char* echo;  // "": a modem with echo off
    bool untilEcho;
    serial::MatchScope scope;
    const char* expected;
    std::string bytes;
    const char* answer;  // nullptr: none captured
    bool matched;
  } cases[] = {
      {"atI3", false, id, "Zelto", "atI3\r\nRING\r\n\r\nZelto V.92\r\nOK\r\n", "Zelto V.92", true},
      {"atI5", false, any, "OK", "ATi5\r\nNO CARRIER\r\nconnect 9600\r\n ring \r\n3.4\r\nOK\r\n",
       "3.4", true},
      {"", false, any, "OK", "\r\nOK\r\n", nullptr, true},
      {"", false, any, "OK", "\r\nRING\r\n3C\r\nOK\r\n", "3C", true},
      {"at%T21,18,0", false, any, "T21", "at%T21,18,0\r\nOK\r\n", nullptr, false},
      {"atI3", false, id, "I3", "atI3\r\nForeign 1.0\r\nOK\r\n", "Foreign 1.0", false},
      {"atI3", false, id, "OK", "atI3\r\nOK\r\n", nullptr, false},
      {"atZ", true, any, "OK", "05\r\nOK\r\natZ\r\nERROR\r\n", nullptr, false},
      {"at%T22,29", true, any, "OK", "OK\r\nat%T22,29\r\n0C\r\nOK\r\n", "0C", true},
      {"atI3", false, id, "Zelto", "atI3\r\n" + std::string(256, 'x') + "Zelto\r\n", "Zelto",
       false},
  };
  for (const auto& c : cases) {
    StartCapture();
    lines.BeginCommand(c.echo, c.untilEcho, c.scope);
    lines.ClearExpected();
    lines.AddExpected(c.expected);
    Feed(c.bytes);
    EXPECT_EQ(capture.answerLines > 0 ? capture.WholeLine() : "-", c.answer ? c.answer : "-")
        << c.bytes;
    EXPECT_EQ(lines.IsMatched(), c.matched) << c.bytes;
    EXPECT_EQ(lines.EchoSeen(), c.echo[0] != '\0') << c.bytes;
  }
}

}  // namespace
