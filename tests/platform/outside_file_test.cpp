// Opening files named from outside the tool: each kind of file under a reader's rule and under
// the transcript's, what is refused and why, and that no refusal waits for the other end of a
// FIFO.

#include "platform/outside_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <future>
#include <string>

#include "support/temp_dir.h"

namespace {

using platform::FileAccess;
using platform::FileRefusal;
using platform::FileRule;

FileRule ReaderRule() { return platform::RegularFileToRead(8); }

FileRule TranscriptRule() {
  FileRule rule;
  rule.access = FileAccess::kWriteTruncate;
  rule.kinds = platform::kAcceptRegular | platform::kAcceptCharacterDevice | platform::kAcceptFifo;
  rule.heldDescriptors = true;
  return rule;
}

class OutsideFile : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.Valid());
    std::ofstream(In("plain")) << "12345";
    std::ofstream(In("big")) << "123456789";
    ASSERT_EQ(::mkfifo(In("fifo").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo(In("fifo-read").c_str(), 0600), 0);
    fifoReader_ = ::open(In("fifo-read").c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(fifoReader_, 0);
    ASSERT_EQ(::mkdir(In("dir").c_str(), 0700), 0);
    ASSERT_EQ(::symlink(In("plain").c_str(), In("link").c_str()), 0);
    ASSERT_EQ(::symlink(In("fifo").c_str(), In("link-to-fifo").c_str()), 0);
    ASSERT_EQ(::pipe2(readPipe_, O_CLOEXEC), 0);  // both ends held: it has a reader
    ASSERT_EQ(::pipe2(deadPipe_, O_CLOEXEC), 0);
    ::close(deadPipe_[0]);  // nobody reads it any more
  }
  void TearDown() override {
    for (int fd : {fifoReader_, readPipe_[0], readPipe_[1], deadPipe_[1]}) ::close(fd);
  }
  std::string In(const std::string& name) const { return dir_.In(name); }

  // The reason a path is refused with, or "opened". Fails, and frees the open, when it waits.
  std::string Outcome(const std::string& path, const FileRule& rule) {
    auto open =
        std::async(std::launch::async, [&] { return platform::OpenOutsideFile(path, rule); });
    if (open.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
      ADD_FAILURE() << path << ": the open waited";
      std::ofstream(In("fifo")) << "x";  // a writer frees a reader that waits; a reader a writer
    }
    const platform::OpenedFile opened = open.get();
    if (!opened.Opened()) {
      EXPECT_NE(opened.refusal, FileRefusal::kNone);
      return opened.reason;
    }
    EXPECT_EQ(opened.refusal, FileRefusal::kNone);
    return "opened";
  }

  testsupport::TempDir dir_{"outside"};
  int fifoReader_ = -1;
  int readPipe_[2] = {-1, -1};
  int deadPipe_[2] = {-1, -1};
};

TEST_F(OutsideFile, EachKindOfFileIsOpenedOrRefusedAtOnceWithItsReason) {
  const std::string fd = "/dev/fd/";
  const std::string procFd = "/proc/self/fd/";
  const std::string notTranscript = ", not a regular file, a character device or a FIFO";
  const struct {
    std::string path;
    bool transcript;  // the transcript's rule, else a reader's of at most 8 bytes
    std::string outcome;
  } kCases[] = {
      {In("plain"), false, "opened"},
      {In("big"), false, "larger than 8 bytes (9)"},
      {In("fifo"), false, "a FIFO, not a regular file"},
      {In("fifo-read"), false, "a FIFO, not a regular file"},
      {In("dir"), false, "a directory, not a regular file"},
      {"/dev/null", false, "a device, not a regular file"},
      {In("link"), false, "a symbolic link, which is not followed"},
      {In("link-to-fifo"), false, "a symbolic link, which is not followed"},
      {In("absent"), false, "it does not exist"},
      {fd + std::to_string(readPipe_[0]), false, "a symbolic link, which is not followed"},
      {In("plain"), true, "opened"},
      {In("absent"), true, "opened"},
      {In("fifo"), true, "a FIFO that nobody reads (ENXIO)"},
      {In("fifo-read"), true, "opened"},
      {In("dir"), true, "a directory" + notTranscript},
      {"/dev/null", true, "opened"},
      {In("link"), true, "a symbolic link, which is not followed"},
      {In("link-to-fifo"), true, "a symbolic link, which is not followed"},
      {fd + std::to_string(readPipe_[1]), true, "opened"},
      {procFd + std::to_string(readPipe_[1]), true, "opened"},
      {procFd + std::to_string(deadPipe_[1]), true, "a FIFO that nobody reads (ENXIO)"},
      {fd + std::to_string(readPipe_[0]), true,
       "descriptor " + std::to_string(readPipe_[0]) + " is not open for writing"},
      {fd + "999", true, "descriptor 999 is not open (EBADF)"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.path + (c.transcript ? " (transcript)" : " (reader)"));
    EXPECT_EQ(Outcome(c.path, c.transcript ? TranscriptRule() : ReaderRule()), c.outcome);
  }
  // What was written through is created private, and emptied.
  struct stat st {};
  ASSERT_EQ(::stat(In("absent").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  ASSERT_EQ(::stat(In("plain").c_str(), &st), 0);
  EXPECT_EQ(st.st_size, 0);
}

TEST_F(OutsideFile, ReadOutsideFileGivesTheBytesOrTheRefusal) {
  std::string text;
  platform::OpenedFile opened;
  ASSERT_TRUE(platform::ReadOutsideFile(In("plain"), 8, &text, &opened));
  EXPECT_EQ(text, "12345");
  EXPECT_EQ(opened.facts.kind, platform::FileKind::kRegular);
  EXPECT_FALSE(platform::ReadOutsideFile(In("absent"), 8, &text, &opened));
  EXPECT_EQ(opened.refusal, FileRefusal::kMissing);
  // /proc gives no true size: the read itself is bounded.
  EXPECT_FALSE(platform::ReadOutsideFile("/proc/self/status", 8, &text, &opened));
  EXPECT_EQ(opened.reason, "larger than 8 bytes");
  EXPECT_TRUE(text.empty());
}

TEST_F(OutsideFile, AFileOthersCanWriteOrAnotherUserOwnsIsNotTrusted) {
  platform::FileFacts facts;
  facts.kind = platform::FileKind::kRegular;
  facts.owner = ::geteuid();
  facts.mode = 0644;
  EXPECT_EQ(platform::UntrustedFileReason(facts), "");
  facts.owner = 0;
  EXPECT_EQ(platform::UntrustedFileReason(facts), "") << "root's own file in /usr/share";
  facts.mode = 0666;
  EXPECT_EQ(platform::UntrustedFileReason(facts), "anyone can write it (mode 0666)");
  facts.mode = 0664;
  facts.group = 4242424;  // no user has it as a private group
  EXPECT_EQ(platform::UntrustedFileReason(facts), "its group can write it (mode 0664)");
  facts.mode = 0644;
  facts.owner = 4242424;
  EXPECT_EQ(platform::UntrustedFileReason(facts),
            "it belongs to uid 4242424, neither root nor you");
}

}  // namespace
