// vexq4 ports on a fake machine: a sysfs, /dev, /proc and /etc tree built
// by the test under a folder that VEXQ4_SYSFS_ROOT names, with a USB
// adapter, a UART, a port held by another program and one this user may
// not open; --probe against the simulated camera behind one of them.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>

#include "process.h"
#include "serial_ports.h"
#include "test_dir.h"
#include "vexq4/sim/pty_server.h"

namespace vexq4::cli::test {
namespace {

namespace fs = std::filesystem;
using vexq4::testing::WriteFile;

const std::string kVexq4 = VEXQ4_EXE;

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// A machine as the kernel shows it, below a scratch folder. The user is
// not the owner of the device files and in none of their groups, whoever
// runs the test.
class FakeMachine {
 public:
  FakeMachine() {
    for (const char* dir :
         {"sys/class/tty", "dev/serial/by-id", "dev/serial/by-path", "proc/self", "etc"})
      fs::create_directories(root() / dir);
    user_ = ::getuid() + 1000;
    SetIdentity(user_, {});
    // The device files' group is the one the test process creates files with.
    WriteFile(root() / "etc/group", "dialout:x:" + std::to_string(::getegid()) + ":\n");
    WriteFile(root() / "etc/passwd", "operator:x:" + std::to_string(user_) + ":" +
                                         std::to_string(user_) + "::/:/bin/sh\n");
  }

  const fs::path& root() const { return dir_.path(); }

  void SetIdentity(unsigned uid, const std::string& groups) {
    WriteFile(root() / "proc/self/status", "Name:\tvexq4\nUid:\t" + std::to_string(uid) + "\t" +
                                               std::to_string(uid) + "\t0\t0\n" + "Gid:\t" +
                                               std::to_string(uid) + "\t" + std::to_string(uid) +
                                               "\t0\t0\n" + "Groups:\t" + groups + "\n");
  }
  // The operator is listed in dialout, as after usermod before a new login.
  void ListUserInDialout() {
    WriteFile(root() / "etc/group", "dialout:x:" + std::to_string(::getegid()) + ":operator\n");
  }

  // A USB serial adapter: the USB device, its interface, the port and the
  // tty class entry, linked as sysfs links them.
  void AddUsbAdapter(const std::string& tty, const std::string& driver, const std::string& usbDir,
                     const std::string& vendor, const std::string& product,
                     const std::string& serial, const std::string& maker,
                     const std::string& productName, const std::string& byId,
                     const std::string& byPath) {
    const fs::path usb = root() / "sys/devices/pci0000:00/0000:00:14.0/usb1" / usbDir;
    fs::create_directories(usb);
    WriteFile(usb / "idVendor", vendor + "\n");
    WriteFile(usb / "idProduct", product + "\n");
    if (!serial.empty()) WriteFile(usb / "serial", serial + "\n");
    WriteFile(usb / "manufacturer", maker + "\n");
    WriteFile(usb / "product", productName + "\n");
    const fs::path port = usb / (usbDir + ":1.0") / tty;
    AddTty(tty, port, "../../../../../../../bus/usb-serial/drivers/" + driver);
    AddNode(tty);
    if (!byId.empty()) fs::create_symlink("../../" + tty, root() / "dev/serial/by-id" / byId);
    if (!byPath.empty()) fs::create_symlink("../../" + tty, root() / "dev/serial/by-path" / byPath);
  }

  // A UART as newer kernels show it: the port on the serial-base bus under
  // its controller, under the platform device that has the real driver.
  void AddUart(const std::string& tty, const std::string& type, bool console = false) {
    const fs::path pnp = root() / "sys/devices/pnp0" / ("00:0" + tty.substr(4));
    const fs::path port = pnp / "ctrl" / "port";
    fs::create_directories(port);
    fs::create_symlink("../../../bus/pnp/drivers/serial", pnp / "driver");
    fs::create_symlink("../../../../bus/serial-base/drivers/ctrl", pnp / "ctrl" / "driver");
    AddTty(tty, port, "../../../../../bus/serial-base/drivers/port");
    WriteFile(ClassEntry(tty) / "type", type + "\n");
    if (console) WriteFile(ClassEntry(tty) / "console", "Y\n");
    AddNode(tty);
  }

