// Port names to device paths: the order in which the five sources win, ports.conf with its
// bad lines reported by number and left out, and where ports.conf is looked for.

#include "serial/port_names.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "support/temp_dir.h"

namespace {

using serial::PortSource;

class PortNames : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(temp.Valid());
    for (int n = 1; n <= 9; ++n) ::unsetenv(("KALVEX_COM" + std::to_string(n)).c_str());
    ::unsetenv("KALVEX_COM_DIR");
    ::setenv("XDG_CONFIG_HOME", dir.c_str(), 1);
  }
  void WriteConfig(const std::string& text) const {
    ::mkdir((dir + "/kalvex-modem-diag").c_str(), 0700);
    std::ofstream(dir + "/kalvex-modem-diag/ports.conf") << text;
  }
  testsupport::TempDir temp{"names"};
  const std::string dir = temp.Path();
  serial::PortMap ports;
};

TEST_F(PortNames, EachSourceWinsOverTheOnesAfterIt) {
  EXPECT_EQ(ports.Resolve("COM3").path, "/dev/ttyS2");
  EXPECT_EQ(ports.Resolve("COM3").source, PortSource::kDefault);

  ::setenv("KALVEX_COM_DIR", "/tmp/links", 1);
  EXPECT_EQ(ports.Resolve("COM3").path, "/tmp/links/COM3");
  EXPECT_EQ(ports.Resolve("COM3").source, PortSource::kComDir);

  WriteConfig("COM3=/dev/ttyACM1\n");
  EXPECT_TRUE(serial::LoadPortsConfig(ports).empty());
  EXPECT_EQ(ports.Resolve("COM3").path, "/dev/ttyACM1");
  EXPECT_EQ(ports.Resolve("COM3").source, PortSource::kConfigFile);
  EXPECT_EQ(ports.Resolve("COM4").path, "/tmp/links/COM4");

  ::setenv("KALVEX_COM3", "/dev/ttyUSB7", 1);
  EXPECT_EQ(ports.Resolve("COM3").path, "/dev/ttyUSB7");
  EXPECT_EQ(ports.Resolve("COM3").source, PortSource::kEnvironment);

  ports.SetOverrides({{3, "/dev/ttyACM0"}});
  EXPECT_EQ(ports.DevicePathFor("COM3"), "/dev/ttyACM0");
  EXPECT_EQ(ports.Resolve("COM3").source, PortSource::kOption);
  EXPECT_EQ(serial::PortSourceName(PortSource::kEnvironment, "COM3"), "KALVEX_COM3");

  // Names that are not COM1 to COM9 are untouched by the tables.
  EXPECT_EQ(ports.Resolve("/dev/ttyACM0").source, PortSource::kPath);
  EXPECT_EQ(ports.DevicePathFor("COM12"), "/tmp/links/COM12");
}

TEST_F(PortNames, ComNumbersMapToDevicesWithEnvironmentOverrides) {
  ::unsetenv("KALVEX_COM_DIR");
  ::unsetenv("KALVEX_COM2");
  EXPECT_EQ(ports.DevicePathFor("COM1"), "/dev/ttyS0");
  EXPECT_EQ(ports.DevicePathFor("COM6"), "/dev/ttyS5");
  ::setenv("KALVEX_COM_DIR", "/tmp/ports", 1);
  EXPECT_EQ(ports.DevicePathFor("COM6"), "/tmp/ports/COM6");
  ::setenv("KALVEX_COM2", "/dev/ttyUSB0", 1);
  EXPECT_EQ(ports.DevicePathFor("COM2"), "/dev/ttyUSB0");
  EXPECT_EQ(ports.DevicePathFor("/dev/ttyACM0"), "/dev/ttyACM0");
  EXPECT_EQ(ports.DevicePathFor("COM3x"), "COM3x");
}

