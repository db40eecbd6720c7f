#include "ComEnum.h"
#include "ComPort.h"

#include "Errors.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fmt/printf.h>

#include <filesystem>
#include <fstream>

using namespace quorvel;
namespace fs = std::filesystem;

namespace {

std::string ErrorOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const Exception& e) {
    return e.what();
  }
  return "(no error)";
}

std::size_t OpenDescriptors() {
  std::size_t n = 0;
  for ([[maybe_unused]] const auto& e : fs::directory_iterator("/proc/self/fd")) ++n;
  return n;
}

}  // namespace

TEST(ComPort, PortNumberRules) {
  TComm port;
  EXPECT_EQ(port.Port(), 1);
  EXPECT_EQ(port.DevicePath(), "/dev/ttyS0");
  for (int bad : {0, 33, -1}) {
    EXPECT_EQ(ErrorOf([&] { port.SetPort(bad); }), kBadPortNumber) << bad;
    EXPECT_EQ(port.Port(), 1) << bad;
  }
  port.SetPort(32);
  EXPECT_EQ(port.DevicePath(), "/dev/ttyS31");
  port.SetPort(10);
  EXPECT_EQ(port.DevicePath(), "/dev/ttyS9");
}

TEST(ComPort, PortNameWinsUntilAnotherNumberIsChosen) {
  TComm port;
  port.SetPort(3);
  port.SetPortName("/dev/ttyUSB0");
  EXPECT_EQ(port.DevicePath(), "/dev/ttyUSB0");
  port.SetPort(3);  // the same number changes nothing
  EXPECT_EQ(port.DevicePath(), "/dev/ttyUSB0");
  port.SetPort(4);
  EXPECT_EQ(port.PortName(), "");
  EXPECT_EQ(port.DevicePath(), "/dev/ttyS3");
  port.SetPortName("");
  EXPECT_EQ(port.DevicePath(), "/dev/ttyS3");
}

TEST(ComPort, ClosedPortRefusesIoButIgnoresEmptyCalls) {
  TComm port;
  EXPECT_FALSE(port.Connected());
  EXPECT_NO_THROW(port.Write(""));
  EXPECT_EQ(port.Read(0), "");
  EXPECT_NO_THROW(port.PurgeInput());
  EXPECT_NO_THROW(port.Close());
  EXPECT_NO_THROW(port.ApplySettings());
  EXPECT_EQ(ErrorOf([&] { port.Write("AT\r\n"); }), kPortNotOpen);
  EXPECT_EQ(ErrorOf([&] { port.Read(1); }), kPortNotOpen);
  EXPECT_EQ(ErrorOf([&] { port.SetRTS(true); }), kPortNotOpen);
}

TEST(ComPort, BaudRatesOfferedAreAcceptedOthersRefused) {
  TComm port;
  EXPECT_EQ(port.BaudRate(), 115200);
  for (int rate : kFirmwareBaudRates) {
    EXPECT_NO_THROW(port.SetBaudRate(rate)) << rate;
    EXPECT_EQ(port.BaudRate(), rate);
  }
  port.SetBaudRate(115200);
  for (int bad : {0, -9600, 12345, 115201}) {
    EXPECT_EQ(ErrorOf([&] { port.SetBaudRate(bad); }),
              fmt::sprintf("Скорость %d бит/с не поддерживается", bad));
    EXPECT_EQ(port.BaudRate(), 115200);
  }
}

TEST(ComPort, DeviceThatCannotBeUsedIsUnavailableAndLeaksNothing) {
  test::TempDir dir;
  std::ofstream(dir.File("plain")) << "not a tty";
  fs::create_directory(dir.File("folder"));
  fs::create_symlink(dir.File("nowhere"), dir.File("dangling"));
  const std::size_t before = OpenDescriptors();
  const std::vector<std::pair<std::string, const char*>> rows = {{dir.File("missing"), kPortNoDevice},
                                                                 {dir.File("plain"), kPortNotTerminal},
                                                                 {dir.File("folder"), kPortNotTerminal},
                                                                 {dir.File("dangling"), kPortNoDevice},
                                                                 {"/dev/null", kPortNotTerminal}};
  for (const auto& [path, reason] : rows) {
    TComm port;
    port.SetPortName(path);
    EXPECT_EQ(ErrorOf([&] { port.Open(); }), fmt::sprintf(kPortUnavailableFmt, path) + ": " + reason);
    EXPECT_FALSE(port.Connected()) << path;
    EXPECT_EQ(ErrorOf([&] { port.Write("x"); }), kPortNotOpen) << path;
  }
  EXPECT_EQ(OpenDescriptors(), before);
}

TEST(ComPort, DeviceThisUserMayNotOpenNamesTheGroupToJoin) {
  if (::geteuid() == 0) GTEST_SKIP() << "root opens any device; the permission case needs another user";
  test::TempDir dir;
  const std::string path = dir.File("locked");
  std::ofstream(path) << "x";
  fs::permissions(path, fs::perms::none);
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  const group* g = ::getgrgid(st.st_gid);
  ASSERT_NE(g, nullptr);
  TComm port;
  port.SetPortName(path);
  EXPECT_EQ(ErrorOf([&] { port.Open(); }),
            fmt::sprintf(kPortUnavailableFmt, path) + ": " + fmt::sprintf(kPortNoPermissionFmt, g->gr_name));
}

