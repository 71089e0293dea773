// The identification list as ati3.dat gives it: entries, limits, line endings and bad files.

#include "modem/identification_list.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <random>
#include <string>
#include <vector>

#include "modem/detection.h"
#include "modem/recording_view.h"

namespace {

namespace fs = std::filesystem;

class IdentificationList : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("kalvex-idlist-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
            "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string Write(const std::string& bytes, const char* name = "ati3.dat") {
    fs::path path = dir_ / name;
    std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
    return path.string();
  }

  // The entries read from a file of these bytes.
  std::vector<std::string> Entries(const std::string& bytes) {
    modem::IdentificationList list;
    EXPECT_TRUE(modem::ReadIdentificationFile(Write(bytes).c_str(), list));
    std::vector<std::string> entries;
    for (int i = 0; i < list.count; ++i) {
      EXPECT_NE(std::memchr(list.lines[i], '\0', modem::kIdentificationLineSize), nullptr);
      entries.emplace_back(list.lines[i]);
    }
    return entries;
  }

  fs::path dir_;
};

using Lines = std::vector<std::string>;

TEST_F(IdentificationList, EntriesAreLinesWithoutTheirNewline) {
  EXPECT_EQ(Entries("Kalvex V.92\nZelto SW 56K\nlast without newline"),
            (Lines{"Kalvex V.92", "Zelto SW 56K", "last without newline"}));
}

TEST_F(IdentificationList, BlankLineStaysAnEntryOfOnlyANewline) {
  EXPECT_EQ(Entries("a\n\n\nb\n"), (Lines{"a", "\n", "\n", "b"}));
}

TEST_F(IdentificationList, EmptyFileLoadsNoEntries) { EXPECT_TRUE(Entries("").empty()); }

TEST_F(IdentificationList, LongLineContinuesAsFurtherEntries) {
  std::string hundred(100, 'x');
  for (int i = 0; i < 100; ++i) hundred[i] = char('A' + i % 26);
  EXPECT_EQ(Entries(hundred + "\nnext\n"),
            (Lines{hundred.substr(0, 79), hundred.substr(79), "next"}));

  // 79 characters fill an entry; the newline after them is read as an entry of its own.
  std::string full(79, 'y');
  EXPECT_EQ(Entries(full + "\nz\n"), (Lines{full, "\n", "z"}));
}

TEST_F(IdentificationList, OnlyTheFirstThirtyEntriesCount) {
  std::string file;
  for (int i = 0; i < 45; ++i) file += "line " + std::to_string(i) + "\n";
  Lines entries = Entries(file);
  ASSERT_EQ(entries.size(), 30u);
  EXPECT_EQ(entries.front(), "line 0");
  EXPECT_EQ(entries.back(), "line 29");

  // The limit counts entries, not physical lines: continuations use it up too.
  Lines longLines = Entries(std::string(79 * 31, 'q') + "\n");
  EXPECT_EQ(longLines.size(), 30u);
}

TEST_F(IdentificationList, CrLfFileGivesTheEntriesOfTheLfFile) {
  std::string lf = "Kalvex V.92\n\n" + std::string(78, 'm') + "\n" + std::string(100, 'n') +
                   "\nlone\rcr stays\n" + std::string(79, 'e') + "\nend";
  std::string crlf;
  for (char c : lf) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  Lines fromLf = Entries(lf);
  EXPECT_EQ(Entries(crlf), fromLf);
  // A 78-character line with CR LF still fits one entry: the pair is one newline before cutting.
  EXPECT_EQ(fromLf[2], std::string(78, 'm'));
  EXPECT_EQ(fromLf[5], "lone\rcr stays");
  EXPECT_EQ(fromLf.size(), 9u);
}

TEST_F(IdentificationList, CtrlZEndsTheFile) {
  EXPECT_EQ(Entries("one\ntw\x1Ao\nthree\n"), (Lines{"one", "tw"}));
  // A CR before the Ctrl-Z has no LF to pair with and stays.
  EXPECT_EQ(Entries("one\r\x1A\n"), (Lines{"one\r"}));
}

TEST_F(IdentificationList, NulByteEndsTheEntryButNotTheFile) {
  using namespace std::string_literals;
  // The rest of that line is still consumed by the read, so the next line is the next entry.
  EXPECT_EQ(Entries("ab\0cd\nxyz\n"s), (Lines{"ab", "xyz"}));
  // An entry with no text before its NUL would match every line, the echo included: it is
  // kept as a blank line instead, which never matches.
  EXPECT_EQ(Entries("\0hidden\nxyz\n"s), (Lines{"\n", "xyz"}));
}

