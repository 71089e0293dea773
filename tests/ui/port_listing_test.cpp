// --list-ports against a fake /sys and /dev tree (KALVEX_SYSFS_ROOT): a UART that exists and one
// that does not, a USB ACM modem behind a pseudo-terminal with a by-id name, a USB serial adapter
// whose node is missing, and a virtual console that is no serial port.

#include "ui/port_listing.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <fstream>
#include <string>

#include "platform/serial_ports.h"
#include "serial/port_names.h"
#include "support/pty_pair.h"

namespace {

class FakeTree : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/kalvex-sysfs-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    root = pattern;
    ASSERT_TRUE(pty.Valid());
    for (int n = 1; n <= 9; ++n) ::unsetenv(("KALVEX_COM" + std::to_string(n)).c_str());
    ::setenv("KALVEX_SYSFS_ROOT", root.c_str(), 1);
    ::setenv("KALVEX_LOCK_DIR", root.c_str(), 1);
    serial::SetPortOverrides({});
    serial::SetConfiguredPorts({});

    const std::string usb = "sys/devices/pci0000:00/usb1";
    // A UART that answered, and one the kernel lists without hardware (type 0).
    Dir("sys/bus/platform/drivers/serial8250");
    Tty("ttyS0", "sys/devices/platform/serial8250/tty/ttyS0", "sys/devices/platform/serial8250",
        "sys/bus/platform/drivers/serial8250");
    Write("sys/devices/platform/serial8250/tty/ttyS0/type", "4\n");
    Tty("ttyS1", "sys/devices/platform/serial8250/tty/ttyS1", "sys/devices/platform/serial8250",
        "sys/bus/platform/drivers/serial8250");
    Write("sys/devices/platform/serial8250/tty/ttyS1/type", "0\n");
    // A USB ACM modem: the interface's driver, the device's ids two levels up.
    Dir("sys/bus/usb/drivers/cdc_acm");
    Tty("ttyACM0", usb + "/1-1/1-1:1.0/tty/ttyACM0", usb + "/1-1/1-1:1.0",
        "sys/bus/usb/drivers/cdc_acm");
    Write(usb + "/1-1/idVendor", "1d6b\n");
    Write(usb + "/1-1/idProduct", "0104\n");
    // A USB serial adapter: its port directory sits below the interface.
    Dir("sys/bus/usb-serial/drivers/ftdi_sio");
    Tty("ttyUSB0", usb + "/1-2/1-2:1.0/ttyUSB0/tty/ttyUSB0", usb + "/1-2/1-2:1.0/ttyUSB0",
        "sys/bus/usb-serial/drivers/ftdi_sio");
    Write(usb + "/1-2/idVendor", "0403\n");
    Write(usb + "/1-2/idProduct", "6001\n");
    // A virtual console: no device link, not a serial name.
    Dir("sys/devices/virtual/tty/tty1");
    Link("../../devices/virtual/tty/tty1", "sys/class/tty/tty1");

    Dir("dev/serial/by-id");
    Link(pty.SlavePath(), "dev/ttyACM0");
    Link("../../ttyACM0", "dev/serial/by-id/usb-Zelto_USB_Modem_0001-if00");
    Link("/dev/null", "dev/ttyS0");
  }
  void TearDown() override { (void)std::system(("rm -rf '" + root + "'").c_str()); }

  void Dir(const std::string& path) const {
    (void)std::system(("mkdir -p '" + root + "/" + path + "'").c_str());
  }
  void Write(const std::string& path, const std::string& text) const {
    std::ofstream(root + "/" + path) << text;
  }
  void Link(const std::string& target, const std::string& path) const {
    Dir(path.substr(0, path.rfind('/')));
    ASSERT_EQ(::symlink(target.c_str(), (root + "/" + path).c_str()), 0) << path;
  }
  // sys/class/tty/NAME -> its directory, whose device -> deviceDir, whose driver -> driverDir.
  void Tty(const std::string& name, const std::string& ttyDir, const std::string& deviceDir,
           const std::string& driverDir) const {
    Dir(ttyDir);
    Link(root + "/" + deviceDir, ttyDir + "/device");
    if (!Exists(deviceDir + "/driver")) Link(root + "/" + driverDir, deviceDir + "/driver");
    Link(root + "/" + ttyDir, "sys/class/tty/" + name);
  }
  bool Exists(const std::string& path) const {
    struct stat st {};
    return ::lstat((root + "/" + path).c_str(), &st) == 0;
  }

  std::string root;
  testsupport::PtyPair pty;
};