  // A tty without a device behind it (a virtual console).
  void AddVirtualTty(const std::string& tty) {
    const fs::path dir = root() / "sys/devices/virtual/tty" / tty;
    fs::create_directories(dir);
    fs::create_symlink(fs::relative(dir, root() / "sys/class/tty"), root() / "sys/class/tty" / tty);
  }

  // A running program, with the files it has open.
  void AddProcess(int pid, const std::string& name, const std::vector<std::string>& files = {}) {
    const fs::path dir = root() / "proc" / std::to_string(pid);
    fs::create_directories(dir / "fd");
    WriteFile(dir / "comm", name + "\n");
    int fd = 3;
    for (const auto& file : files) fs::create_symlink(file, dir / "fd" / std::to_string(fd++));
  }

  fs::path Node(const std::string& tty) const { return root() / "dev" / tty; }

 private:
  fs::path ClassEntry(const std::string& tty) const { return root() / "sys/class/tty" / tty; }

  void AddTty(const std::string& tty, const fs::path& device, const std::string& driver) {
    const fs::path classDir = device / "tty" / tty;
    fs::create_directories(classDir);
    fs::create_symlink(driver, device / "driver");
    fs::create_symlink(fs::relative(device, classDir), classDir / "device");
    fs::create_symlink(fs::relative(classDir, root() / "sys/class/tty"), ClassEntry(tty));
  }

  void AddNode(const std::string& tty) {
    WriteFile(Node(tty), "");
    ::chmod(Node(tty).c_str(), 0660);
  }