TEST_F(IdentificationList, BinaryJunkGivesBoundedEntriesThatNeverMatchEverything) {
  std::mt19937 random(1234);
  for (int round = 0; round < 20; ++round) {
    std::string junk(5000, '\0');
    for (char& c : junk) {
      do c = char(random() & 0xFF);
      while (c == '\x1A' && round % 2 == 0);  // half the rounds may end early at a Ctrl-Z
    }
    modem::IdentificationList list;
    ASSERT_TRUE(modem::ReadIdentificationFile(Write(junk).c_str(), list));
    ASSERT_LE(list.count, 30);
    for (int i = 0; i < list.count; ++i) {
      size_t length = strnlen(list.lines[i], modem::kIdentificationLineSize);
      ASSERT_LT(length, size_t(modem::kIdentificationLineSize));
      EXPECT_GT(length, 0u) << "an empty entry would match every line";
      if (std::strcmp(list.lines[i], "\n") != 0) {
        EXPECT_EQ(std::strchr(list.lines[i], '\n'), nullptr);
      }
    }
  }
}

TEST_F(IdentificationList, MissingFileOrDirectoryIsNotRead) {
  modem::IdentificationList list;
  list.count = 5;
  EXPECT_FALSE(modem::ReadIdentificationFile((dir_ / "absent.dat").c_str(), list));
  EXPECT_EQ(list.count, 0);
  fs::create_directory(dir_ / "ati3.dat");
  list.count = 5;
  EXPECT_FALSE(modem::ReadIdentificationFile((dir_ / "ati3.dat").c_str(), list));
  EXPECT_EQ(list.count, 0);
}

// A FIFO would block start-up until someone writes to it; like a directory, it counts as
// missing. A symbolic link is not followed either: a list in a shared directory could point
// anywhere. If the read waits, writing to the FIFO frees it, so the failure ends the test instead
// of hanging it.
TEST_F(IdentificationList, OnlyARegularFileIsReadAndNeverThroughALink) {
  const std::string fifo = (dir_ / "fifo.dat").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  fs::create_symlink(Write("Kalvex V.92\n", "plain.dat"), dir_ / "link.dat");
  fs::create_symlink(fifo, dir_ / "link-to-fifo.dat");
  fs::create_directory(dir_ / "dir.dat");
  for (const char* name : {"fifo.dat", "link-to-fifo.dat", "dir.dat", "link.dat", "plain.dat"}) {
    SCOPED_TRACE(name);
    const std::string path = (dir_ / name).string();
    modem::IdentificationList list;
    list.count = 5;
    std::string reason;
    auto read = std::async(std::launch::async, [&] {
      return modem::ReadIdentificationFile(path.c_str(), list, &reason);
    });
    const bool atOnce = read.wait_for(std::chrono::seconds(2)) == std::future_status::ready;
    if (!atOnce) std::ofstream(fifo) << "x\n";
    EXPECT_TRUE(atOnce) << "the read waited for a writer";
    const bool loaded = read.get();
    if (std::string(name) == "plain.dat") {
      EXPECT_TRUE(loaded);
      ASSERT_EQ(list.count, 1);
      EXPECT_STREQ(list.lines[0], "Kalvex V.92");
      EXPECT_EQ(list.path, path);
    } else {
      EXPECT_FALSE(loaded);
      EXPECT_EQ(list.count, 0);
      EXPECT_FALSE(reason.empty());
    }
  }
}