TEST_F(FakeTree, ListsRealSerialDevicesWithDriverUsbIdAndByIdName) {
  const std::vector<platform::SerialPortInfo> ports = platform::ListSerialPorts();
  ASSERT_EQ(ports.size(), 3u);
  EXPECT_EQ(ports[0].devicePath, "/dev/ttyACM0");
  EXPECT_EQ(ports[0].driver, "cdc_acm");
  EXPECT_EQ(ports[0].usbId, "1d6b:0104");
  EXPECT_EQ(ports[0].byId, "usb-Zelto_USB_Modem_0001-if00");
  EXPECT_EQ(ports[0].nodePath, root + "/dev/ttyACM0");
  EXPECT_EQ(ports[1].devicePath, "/dev/ttyS0");
  EXPECT_EQ(ports[1].driver, "serial8250");
  EXPECT_EQ(ports[1].usbId, "");
  EXPECT_EQ(ports[2].devicePath, "/dev/ttyUSB0");
  EXPECT_EQ(ports[2].driver, "ftdi_sio");
  EXPECT_EQ(ports[2].usbId, "0403:6001");
  EXPECT_EQ(ports[2].byId, "");
}

TEST_F(FakeTree, ListingMapsComNamesToDevicesWithTheirVerdicts) {
  serial::SetPortOverrides({{3, root + "/dev/ttyACM0"}});
  ::setenv("KALVEX_COM_DIR", (root + "/nowhere").c_str(), 1);
  const std::string text = ui::PortListingText();
  EXPECT_NE(text.find("  COM3  " + root + "/dev/ttyACM0  [--port]  can be opened\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("  COM1  " + root + "/nowhere/COM1  [KALVEX_COM_DIR]  no such device\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("  /dev/ttyACM0  driver cdc_acm  usb 1d6b:0104  by-id "
                      "usb-Zelto_USB_Modem_0001-if00  COM3  can be opened\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("  /dev/ttyUSB0  driver ftdi_sio  usb 0403:6001  no COM name  no such "
                      "device\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("  /dev/ttyS0  driver serial8250  no COM name  cannot be opened: "
                      "not a terminal"),
            std::string::npos)
      << text;
  EXPECT_EQ(text.find("ttyS1"), std::string::npos);
  EXPECT_EQ(text.find("tty1"), std::string::npos);
}

// --list-ports --json: the listing's fields, each device's COM names as a list and its verdict
// as the report names it, and null where the text says nothing.
TEST_F(FakeTree, JsonListingHoldsTheSameFieldsAsTheText) {
  serial::SetPortOverrides({{3, root + "/dev/ttyACM0"}});
  ::setenv("KALVEX_COM_DIR", (root + "/nowhere").c_str(), 1);
  QJsonParseError error{};
  const QJsonObject doc = QJsonDocument::fromJson(ui::PortListingJson(), &error).object();
  ASSERT_EQ(error.error, QJsonParseError::NoError);
  const QJsonArray ports = doc["ports"].toArray();
  ASSERT_EQ(ports.size(), 9);
  const QJsonObject com3 = ports[2].toObject();
  EXPECT_EQ(com3["port"].toString(), "COM3");
  EXPECT_EQ(com3["device"].toString().toStdString(), root + "/dev/ttyACM0");
  EXPECT_EQ(com3["source"].toString(), "--port");
  EXPECT_EQ(com3["verdict"].toString(), "openable");
  EXPECT_EQ(com3["reason"].toString(), "can be opened");
  EXPECT_EQ(ports[0].toObject()["source"].toString(), "KALVEX_COM_DIR");
  EXPECT_EQ(ports[0].toObject()["verdict"].toString(), "no-such-device");
  const QJsonArray devices = doc["devices"].toArray();
  ASSERT_EQ(devices.size(), 3);
  const QJsonObject acm = devices[0].toObject();
  EXPECT_EQ(acm["device"].toString(), "/dev/ttyACM0");
  EXPECT_EQ(acm["driver"].toString(), "cdc_acm");
  EXPECT_EQ(acm["usbId"].toString(), "1d6b:0104");
  EXPECT_EQ(acm["byId"].toString(), "usb-Zelto_USB_Modem_0001-if00");
  EXPECT_EQ(acm["comNames"].toArray(), QJsonArray{"COM3"});
  const QJsonObject uart = devices[1].toObject();
  EXPECT_TRUE(uart["usbId"].isNull());
  EXPECT_TRUE(uart["byId"].isNull());
  EXPECT_TRUE(uart["comNames"].toArray().isEmpty());
  EXPECT_EQ(uart["verdict"].toString(), "open-failed");
}

TEST_F(FakeTree, AnEmptySystemSaysSo) {
  ::setenv("KALVEX_SYSFS_ROOT", (root + "/empty").c_str(), 1);
  EXPECT_TRUE(platform::ListSerialPorts().empty());
  EXPECT_NE(ui::PortListingText().find("Serial devices:\n  none found\n"), std::string::npos);
}

}  // namespace