namespace {

// A fake /sys/class/tty and /dev.
class FakeTree {
 public:
  FakeTree() : sys_(dir_.File("sys")), dev_(dir_.File("dev")) {
    fs::create_directories(sys_);
    fs::create_directories(dev_ + "/serial/by-id");
    fs::create_directories(dir_.File("devices/uart"));
  }
  // A tty entry; device: with a device link; type: contents of the type file ("" = none);
  // node: /dev node present.
  void Tty(const std::string& name, bool device, const std::string& type, bool node) {
    const std::string entry = sys_ + "/" + name;
    fs::create_directories(entry);
    if (device) fs::create_directory_symlink("../../devices/uart", entry + "/device");
    if (!type.empty()) std::ofstream(entry + "/type") << type << "\n";
    if (node) std::ofstream(dev_ + "/" + name).flush();
  }
  void ById(const std::string& link, const std::string& target) {
    fs::create_symlink("../../" + target, dev_ + "/serial/by-id/" + link);
  }
  const std::string& Sys() const { return sys_; }
  const std::string& Dev() const { return dev_; }
  std::string DirFile(const std::string& name) const { return dir_.File(name); }

 private:
  test::TempDir dir_;
  std::string sys_;
  std::string dev_;
};

}  // namespace

TEST(ComEnum, ListsRealSerialDevicesInNumberOrder) {
  FakeTree t;
  // Created out of order on purpose.
  t.Tty("ttyUSB10", true, "", true);
  t.Tty("ttyS10", true, "4", true);
  t.Tty("ttyS9", true, "4", true);
  t.Tty("ttyS1", true, "0", true);  // listed by the kernel, no UART behind it
  t.Tty("ttyS0", true, "4", true);
  t.Tty("ttyS8", true, "4", true);
  t.Tty("ttyUSB2", true, "", true);
  t.Tty("ttyACM0", true, "", true);
  t.Tty("tty0", false, "", true);  // virtual console: no device link
  t.Tty("console", false, "", true);
  t.Tty("ttyUSB5", true, "", false);  // no node in /dev
  t.Tty("ttyUSB7", false, "", true);
  fs::create_symlink(t.DirFile("devices/gone"), t.Sys() + "/ttyUSB7/device");  // dangling link
  t.ById("usb-FTDI_FT232R_A1-if00-port0", "ttyUSB2");
  t.ById("usb-Arduino_Uno_B2-if00", "ttyACM0");
  t.ById("usb-Missing_C3-if00", "ttyUSB9");

  struct Expected {
    const char* name;
    int number;
    const char* description;
  };
  const Expected expected[] = {
      {"ttyS0", 1, ""},
      {"ttyS8", 9, ""},
      {"ttyS9", 10, ""},
      {"ttyS10", 11, ""},
      {"ttyACM0", 12, "usb-Arduino_Uno_B2-if00"},
      {"ttyUSB2", 13, "usb-FTDI_FT232R_A1-if00-port0"},
      {"ttyUSB10", 14, ""},
  };
  const std::vector<TComPortInfo> ports = EnumComPorts(t.Sys(), t.Dev());
  ASSERT_EQ(ports.size(), std::size(expected));
  for (std::size_t i = 0; i < ports.size(); ++i) {
    EXPECT_EQ(ports[i].Name, expected[i].name) << i;
    EXPECT_EQ(ports[i].Path, t.Dev() + "/" + expected[i].name) << i;
    EXPECT_EQ(ports[i].Number, expected[i].number) << i;
    EXPECT_EQ(ports[i].Description, expected[i].description) << i;
  }
}

TEST(ComEnum, OnlyNonLegacyDevicesAreNumberedFromOne) {
  FakeTree t;
  t.Tty("ttyUSB1", true, "", true);
  t.Tty("ttyUSB0", true, "", true);
  const std::vector<TComPortInfo> ports = EnumComPorts(t.Sys(), t.Dev());
  ASSERT_EQ(ports.size(), 2u);
  EXPECT_EQ(ports[0].Name, "ttyUSB0");
  EXPECT_EQ(ports[0].Number, 1);
  EXPECT_EQ(ports[1].Name, "ttyUSB1");
  EXPECT_EQ(ports[1].Number, 2);
}

TEST(ComEnum, MissingRootsGiveAnEmptyList) {
  test::TempDir dir;
  EXPECT_TRUE(EnumComPorts(dir.File("no-sys"), dir.File("no-dev")).empty());
  // A /dev without serial/by-id still lists the devices, without readable names.
  FakeTree t;
  t.Tty("ttyS0", true, "4", true);
  fs::remove_all(t.Dev() + "/serial");
  const std::vector<TComPortInfo> ports = EnumComPorts(t.Sys(), t.Dev());
  ASSERT_EQ(ports.size(), 1u);
  EXPECT_EQ(ports[0].Description, "");
}

TEST(ComEnum, SystemListIsOrderedAndPointsAtExistingNodes) {
  const std::vector<TComPortInfo> ports = EnumComPorts();
  for (std::size_t i = 0; i < ports.size(); ++i) {
    EXPECT_TRUE(fs::exists(ports[i].Path)) << ports[i].Path;
    EXPECT_EQ(ports[i].Path, "/dev/" + ports[i].Name);
    if (i > 0) {
      EXPECT_LT(ports[i - 1].Number, ports[i].Number);
    }
  }
}
