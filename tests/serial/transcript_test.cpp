// The transcript file: one escaped line per event, created for its owner only, never through a
// symbolic link, and in order while the reader thread hands over lines.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/clock.h"
#include "serial/transcript.h"
#include "support/temp_dir.h"

namespace {

std::vector<std::string> ReadLines(const std::string& path) {
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

class TranscriptFile : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(temp.Valid()); }
  testsupport::TempDir temp{"transcript"};
  const std::string dir = temp.Path();
  const std::string path = temp.In("t.log");
};

TEST(TranscriptText, ControlBytesBackslashAndHighBytesAreEscaped) {
  EXPECT_EQ(serial::EscapeTranscriptText("AT&FZ\r"), "AT&FZ\\r");
  EXPECT_EQ(serial::EscapeTranscriptText("\r\nOK\r\n"), "\\r\\nOK\\r\\n");
  EXPECT_EQ(serial::EscapeTranscriptText(std::string("a\0b\x1a\x7f\xff\t\\", 8)),
            "a\\x00b\\x1A\\x7F\\xFF\\t\\\\");
  EXPECT_EQ(serial::TranscriptLine(1025, "COM3", '<', "OK\n"), "1025 COM3 < OK\\n\n");
}

TEST_F(TranscriptFile, IsCreatedForItsOwnerOnlyAndAnOldOneIsEmptied) {
  const mode_t old = ::umask(0);
  serial::Transcript transcript;
  std::string error;
  ASSERT_TRUE(transcript.Open(path.c_str(), platform::NowMs(), &error)) << error;
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  transcript.Sent("COM3", "AT&FZ\r");
  transcript.Close();
  EXPECT_EQ(ReadLines(path).size(), 1u);

  ASSERT_EQ(::chmod(path.c_str(), 0644), 0);
  ASSERT_TRUE(transcript.Open(path.c_str(), platform::NowMs(), &error)) << error;
  transcript.Close();
  ::umask(old);
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  EXPECT_EQ(st.st_size, 0);
}

TEST_F(TranscriptFile, ASymbolicLinkIsRefusedAndItsTargetUntouched) {
  const std::string target = dir + "/target";
  std::ofstream(target) << "keep\n";
  ASSERT_EQ(::symlink(target.c_str(), path.c_str()), 0);
  serial::Transcript transcript;
  std::string error;
  EXPECT_FALSE(transcript.Open(path.c_str(), platform::NowMs(), &error));
  EXPECT_EQ(error, "a symbolic link, which is not followed");
  EXPECT_FALSE(transcript.IsOpen());
  EXPECT_EQ(ReadLines(target), std::vector<std::string>{"keep"});
}

TEST_F(TranscriptFile, EachKindOfEventIsOneLine) {
  serial::Transcript transcript;
  std::string error;
  ASSERT_TRUE(transcript.Open(path.c_str(), platform::NowMs(), &error)) << error;
  transcript.Event("COM3", "open /dev/pts/7");
  transcript.Sent("COM3", "AT&FZ\r");
  transcript.Received("COM3", "OK");
  transcript.Event("COM3", "time-out waiting for \"OK\"");
  transcript.Received("COM3", "tail", true);
  transcript.Close();
  transcript.Sent("COM3", "after close");  // ignored
  const std::vector<std::string> lines = ReadLines(path);
  ASSERT_EQ(lines.size(), 6u);
  const char* expected[] = {
      " COM3 ! open /dev/pts/7",
      " COM3 > AT&FZ\\r",
      " COM3 < OK",
      " COM3 ! time-out waiting for \"OK\"",
      " COM3 ! received line cut: longer than 255 bytes, only its last 4 kept",
      " COM3 < tail"};
  for (size_t i = 0; i < 6; ++i) {
    const size_t space = lines[i].find(' ');
    ASSERT_NE(space, std::string::npos);
    EXPECT_LT(std::stol(lines[i].substr(0, space)), 1000);
    EXPECT_EQ(lines[i].substr(space), expected[i]);
  }
}

TEST_F(TranscriptFile, ReaderLinesAndSentLinesStayInTimeOrder) {
  serial::Transcript transcript;
  std::string error;
  ASSERT_TRUE(transcript.Open(path.c_str(), platform::NowMs(), &error)) << error;
  constexpr int kLines = 3000;
  std::thread reader([&] {
    for (int i = 0; i < kLines; ++i) transcript.Received("COM3", "line " + std::to_string(i));
  });
  for (int i = 0; i < 300; ++i) {
    transcript.Sent("COM3", "cmd " + std::to_string(i));
    transcript.Drain();
  }
  reader.join();
  transcript.Close();

  const std::vector<std::string> lines = ReadLines(path);
  ASSERT_EQ(lines.size(), static_cast<size_t>(kLines + 300));
  long lastMs = 0;
  int nextReceived = 0;
  int nextSent = 0;
  for (const std::string& line : lines) {
    std::istringstream in(line);
    long ms;
    std::string com, dir, word;
    int number;
    in >> ms >> com >> dir >> word >> number;
    EXPECT_GE(ms, lastMs) << line;
    lastMs = ms;
    if (dir == "<")
      EXPECT_EQ(number, nextReceived++) << line;
    else
      EXPECT_EQ(number, nextSent++) << line;
  }
}

TEST_F(TranscriptFile, LinesBeyondTheQueueAreCountedInsteadOfKept) {
  serial::Transcript transcript;
  std::string error;
  ASSERT_TRUE(transcript.Open(path.c_str(), platform::NowMs(), &error)) << error;
  for (size_t i = 0; i < serial::Transcript::kMaxQueued + 7; ++i) transcript.Received("COM4", "x");
  transcript.Drain();
  transcript.Close();
  const std::vector<std::string> lines = ReadLines(path);
  ASSERT_EQ(lines.size(), serial::Transcript::kMaxQueued + 1);
  EXPECT_NE(lines.back().find(" COM4 ! 7 received lines not recorded"), std::string::npos)
      << lines.back();
}

// A full disk, or a pipe whose reader has gone (which would raise SIGPIPE): the first failure is
// kept, said once on standard error with the file and the reason, and nothing more is written.
TEST_F(TranscriptFile, AFailedWriteIsKeptSaidOnceAndStopsWriting) {
  int pipeFds[2];
  ASSERT_EQ(::pipe2(pipeFds, O_CLOEXEC), 0);
  const std::string pipeName = "/dev/fd/" + std::to_string(pipeFds[1]);
  for (const auto& [name, reason] :
       {std::pair<std::string, std::string>{"/dev/full", "ENOSPC"}, {pipeName, "EPIPE"}}) {
    SCOPED_TRACE(name);
    serial::Transcript transcript;
    std::string error;
    ASSERT_TRUE(transcript.Open(name.c_str(), platform::NowMs(), &error)) << error;
    EXPECT_EQ(transcript.Path(), name);
    EXPECT_TRUE(transcript.WriteError().empty());
    if (name == pipeName) ::close(pipeFds[0]);  // the reader goes
    testing::internal::CaptureStderr();
    transcript.Sent("COM3", "AT\r");
    transcript.Sent("COM3", "ATI3\r");
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(transcript.WriteError().find(reason), std::string::npos) << transcript.WriteError();
    EXPECT_EQ(said, "kalvex-modem-diag: the transcript " + name + " is incomplete from here: " +
                        transcript.WriteError() + "; the run goes on\n");
    transcript.Close();
  }
  ::close(pipeFds[1]);
}

}  // namespace
