// --list-ports against a fake /sys and /dev tree (KALVEX_SYSFS_ROOT): a UART that exists and one
// that does not, a USB ACM modem behind a pseudo-terminal with a by-id name, a USB serial adapter
// whose node is missing, and a virtual console that is no serial port. Then the same tree with
// the simulated modem behind the USB modem's node: what a not-found report and the probe say.

#include "diagnostics/port_listing.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <chrono>
#include <fstream>
#include <string>

#include "../../sim/modem_sim.h"
#include "modem/untried_device.h"

#include "platform/serial_ports.h"
#include "serial/port_names.h"
#include "support/pty_pair.h"
#include "support/qt_app.h"
#include "support/temp_dir.h"

namespace {

class FakeTree : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(temp.Valid());
    ASSERT_TRUE(pty.Valid());
    for (int n = 1; n <= 9; ++n) ::unsetenv(("KALVEX_COM" + std::to_string(n)).c_str());
    ::setenv("KALVEX_SYSFS_ROOT", root.c_str(), 1);
    ::setenv("KALVEX_LOCK_DIR", root.c_str(), 1);

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

  testsupport::TempDir temp{"sysfs"};
  const std::string root = temp.Path();
  testsupport::PtyPair pty;
  serial::PortMap ports;
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
  ports.SetOverrides({{3, root + "/dev/ttyACM0"}});
  ::setenv("KALVEX_COM_DIR", (root + "/nowhere").c_str(), 1);
  const std::string text = diagnostics::PortListingText(ports);
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
  ports.SetOverrides({{3, root + "/dev/ttyACM0"}});
  ::setenv("KALVEX_COM_DIR", (root + "/nowhere").c_str(), 1);
  QJsonParseError error{};
  const QJsonObject doc =
      QJsonDocument::fromJson(diagnostics::PortListingJson(ports), &error).object();
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

// The soft modems' names, a slmodemd-style link in /dev, and /dev/modem, which names a device
// already listed and so is not offered twice.
TEST_F(FakeTree, KnowsSoftModemNamesAndTheModemLink) {
  Dir("sys/bus/pci/drivers/hsfserial");
  Tty("ttySHSF0", "sys/devices/pci0000:00/0000:00:1e.0/tty/ttySHSF0",
      "sys/devices/pci0000:00/0000:00:1e.0", "sys/bus/pci/drivers/hsfserial");
  // slmodemd's link to its pseudo-terminal (a dangling one will do: the listing opens nothing).
  Link("/dev/pts/kalvex-none", "dev/ttySL0");
  Link("ttyACM0", "dev/modem");
  ::setenv("KALVEX_COM_DIR", (root + "/nowhere").c_str(), 1);
  std::vector<std::string> names;
  for (const platform::SerialPortInfo& port : platform::ListSerialPorts())
    names.push_back(port.devicePath + (port.linkTarget.empty() ? "" : " -> " + port.linkTarget));
  EXPECT_EQ(names, (std::vector<std::string>{"/dev/ttyACM0", "/dev/ttyS0", "/dev/ttySHSF0",
                                             "/dev/ttyUSB0", "/dev/ttySL0 -> /dev/pts/kalvex-none",
                                             "/dev/modem -> ttyACM0"}));
  std::vector<std::string> untried;
  for (const modem::UntriedDevice& device : modem::UntriedDevices(ports))
    untried.push_back(device.devicePath + " " + device.comName);
  // Every COM name's device is missing, so each is offered in the probe order.
  EXPECT_EQ(untried,
            (std::vector<std::string>{"/dev/ttyACM0 COM3", "/dev/ttyS0 COM4", "/dev/ttySHSF0 COM2",
                                      "/dev/ttyUSB0 COM1", "/dev/ttySL0 COM5"}));
}

// The simulated modem behind the fake USB modem's node, a foreign one behind a second, and no
// COM name mapping either: the real program's report and probe.
class SimBehindUsb : public FakeTree {
 protected:
  void SetUp() override {
    FakeTree::SetUp();
    sim::Options options;
    options.ports = {{1, sim::PortKind::kModem, {}},
                     {2, sim::PortKind::kForeign, {}},
                     {3, sim::PortKind::kSilent, {}}};
    std::string error;
    ASSERT_TRUE(sim.Start(options, &error)) << error;
    ASSERT_EQ(::unlink((root + "/dev/ttyACM0").c_str()), 0);
    Link(sim.State(1)->ttyPath, "dev/ttyACM0");
    Tty("ttyACM1", "sys/devices/pci0000:00/usb1/1-3/1-3:1.0/tty/ttyACM1",
        "sys/devices/pci0000:00/usb1/1-3/1-3:1.0", "sys/bus/usb/drivers/cdc_acm");
    Link(sim.State(2)->ttyPath, "dev/ttyACM1");
    Tty("ttyACM2", "sys/devices/pci0000:00/usb1/1-4/1-4:1.0/tty/ttyACM2",
        "sys/devices/pci0000:00/usb1/1-4/1-4:1.0", "sys/bus/usb/drivers/cdc_acm");
    Link(sim.State(3)->ttyPath, "dev/ttyACM2");
    Dir("empty-com-dir");
    Dir("work");
    std::ifstream list(KALVEX_SOURCE_DIR "/data/ati3.dat");
    std::ofstream(root + "/work/ati3.dat") << list.rdbuf();
  }

