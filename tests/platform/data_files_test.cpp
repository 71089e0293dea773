// The places searched for ati3.dat, from the environment as a desktop session sets it (or not).

#include "platform/data_files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Paths = std::vector<std::string>;

class DataFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    ::unsetenv("XDG_CONFIG_HOME");
    ::unsetenv("XDG_DATA_DIRS");
    ::setenv("HOME", "/home/tester", 1);
  }
};

TEST_F(DataFiles, WithoutXdgVariablesTheDefaultsApply) {
  EXPECT_EQ(platform::DataFileCandidates("ati3.dat"),
            (Paths{"ati3.dat", "/home/tester/.config/kalvex-modem-diag/ati3.dat",
                   "/usr/local/share/kalvex-modem-diag/ati3.dat",
                   "/usr/share/kalvex-modem-diag/ati3.dat"}));
}

TEST_F(DataFiles, XdgVariablesReplaceTheDefaultsInTheirOrder) {
  ::setenv("XDG_CONFIG_HOME", "/cfg/", 1);
  ::setenv("XDG_DATA_DIRS", "/opt/kx/share:/usr/share", 1);
  EXPECT_EQ(
      platform::DataFileCandidates("ati3.dat"),
      (Paths{"ati3.dat", "/cfg/kalvex-modem-diag/ati3.dat",
             "/opt/kx/share/kalvex-modem-diag/ati3.dat", "/usr/share/kalvex-modem-diag/ati3.dat"}));
}

TEST_F(DataFiles, RelativeEmptyAndRepeatedEntriesAreIgnored) {
  ::setenv("XDG_CONFIG_HOME", "relative/config", 1);
  ::setenv("XDG_DATA_DIRS", ":share::/a:/a/:/b", 1);
  EXPECT_EQ(platform::DataFileCandidates("ati3.dat"),
            (Paths{"ati3.dat", "/home/tester/.config/kalvex-modem-diag/ati3.dat",
                   "/a/kalvex-modem-diag/ati3.dat", "/b/kalvex-modem-diag/ati3.dat"}));
}

TEST_F(DataFiles, AnEmptyDataDirsMeansTheDefaultOnes) {
  ::setenv("XDG_DATA_DIRS", "", 1);
  const Paths paths = platform::DataFileCandidates("x");
  ASSERT_EQ(paths.size(), 4u);
  EXPECT_EQ(paths[2], "/usr/local/share/kalvex-modem-diag/x");
  EXPECT_EQ(paths[3], "/usr/share/kalvex-modem-diag/x");
}

TEST_F(DataFiles, WithoutHomeThePasswordDatabaseGivesTheConfigurationDirectory) {
  ::unsetenv("HOME");
  const Paths paths = platform::DataFileCandidates("ati3.dat");
  ASSERT_GE(paths.size(), 2u);
  EXPECT_TRUE(paths[1].starts_with("/")) << paths[1];
  EXPECT_TRUE(paths[1].ends_with("/.config/kalvex-modem-diag/ati3.dat")) << paths[1];
}

TEST_F(DataFiles, OnlyRegularFilesCount) {
  const fs::path dir =
      fs::temp_directory_path() / ("kalvex-datafiles-" + std::to_string(::getpid()));
  fs::create_directories(dir / "sub");
  std::ofstream(dir / "file") << "x\n";
  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
  fs::create_symlink(dir / "file", dir / "link");
  EXPECT_TRUE(platform::DataFileExists((dir / "file").string()));
  EXPECT_TRUE(platform::DataFileExists((dir / "link").string()));
  EXPECT_FALSE(platform::DataFileExists((dir / "sub").string()));
  EXPECT_FALSE(platform::DataFileExists((dir / "fifo").string()));
  EXPECT_FALSE(platform::DataFileExists((dir / "absent").string()));
  fs::remove_all(dir);
}

}  // namespace