  vexq4::testing::TestDir dir_{"vexq4-ports"};
  unsigned user_ = 0;
};

const SerialPort* Find(const PortScan& scan, const std::string& device) {
  for (const SerialPort& p : scan.ports)
    if (p.device == device) return &p;
  return nullptr;
}

// A machine with two adapters, a real UART (the console), UARTs the 8250
// driver made without hardware, and a virtual console.
void Furnish(FakeMachine& m) {
  m.AddUsbAdapter("ttyUSB0", "ftdi_sio", "1-2", "0403", "6001", "A50285BI", "FTDI",
                  "FT232R USB UART", "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0",
                  "pci-0000:00:14.0-usb-0:2:1.0-port0");
  m.AddUsbAdapter("ttyUSB1", "ch341", "1-3", "1a86", "7523", "", "QinHeng", "USB \"Serial\"", "",
                  "pci-0000:00:14.0-usb-0:3:1.0-port0");
  m.AddUart("ttyS0", "4", /*console=*/true);
  m.AddUart("ttyS1", "0");
  m.AddUart("ttyS10", "4");
  m.AddVirtualTty("tty0");
}

TEST(Ports, ListsThePortsWithHardwareBehindThemAndTheirNames) {
  FakeMachine m;
  Furnish(m);
  const PortScan scan = ScanSerialPorts(m.root());

  std::vector<std::string> devices;
  for (const SerialPort& p : scan.ports) devices.push_back(p.device);
  // No ttyS1 (no UART), no tty0 (no device); ttyS10 after ttyS0 by number.
  EXPECT_EQ(devices, (std::vector<std::string>{"/dev/ttyS0", "/dev/ttyS10", "/dev/ttyUSB0",
                                               "/dev/ttyUSB1"}));

  const SerialPort* ftdi = Find(scan, "/dev/ttyUSB0");
  ASSERT_NE(ftdi, nullptr);
  EXPECT_EQ(
      ftdi->byId,
      (std::vector<std::string>{"/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"}));
  EXPECT_EQ(ftdi->byPath,
            (std::vector<std::string>{"/dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0"}));
  EXPECT_EQ(ftdi->driver, "ftdi_sio");
  EXPECT_EQ(ftdi->vendorId + ":" + ftdi->productId, "0403:6001");
  EXPECT_EQ(ftdi->serialNumber, "A50285BI");
  EXPECT_EQ(ftdi->manufacturer, "FTDI");
  EXPECT_EQ(ftdi->product, "FT232R USB UART");
  EXPECT_EQ(ftdi->openPath, (m.root() / "dev/ttyUSB0").string());

  // The UART's driver is the platform device's, not the serial-base bus's.
  const SerialPort* uart = Find(scan, "/dev/ttyS0");
  ASSERT_NE(uart, nullptr);
  EXPECT_EQ(uart->driver, "serial");
  EXPECT_TRUE(uart->console);
  EXPECT_TRUE(uart->vendorId.empty());

  EXPECT_TRUE(FormatPortLine(*Find(scan, "/dev/ttyUSB1"), false)
                  .starts_with("/dev/ttyUSB1 by-path=/dev/serial/by-path/"
                               "pci-0000:00:14.0-usb-0:3:1.0-port0 driver=ch341 usb=1a86:7523 "
                               "manufacturer=QinHeng"));
  EXPECT_TRUE(
      Has(FormatPortLine(*Find(scan, "/dev/ttyUSB1"), false), " product=\"USB \\\"Serial\\\"\""));
  const std::string json = FormatPortsJson(scan, false);
  EXPECT_TRUE(Has(json, "\"product\": \"USB \\\"Serial\\\"\"")) << json;
  EXPECT_TRUE(Has(json, "\"serialNumber\": null")) << json;
}

TEST(Ports, SaysWhyAPortCannotBeUsedAndWhatToDo) {
  FakeMachine m;
  Furnish(m);
  m.AddProcess(4242, "minicom", {"/dev/ttyUSB1", "/dev/null"});
  m.AddProcess(77, "ModemManager");
  m.AddProcess(78, "brltty");

  PortScan scan = ScanSerialPorts(m.root());
  const SerialPort* ftdi = Find(scan, "/dev/ttyUSB0");
  ASSERT_NE(ftdi, nullptr);
  EXPECT_FALSE(ftdi->access.mayOpen);
  EXPECT_TRUE(Has(ftdi->access.why, "only the group dialout may open it (crw-rw----") ||
              Has(ftdi->access.why, "only the group dialout may open it (-rw-rw----"))
      << ftdi->access.why;
  ASSERT_EQ(ftdi->hints.size(), 1u);
  EXPECT_TRUE(Has(ftdi->hints[0], "sudo usermod -aG dialout \"$USER\", then log in again"));

  const SerialPort* held = Find(scan, "/dev/ttyUSB1");
  ASSERT_NE(held, nullptr);
  ASSERT_EQ(held->holders.size(), 1u);
  EXPECT_EQ(held->holders[0].pid, 4242);
  EXPECT_EQ(held->holders[0].name, "minicom");
  const std::string line = FormatPortLine(*held, false);
  EXPECT_TRUE(Has(line, " held-by=4242:minicom")) << line;
  EXPECT_TRUE(Has(line, "in use by minicom (pid 4242)")) << line;
  ASSERT_EQ(scan.hints.size(), 2u);
  EXPECT_TRUE(Has(scan.hints[0], "ModemManager is running"));
  EXPECT_TRUE(Has(scan.hints[1], "brltty is running"));

  // Added to the group, not logged in again: the hint says so.
  m.ListUserInDialout();
  scan = ScanSerialPorts(m.root());
  EXPECT_TRUE(
      Has(Find(scan, "/dev/ttyUSB0")->hints.at(0), "log in again (or run 'newgrp dialout')"));
  // In the group now: every port may be opened.
  m.SetIdentity(::getuid() + 1000, std::to_string(::getegid()));
  scan = ScanSerialPorts(m.root());
  for (const SerialPort& p : scan.ports) EXPECT_TRUE(p.access.mayOpen) << p.device;
  // Only the owner may, and it is someone else.
  ::chmod(m.Node("ttyS10").c_str(), 0600);
  scan = ScanSerialPorts(m.root());
  EXPECT_FALSE(Find(scan, "/dev/ttyS10")->access.mayOpen);
  EXPECT_TRUE(Has(Find(scan, "/dev/ttyS10")->hints.at(0), "udev rule"));
  // A node udev has not made.
  fs::remove(m.Node("ttyS10"));
  scan = ScanSerialPorts(m.root());
  EXPECT_EQ(Find(scan, "/dev/ttyS10")->access.why, "there is no device node /dev/ttyS10");
}

// Whether `text` is well-formed UTF-8 (what a JSON reader demands).
bool WellFormedUtf8(const std::string& text) {
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const std::size_t n = lead < 0x80                    ? 1
                          : lead >= 0xC2 && lead <= 0xDF ? 2
                          : lead >= 0xE0 && lead <= 0xEF ? 3
                          : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                         : 0;
    if (n == 0 || i + n > text.size()) return false;
    for (std::size_t k = 1; k < n; ++k)
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
    i += n;
  }
  return true;
}

// The kernel's strings are bytes: a Latin-1 product string, a device name
// with a line end. JSON stays UTF-8; a text line stays one line.
TEST(Ports, OddBytesInNamesAndStringsKeepTheListingReadable) {
  FakeMachine m;
  m.AddUsbAdapter("ttyUSB0", "ftdi_sio", "1-2", "0403", "6001", "S\xe9RIE", "Cam\xc3\xa9ra",
                  "Cam\xe9ra \xed\xa0\x80 \xf0\x9f\x93\xb7", "", "");
  m.AddUsbAdapter("ttyUSB\nX", "ch341", "1-3", "1a86", "7523", "", "QinHeng", "USB Serial", "", "");
  const PortScan scan = ScanSerialPorts(m.root());
  ASSERT_EQ(scan.ports.size(), 2u);

  const std::string json = FormatPortsJson(scan, false);
  EXPECT_TRUE(WellFormedUtf8(json)) << json;
  // Each stray byte (a lone Latin-1 letter, an encoded surrogate) is one
  // U+FFFD; well-formed UTF-8 stays as it is.
  EXPECT_TRUE(Has(json, "\"product\": \"Cam\\ufffdra \\ufffd\\ufffd\\ufffd \xf0\x9f\x93\xb7\""))
      << json;
  EXPECT_TRUE(Has(json, "\"serialNumber\": \"S\\ufffdRIE\"")) << json;
  EXPECT_TRUE(Has(json, "\"manufacturer\": \"Cam\xc3\xa9ra\"")) << json;
  EXPECT_TRUE(Has(json, "\"device\": \"/dev/ttyUSB\\u000aX\"")) << json;

  // The device name is quoted as a value is: one port, one line.
  const std::string line = FormatPortLine(*Find(scan, "/dev/ttyUSB\nX"), false);
  EXPECT_EQ(line.find('\n'), std::string::npos) << line;
  EXPECT_TRUE(line.starts_with("\"/dev/ttyUSB?X\" driver=ch341")) << line;
  EXPECT_TRUE(FormatPortLine(*Find(scan, "/dev/ttyUSB0"), false).starts_with("/dev/ttyUSB0 "));

  // The program as a reader of its output meets it.
  const Result r = RunProgram({kVexq4, "ports", "--format", "json"}, "", 30000,
                              {"VEXQ4_SYSFS_ROOT=" + m.root().string()});
  EXPECT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_TRUE(WellFormedUtf8(r.out)) << r.out;
  const Result text =
      RunProgram({kVexq4, "ports"}, "", 30000, {"VEXQ4_SYSFS_ROOT=" + m.root().string()});
  EXPECT_EQ(std::count(text.out.begin(), text.out.end(), '\n'), 2) << text.out;
}

TEST(Ports, NaturalOrderOfNames) {
  EXPECT_TRUE(NaturalLess("ttyS2", "ttyS10"));
  EXPECT_FALSE(NaturalLess("ttyS10", "ttyS2"));
  EXPECT_TRUE(NaturalLess("ttyACM0", "ttyS0"));
  EXPECT_TRUE(NaturalLess("ttyUSB0", "ttyUSB00a"));
  EXPECT_FALSE(NaturalLess("ttyUSB1", "ttyUSB1"));
}

// The program on the fake machine: ttyUSB0 leads to the simulated camera,
// ttyACM0 to a line where nothing answers, ttyUSB1 is held by minicom.
TEST(Ports, ProbeFindsTheCameraOnlyWhereItIsAndTouchesNoHeldPort) {
  FakeMachine m;
  Furnish(m);
  m.SetIdentity(::getuid() + 1000, std::to_string(::getegid()));
  sim::Config config;
  config.paceAt9600 = false;
  sim::PtyServer camera(config);
  std::string error;
  ASSERT_TRUE(camera.Start(&error)) << error;
  // The fake user may use both lines.
  ::chmod(camera.slavePath().c_str(), 0666);
  fs::remove(m.Node("ttyUSB0"));
  fs::create_symlink(camera.slavePath(), m.Node("ttyUSB0"));
  const int silent = ::posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(silent, 0);
  ASSERT_EQ(::grantpt(silent), 0);
  ASSERT_EQ(::unlockpt(silent), 0);
  m.AddUsbAdapter("ttyACM0", "cdc_acm", "1-4", "2341", "0043", "75830", "Arduino", "Uno", "", "");
  ::chmod(::ptsname(silent), 0666);
  fs::remove(m.Node("ttyACM0"));
  fs::create_symlink(::ptsname(silent), m.Node("ttyACM0"));
  m.AddProcess(4242, "minicom", {"/dev/ttyUSB1"});

  const std::vector<std::string> env{"VEXQ4_SYSFS_ROOT=" + m.root().string()};
  Result r = RunProgram({kVexq4, "ports", "--probe"}, "", 30000, env);
  EXPECT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_TRUE(Has(r.out, "/dev/ttyUSB0 by-id=/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI"))
      << r.out;
  EXPECT_TRUE(Has(r.out, " CameraID=10042 ModelName=RX-Q4CL")) << r.out;
  EXPECT_TRUE(Has(r.out, " held-by=4242:minicom camera=not-probed")) << r.out;
  EXPECT_TRUE(Has(r.out, "console=yes access=yes camera=not-probed probe=\"the kernel's console\""))
      << r.out;
  EXPECT_TRUE(Has(r.out, "/dev/ttyACM0 driver=cdc_acm usb=2341:0043") &&
              Has(r.out, "camera=none probe=\"no camera answered"))
      << r.out;
  // Only the lines of the probe reached the camera.
  EXPECT_GE(camera.linesReceived(), 1u);

  r = RunProgram({kVexq4, "ports", "--format", "json"}, "", 30000, env);
  EXPECT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_TRUE(Has(r.out, "{\"device\": \"/dev/ttyUSB1\"")) << r.out;
  EXPECT_TRUE(Has(r.out, "\"heldBy\": [{\"pid\": 4242, \"name\": \"minicom\"}]")) << r.out;
  EXPECT_FALSE(Has(r.out, "camera")) << "nothing is probed without --probe";

  EXPECT_EQ(RunProgram({kVexq4, "--com", "1", "ports"}).exitStatus, 2);
  EXPECT_EQ(RunProgram({kVexq4, "ports", "--format", "xml"}).exitStatus, 2);
  ::close(silent);
}

// --all: the command runs on every port where the probe finds a camera,
// each result naming the port as the machine names it.
TEST(Ports, AllRunsTheCommandOnEveryPortWithACamera) {
  FakeMachine m;
  Furnish(m);
  m.SetIdentity(::getuid() + 1000, std::to_string(::getegid()));
  std::vector<std::unique_ptr<sim::PtyServer>> cameras;
  for (const auto& [tty, gain] : {std::pair{"ttyUSB0", 11}, std::pair{"ttyUSB1", 22}}) {
    sim::Config config;
    config.paceAt9600 = false;
    config.values = {{"GA", gain}};
    cameras.push_back(std::make_unique<sim::PtyServer>(config));
    std::string error;
    ASSERT_TRUE(cameras.back()->Start(&error)) << error;
    ::chmod(cameras.back()->slavePath().c_str(), 0666);
    fs::remove(m.Node(tty));
    fs::create_symlink(cameras.back()->slavePath(), m.Node(tty));
  }
  const std::vector<std::string> env{"VEXQ4_SYSFS_ROOT=" + m.root().string()};
  Result r = RunProgram({kVexq4, "--all", "get", "MasterGainLevel"}, "", 30000, env);
  EXPECT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_TRUE(r.out == "/dev/ttyUSB0: MasterGainLevel=11\n/dev/ttyUSB1: MasterGainLevel=22\n" ||
              r.out == "/dev/ttyUSB1: MasterGainLevel=22\n/dev/ttyUSB0: MasterGainLevel=11\n")
      << r.out;

  cameras.clear();  // the lines are gone: no camera anywhere
  r = RunProgram({kVexq4, "--all", "get", "MasterGainLevel"}, "", 30000, env);
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_TRUE(Has(r.err, "no camera answered on any serial port")) << r.err;
}

// The machine the test runs on: whatever it has, the listing works.
TEST(Ports, ListsThisMachinesPorts) {
  Result r = RunProgram({kVexq4, "ports"}, "", 30000);
  EXPECT_EQ(r.exitStatus, 0) << r.err;
  std::size_t start = 0;
  while (start < r.out.size()) {
    EXPECT_EQ(r.out.substr(start, 5), "/dev/") << r.out;
    start = r.out.find('\n', start);
    if (start == std::string::npos) break;
    ++start;
  }
}

}  // namespace
}  // namespace vexq4::cli::test
