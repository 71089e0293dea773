// Opening files that must be plain files: what is refused, and why, without ever waiting.

#include "platform/regular_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

using platform::OpenRegularFile;
using platform::OpenRegularFileStream;
using platform::SymlinkPolicy;

class RegularFile : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/kalvex-regular-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
    std::ofstream(In("plain")) << "12345";
    ASSERT_EQ(::mkfifo(In("fifo").c_str(), 0600), 0);
    ASSERT_EQ(::mkdir(In("dir").c_str(), 0700), 0);
    ASSERT_EQ(::symlink(In("plain").c_str(), In("link").c_str()), 0);
    ASSERT_EQ(::symlink(In("fifo").c_str(), In("link-to-fifo").c_str()), 0);
  }
  void TearDown() override {
    for (const char* name : {"plain", "fifo", "link", "link-to-fifo"}) ::unlink(In(name).c_str());
    ::rmdir(In("dir").c_str());
    ::rmdir(dir_.c_str());
  }
  std::string In(const char* name) const { return dir_ + "/" + name; }

  // The reason a path is refused with, or "opened".
  std::string Outcome(const std::string& path, SymlinkPolicy links) const {
    std::string reason = "(untouched)";
    platform::UniqueFd fd = OpenRegularFile(path.c_str(), links, &reason);
    return fd.Valid() ? "opened" : reason;
  }

  std::string dir_;
};

TEST_F(RegularFile, OnlyARegularFileOpensAndEveryOtherKindSaysWhatItIs) {
  for (SymlinkPolicy links : {SymlinkPolicy::kFollow, SymlinkPolicy::kRefuse}) {
    EXPECT_EQ(Outcome(In("plain"), links), "opened");
    EXPECT_EQ(Outcome(In("fifo"), links), "a FIFO, not a regular file");
    EXPECT_EQ(Outcome(In("dir"), links), "a directory, not a regular file");
    EXPECT_EQ(Outcome("/dev/null", links), "a device, not a regular file");
    EXPECT_EQ(Outcome(In("absent"), links), "") << "missing: no reason";
  }
  EXPECT_EQ(Outcome(In("link"), SymlinkPolicy::kFollow), "opened");
  EXPECT_EQ(Outcome(In("link-to-fifo"), SymlinkPolicy::kFollow), "a FIFO, not a regular file");
  EXPECT_EQ(Outcome(In("link"), SymlinkPolicy::kRefuse), "a symbolic link, which is not followed");
  EXPECT_EQ(Outcome(In("link-to-fifo"), SymlinkPolicy::kRefuse),
            "a symbolic link, which is not followed");
}

TEST_F(RegularFile, StreamReadsTheFileThroughALink) {
  platform::UniqueFile file = OpenRegularFileStream(In("link").c_str());
  ASSERT_TRUE(file);
  char text[8] = {};
  EXPECT_EQ(std::fread(text, 1, sizeof text, file.get()), 5u);
  EXPECT_STREQ(text, "12345");
  std::string reason;
  EXPECT_FALSE(OpenRegularFileStream(In("fifo").c_str(), &reason));
  EXPECT_EQ(reason, "a FIFO, not a regular file");
}

}  // namespace