TEST_F(IdentificationList, WhatDoesNotFitIsCountedAndSaidWithTheFile) {
  std::string hundred(100, 'h');
  const struct {
    std::string bytes;
    int ignored;
    int split;
    const char* note;  // after "PATH: "
  } kCases[] = {
      {"a\nb\n", 0, 0, ""},
      {std::string(79, 'y') + "\nz\n", 0, 0, ""},  // 79 characters fit; the newline is an entry
      {hundred + "\nnext\n" + hundred + "\n", 0, 2,
       "2 lines longer than 79 characters continued as further entries"},
      {std::string(79 * 31, 'q') + "\n", 2, 1,
       "2 entries past the 30th ignored; 1 line longer than 79 characters continued as further "
       "entries"},
  };
  for (const auto& c : kCases) {
    modem::IdentificationList list;
    const std::string path = Write(c.bytes);
    ASSERT_TRUE(modem::ReadIdentificationFile(path.c_str(), list));
    EXPECT_EQ(list.entriesIgnored, c.ignored);
    EXPECT_EQ(list.linesSplit, c.split);
    EXPECT_EQ(modem::IdentificationListCutNote(list),
              *c.note ? path + ": " + c.note : std::string());
  }
  std::string file;
  for (int i = 0; i < 45; ++i) file += "line " + std::to_string(i) + "\n";
  modem::IdentificationList list;
  ASSERT_TRUE(modem::ReadIdentificationFile(Write(file).c_str(), list));
  EXPECT_EQ(list.entriesIgnored, 15);
  EXPECT_EQ(modem::DescribeIdentificationList(list),
            "Identification list: " + (dir_ / "ati3.dat").string() + " (30 entries)");
}

// Where LoadIdentificationList looks: the working directory, the user's configuration
// directory, then the data directories. Every case points all three at its own directories, so
// a copy installed on the machine is never what it finds.
class IdentificationListLookup : public IdentificationList {
 protected:
  void SetUp() override {
    IdentificationList::SetUp();
    for (const char* sub :
         {"work", "config/kalvex-modem-diag", "local/kalvex-modem-diag", "usr/kalvex-modem-diag"}) {
      fs::create_directories(dir_ / sub);
    }
    ::setenv("XDG_CONFIG_HOME", (dir_ / "config").c_str(), 1);
    ::setenv("XDG_DATA_DIRS", ((dir_ / "local").string() + ":" + (dir_ / "usr").string()).c_str(),
             1);
    fs::current_path(dir_ / "work");
  }

  // The first entry LoadIdentificationList reads, or "" when it read none.
  std::string FirstEntryLoaded() {
    modem_test::RecordingView view;
    modem::LoadIdentificationList(view);
    EXPECT_TRUE(view.boxes.empty());
    return view.identificationList.count > 0 ? view.identificationList.lines[0] : "";
  }
};

TEST_F(IdentificationListLookup, TheWorkingDirectoryComesFirst) {
  Write("from work\n", "work/ati3.dat");
  Write("from config\n", "config/kalvex-modem-diag/ati3.dat");
  Write("from data\n", "usr/kalvex-modem-diag/ati3.dat");
  EXPECT_EQ(FirstEntryLoaded(), "from work");
}

TEST_F(IdentificationListLookup, TheConfigurationDirectoryComesBeforeTheDataDirectories) {
  Write("from config\n", "config/kalvex-modem-diag/ati3.dat");
  Write("from local\n", "local/kalvex-modem-diag/ati3.dat");
  EXPECT_EQ(FirstEntryLoaded(), "from config");
}

TEST_F(IdentificationListLookup, DataDirectoriesAreSearchedInTheirListedOrder) {
  Write("from usr\n", "usr/kalvex-modem-diag/ati3.dat");
  EXPECT_EQ(FirstEntryLoaded(), "from usr");
  Write("from local\n", "local/kalvex-modem-diag/ati3.dat");
  EXPECT_EQ(FirstEntryLoaded(), "from local");
}

TEST_F(IdentificationListLookup, ADirectoryNamedAti3DatIsPassedOver) {
  fs::create_directory(dir_ / "work" / "ati3.dat");
  Write("from config\n", "config/kalvex-modem-diag/ati3.dat");
  EXPECT_EQ(FirstEntryLoaded(), "from config");
}

TEST_F(IdentificationListLookup, TheInstalledListIsFoundFromAnyDirectory) {
  Write("Kalvex V.92\n", "usr/kalvex-modem-diag/ati3.dat");
  fs::current_path("/");
  EXPECT_EQ(FirstEntryLoaded(), "Kalvex V.92");
}

TEST(DataFileCandidates, TheDescriptionNamesTheWorkingDirectoryAndEveryPlaceInOrder) {
  ::unsetenv("XDG_CONFIG_HOME");
  ::setenv("XDG_DATA_DIRS", "/a:/b", 1);
  ::setenv("HOME", "/home/tester", 1);
  const fs::path previous = fs::current_path();
  fs::current_path("/tmp");
  const std::string text = modem::DescribeDataFileCandidates("ati3.dat");
  fs::current_path(previous);
  EXPECT_EQ(text,
            "/tmp/ati3.dat (the working directory)\n"
            "/home/tester/.config/kalvex-modem-diag/ati3.dat\n"
            "/a/kalvex-modem-diag/ati3.dat\n"
            "/b/kalvex-modem-diag/ati3.dat");
}