TEST_F(PortNames, BadLinesOfPortsConfAreReportedByNumberAndIgnored) {
  const serial::PortsConfig config = serial::ParsePortsConfig(
      "# my ports\n"
      "\n"
      "  com2 = /dev/ttyUSB0   # the dongle\n"
      "COM3\n"
      "COM0=/dev/ttyS0\n"
      "COM4=ttyS3\n"
      "COM2=/dev/ttyUSB1\n"
      "LPT1=/dev/lp0\n"
      "COM9=/dev/serial/by-id/usb-X_Modem-if00",
      "ports.conf");
  ASSERT_EQ(config.mappings.size(), 2u);
  EXPECT_EQ(config.mappings[0], (std::pair<int, std::string>{2, "/dev/ttyUSB0"}));
  EXPECT_EQ(config.mappings[1],
            (std::pair<int, std::string>{9, "/dev/serial/by-id/usb-X_Modem-if00"}));
  ASSERT_EQ(config.problems.size(), 5u);
  EXPECT_EQ(config.problems[0],
            "ports.conf:4: 'COM3' is not COMn=DEVICE with n from 1 to 9; ignored");
  EXPECT_EQ(config.problems[1].rfind("ports.conf:5: ", 0), 0u);
  EXPECT_EQ(config.problems[2],
            "ports.conf:6: the device of COM4 is not an absolute path; ignored");
  EXPECT_EQ(config.problems[3], "ports.conf:7: COM2 is mapped again; ignored");
  EXPECT_EQ(config.problems[4].rfind("ports.conf:8: 'LPT1=/dev/lp0'", 0), 0u);
}

TEST_F(PortNames, LoadingInstallsTheGoodLinesAndReportsTheFileByPath) {
  WriteConfig("COM1=/dev/ttyACM0\r\nCOM5=\n");
  const std::vector<std::string> problems = serial::LoadPortsConfig(ports);
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_EQ(problems[0], dir +
                             "/kalvex-modem-diag/ports.conf:2: the device of COM5 is not an "
                             "absolute path; ignored");
  EXPECT_EQ(ports.DevicePathFor("COM1"), "/dev/ttyACM0");  // CR LF endings read as LF
  EXPECT_EQ(ports.DevicePathFor("COM5"), "/dev/ttyS4");
}

TEST_F(PortNames, AMissingFileIsNoProblemAndAnUnreadableOneIsOne) {
  EXPECT_TRUE(serial::LoadPortsConfig(ports).empty());
  ::mkdir((dir + "/kalvex-modem-diag").c_str(), 0700);
  ::mkdir((dir + "/kalvex-modem-diag/ports.conf").c_str(), 0700);  // a directory
  const std::vector<std::string> problems = serial::LoadPortsConfig(ports);
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_NE(problems[0].find("ports.conf: cannot be read: "), std::string::npos) << problems[0];
  EXPECT_NE(problems[0].find("a directory, not a regular file"), std::string::npos) << problems[0];
}

// ports.conf decides which device is written to as the modem: a copy that others could have
// written is refused with the reason, and none of its lines is used.
TEST_F(PortNames, APortsConfOthersCanWriteIsRefusedWithTheReason) {
  WriteConfig("COM1=/dev/ttyACM0\n");
  const std::string path = dir + "/kalvex-modem-diag/ports.conf";
  ASSERT_EQ(::chmod(path.c_str(), 0666), 0);
  EXPECT_EQ(serial::LoadPortsConfig(ports),
            std::vector<std::string>{path + ": refused: anyone can write it (mode 0666); ignored"});
  EXPECT_EQ(ports.DevicePathFor("COM1"), "/dev/ttyS0");
}

TEST_F(PortNames, ConfigPathFallsBackToHomeDotConfig) {
  EXPECT_EQ(serial::PortsConfigPath(), dir + "/kalvex-modem-diag/ports.conf");
  ::setenv("XDG_CONFIG_HOME", "relative/dir", 1);
  ::setenv("HOME", "/home/someone", 1);
  EXPECT_EQ(serial::PortsConfigPath(), "/home/someone/.config/kalvex-modem-diag/ports.conf");
}

// A launcher or a service may start the tool without HOME: ports.conf is then where ati3.dat is
// looked for, under the home the password database gives.
TEST_F(PortNames, ConfigPathIsFoundWithoutHome) {
  const char* home = std::getenv("HOME");
  const std::string savedHome = home ? home : "";
  ::unsetenv("XDG_CONFIG_HOME");
  ::unsetenv("HOME");
  const std::string path = serial::PortsConfigPath();
  if (home) ::setenv("HOME", savedHome.c_str(), 1);
  const passwd* entry = ::getpwuid(::getuid());
  ASSERT_TRUE(entry && entry->pw_dir && entry->pw_dir[0] == '/')
      << "no home in the password database";
  EXPECT_EQ(path, std::string(entry->pw_dir) + "/.config/kalvex-modem-diag/ports.conf");
}

}  // namespace