  // Starts the program in the tree's work directory with the tree's environment.
  void Start(const QStringList& arguments) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("KALVEX_COM_DIR", QString::fromStdString(root + "/empty-com-dir"));
    env.insert("XDG_CONFIG_HOME", QString::fromStdString(root + "/config"));
    env.insert("XDG_RUNTIME_DIR", QString::fromStdString(root));
    env.insert("XDG_DATA_DIRS", QString::fromStdString(root + "/data"));
    program.setProcessEnvironment(env);
    program.setWorkingDirectory(QString::fromStdString(root + "/work"));
    program.start(KALVEX_DIAG_BINARY, arguments);
    ASSERT_TRUE(program.waitForStarted(10000));
  }
  // Runs it to its end: its exit status, its standard output as a document, and its standard error.
  int Run(const QStringList& arguments, QJsonObject* doc = nullptr) {
    Start(arguments);
    EXPECT_TRUE(program.waitForFinished(60000));
    const QByteArray out = program.readAllStandardOutput();
    err = program.readAllStandardError().toStdString();
    if (doc) *doc = Parse(out);
    return program.exitCode();
  }

  static QJsonObject Parse(const QByteArray& text) {
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(text, &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << text.toStdString();
    return doc.object();
  }

  testsupport::QtApp<QCoreApplication> qt{"port_listing_test"};
  sim::ModemSim sim;
  QProcess program;
  std::string err;
};

TEST_F(SimBehindUsb, NotFoundReportNamesTheUntriedModemWithItsPortLines) {
  QJsonObject doc;
  EXPECT_EQ(Run({"--report", "--json"}, &doc), 2);
  const QJsonArray untried = doc["untriedDevices"].toArray();
  ASSERT_GE(untried.size(), 1);
  const QJsonObject usb = untried[0].toObject();
  EXPECT_EQ(usb["device"].toString(), "/dev/ttyACM0");
  EXPECT_EQ(usb["driver"].toString(), "cdc_acm");
  EXPECT_EQ(usb["portOption"].toString(), "--port COM3=/dev/ttyACM0");
  EXPECT_EQ(usb["portsConfLine"].toString(), "COM3=/dev/ttyACM0");
  // Named, not tried: the tool never asks a device outside its order on its own.
  for (const sim::Event& event : sim.Events()) EXPECT_NE(event.kind, "rx") << event.Line();
  // The debug texts say what the report says; they come only with -v.
  EXPECT_EQ(err.find("Identification list:"), std::string::npos) << err;
  (void)Run({"--report", "-v"});
  EXPECT_NE(err.find("Identification list:"), std::string::npos) << err;
}

// Each device's verdict as the document names it, and the lines to add: a ports.conf line for
// each modem and, for the one no list knows, its ati3.dat line (what the probe finds is its own
// test's).
TEST_F(SimBehindUsb, ProbeShowsWhatToAddForEachModem) {
  QJsonObject doc;
  EXPECT_EQ(Run({"--list-ports", "--probe", "--json"}, &doc), 0);
  QJsonObject known, foreign;
  for (const QJsonValue& device : doc["devices"].toArray()) {
    if (device["device"] == "/dev/ttyACM0") known = device.toObject();
    if (device["device"] == "/dev/ttyACM1") foreign = device.toObject();
  }
  EXPECT_EQ(known["verdict"].toString(), "modem");
  EXPECT_TRUE(known["known"].toBool());
  EXPECT_EQ(known["portsConfLine"].toString(), "COM3=/dev/ttyACM0");
  EXPECT_TRUE(known["ati3Line"].isNull());
  EXPECT_FALSE(foreign["ati3Line"].toString().isEmpty());
  EXPECT_EQ(foreign["ati3Line"].toString(), foreign["i3"].toString());
  EXPECT_EQ(foreign["portsConfLine"].toString(), "COM4=/dev/ttyACM1");
}

// SIGTERM while the silent device is still waited on: the probe ends at once, every device closed
// (its thread's last act), with status 143 and the document of what it has.
TEST_F(SimBehindUsb, ProbeStoppedBySigtermEndsWithWhatItHas) {
  ASSERT_NO_FATAL_FAILURE(Start({"--list-ports", "--probe", "--json"}));
  ASSERT_TRUE(sim.WaitForEvent("COM3", "rx", "AT", std::chrono::seconds(10)));
  program.terminate();
  ASSERT_TRUE(program.waitForFinished(2000));
  EXPECT_EQ(program.exitCode(), 143);
  const QJsonObject doc = Parse(program.readAllStandardOutput());
  EXPECT_EQ(doc["interruptedBy"].toInt(), 15);
  for (const QJsonValue& device : doc["devices"].toArray()) {
    if (device["device"] == "/dev/ttyACM2") {
      EXPECT_EQ(device["verdict"].toString(), "stopped");
    }
  }
}

TEST_F(FakeTree, AnEmptySystemSaysSo) {
  ::setenv("KALVEX_SYSFS_ROOT", (root + "/empty").c_str(), 1);
  EXPECT_TRUE(platform::ListSerialPorts().empty());
  EXPECT_NE(diagnostics::PortListingText(ports).find("Serial devices:\n  none found\n"),
            std::string::npos);
}

}  // namespace