using IdentificationListLookupDeathTest = IdentificationListLookup;

TEST_F(IdentificationListLookupDeathTest, TheMissingBoxListsEveryPlaceInOrder) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  modem_test::RecordingView view;
  // The death test's child makes its own directories: only their last parts are known here.
  const std::string expected =
      "details \\[Looked for ati3.dat in these places, in this order:\n"
      "[^\n]*/work/ati3.dat \\(the working directory\\)\n"
      "[^\n]*/config/kalvex-modem-diag/ati3.dat\n"
      "[^\n]*/local/kalvex-modem-diag/ati3.dat\n"
      "[^\n]*/usr/kalvex-modem-diag/ati3.dat\\]\n";
  EXPECT_EXIT(modem::LoadIdentificationList(view), ::testing::ExitedWithCode(0),
              "box \\[Ati3.dat missing !\\]\n" + expected);
}

TEST_F(IdentificationListLookupDeathTest, AnUnreadableFirstCopyIsReportedNotSkipped) {
  if (::geteuid() == 0) GTEST_SKIP() << "root reads every file";
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const std::string config = Write("from config\n", "config/kalvex-modem-diag/ati3.dat");
  fs::permissions(config, fs::perms::none);
  Write("from usr\n", "usr/kalvex-modem-diag/ati3.dat");
  modem_test::RecordingView view;
  EXPECT_EXIT(modem::LoadIdentificationList(view), ::testing::ExitedWithCode(0),
              config + " exists but could not be read");
}

// A list someone else could have written is not used, and the reason is given.
TEST_F(IdentificationListLookupDeathTest, AListOthersCanWriteIsRefusedWithThatReason) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const std::string config = Write("from config\n", "config/kalvex-modem-diag/ati3.dat");
  fs::permissions(config, fs::perms::owner_read | fs::perms::owner_write | fs::perms::others_read |
                              fs::perms::others_write);
  Write("from usr\n", "usr/kalvex-modem-diag/ati3.dat");
  modem_test::RecordingView view;
  // The death test's child makes its own directories: only their last parts are known here.
  EXPECT_EXIT(modem::LoadIdentificationList(view), ::testing::ExitedWithCode(0),
              "\n[^\n]*/config/kalvex-modem-diag/ati3.dat exists but could not be read: refused: "
              "anyone can write it \\(mode 0606\\)\\.");
}

TEST_F(IdentificationListLookup, AFifoNamedAti3DatIsPassedOverWithoutWaitingForAWriter) {
  ASSERT_EQ(::mkfifo((dir_ / "work" / "ati3.dat").c_str(), 0600), 0);
  Write("from usr\n", "usr/kalvex-modem-diag/ati3.dat");
  EXPECT_EQ(FirstEntryLoaded(), "from usr");
}

TEST_F(IdentificationListLookup, LoadReadsAti3DatFromTheCurrentDirectory) {
  Write("Kalvex V.92\nZelto SW\n");
  fs::current_path(dir_);
  modem_test::RecordingView view;
  modem::LoadIdentificationList(view);
  ASSERT_EQ(view.identificationList.count, 2);
  EXPECT_STREQ(view.identificationList.lines[1], "Zelto SW");
  EXPECT_TRUE(view.boxes.empty());
}

using IdentificationListDeathTest = IdentificationListLookup;

TEST_F(IdentificationListDeathTest, LoadWithoutTheFileShowsTheBoxAndExitsWithZero) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  fs::current_path(dir_);
  modem_test::RecordingView view;
  EXPECT_EXIT(modem::LoadIdentificationList(view), ::testing::ExitedWithCode(0),
              "box \\[Ati3.dat missing !\\]\n");
}

TEST_F(IdentificationListDeathTest, LoadOfADirectoryNamedAti3DatExitsLikeAMissingFile) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  fs::create_directory(dir_ / "ati3.dat");
  fs::current_path(dir_);
  modem_test::RecordingView view;
  EXPECT_EXIT(modem::LoadIdentificationList(view), ::testing::ExitedWithCode(0),
              "box \\[Ati3.dat missing !\\]\n");
}

}  // namespace
