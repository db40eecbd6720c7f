// A folder of ports that come and go, as /dev/serial/by-id and /dev are on a bench with USB
// adapters: links and nodes made, renamed in and out, removed, and the folder itself gone
// and back.
#include "PortWatch.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

#include <gtest/gtest.h>

#include "Pty.h"
#include "TempDir.h"

namespace quorvel {

// gtest finds it beside the type, for readable failures
void PrintTo(const TPortEvent& e, std::ostream* os) {
  *os << (e.Kind == TPortEvent::TKind::Appeared ? "Appeared " : "Vanished ") << e.Path;
}

namespace {

namespace fs = std::filesystem;

constexpr int kEventWaitMs = 5000;  // a ceiling: the events of a change are there long before

TPortEvent Appeared(const std::string& path) { return {TPortEvent::TKind::Appeared, path}; }
TPortEvent Vanished(const std::string& path) { return {TPortEvent::TKind::Vanished, path}; }

// Events until count have come or a Wait ends with none.
std::vector<TPortEvent> Collect(TPortWatch& watch, std::size_t count) {
  std::vector<TPortEvent> all;
  while (all.size() < count) {
    const auto some = watch.Wait(kEventWaitMs);
    if (some.empty()) break;
    all.insert(all.end(), some.begin(), some.end());
  }
  return all;
}

void Touch(const std::string& path) { std::ofstream(path) << "x"; }

class PortWatchTest : public ::testing::Test {
 protected:
  std::string Dir() const { return tmp.File("by-id"); }
  std::string In(const std::string& name) const { return Dir() + "/" + name; }
  quorvel::test::TempDir tmp;
};

TEST_F(PortWatchTest, LinksAndNodesMadeRenamedAndRemoved) {
  fs::create_directory(Dir());
  Touch(In("ttyUSB0"));
  TPortWatch watch(Dir());
  EXPECT_EQ(watch.Present(), (std::vector<std::string>{In("ttyUSB0")}));
  EXPECT_TRUE(watch.Wait(0).empty());  // what was there at the start is no news

  quorvel::test::Pty pty;
  fs::create_symlink(pty.SlavePath(), In("usb-Ortena_GSM-if00"));
  EXPECT_EQ(Collect(watch, 1), (std::vector<TPortEvent>{Appeared(In("usb-Ortena_GSM-if00"))}));

  Touch(tmp.File("elsewhere"));
  fs::rename(tmp.File("elsewhere"), In("ttyACM0"));  // moved in
  fs::rename(In("ttyUSB0"), tmp.File("away"));       // moved out
  fs::rename(In("ttyACM0"), In("ttyACM1"));          // renamed inside
  fs::remove(In("usb-Ortena_GSM-if00"));
  EXPECT_EQ(Collect(watch, 5), (std::vector<TPortEvent>{Appeared(In("ttyACM0")), Vanished(In("ttyUSB0")),
                                                        Vanished(In("ttyACM0")), Appeared(In("ttyACM1")),
                                                        Vanished(In("usb-Ortena_GSM-if00"))}));
  EXPECT_EQ(watch.Present(), (std::vector<std::string>{In("ttyACM1")}));
}

TEST_F(PortWatchTest, ANameMadeAndRemovedBetweenTwoWaitsGivesBoth) {
  fs::create_directory(Dir());
  TPortWatch watch(Dir());
  Touch(In("ttyUSB3"));
  fs::remove(In("ttyUSB3"));
  Touch(In("ttyUSB3"));
  EXPECT_EQ(Collect(watch, 3), (std::vector<TPortEvent>{Appeared(In("ttyUSB3")), Vanished(In("ttyUSB3")),
                                                        Appeared(In("ttyUSB3"))}));
  EXPECT_EQ(watch.Present(), (std::vector<std::string>{In("ttyUSB3")}));
}

// udev replaces a link by renaming a new one over it: the old port went, a new one came.
TEST_F(PortWatchTest, ALinkRenamedOverAnotherIsANewPort) {
  fs::create_directory(Dir());
  fs::create_symlink("../../ttyUSB0", In("usb-A"));
  TPortWatch watch(Dir(), [](const std::string& name) { return name.rfind("usb-", 0) == 0; });
  fs::create_symlink("../../ttyUSB1", In(".#usb-A"));
  fs::rename(In(".#usb-A"), In("usb-A"));
  EXPECT_EQ(Collect(watch, 2), (std::vector<TPortEvent>{Vanished(In("usb-A")), Appeared(In("usb-A"))}));
  EXPECT_EQ(watch.Present(), (std::vector<std::string>{In("usb-A")}));
}

TEST_F(PortWatchTest, AFolderMissingAtTheStartIsWatchedForAndTheFolderGoingTakesItsEntries) {
  const std::string serial = tmp.File("serial");
  const std::string byId = serial + "/by-id";
  TPortWatch watch(byId);
  EXPECT_TRUE(watch.Present().empty());

  // the first adapter: udev makes the folders and the link in one go
  fs::create_directories(byId);
  fs::create_symlink("../../ttyUSB0", byId + "/usb-A");
  EXPECT_EQ(Collect(watch, 1), (std::vector<TPortEvent>{Appeared(byId + "/usb-A")}));
  fs::create_symlink("../../ttyUSB1", byId + "/usb-B");
  EXPECT_EQ(Collect(watch, 1), (std::vector<TPortEvent>{Appeared(byId + "/usb-B")}));

  // the folders removed, entries and all, then made again
  fs::remove_all(serial);
  auto gone = Collect(watch, 2);
  std::sort(gone.begin(), gone.end(), [](const auto& a, const auto& b) { return a.Path < b.Path; });
  EXPECT_EQ(gone, (std::vector<TPortEvent>{Vanished(byId + "/usb-A"), Vanished(byId + "/usb-B")}));
  EXPECT_TRUE(watch.Present().empty());
  EXPECT_TRUE(watch.Wait(0).empty());  // no second Vanished for the folder itself

  fs::create_directories(byId);
  fs::create_symlink("../../ttyUSB2", byId + "/usb-C");
  EXPECT_EQ(Collect(watch, 1), (std::vector<TPortEvent>{Appeared(byId + "/usb-C")}));
  EXPECT_EQ(watch.Present(), (std::vector<std::string>{byId + "/usb-C"}));
}

TEST_F(PortWatchTest, AFolderMovedAwayTakesItsEntriesAndBringsThemBack) {
  fs::create_directory(Dir());
  Touch(In("ttyUSB0"));
  Touch(In("ttyUSB1"));
  TPortWatch watch(Dir() + "/");
  EXPECT_EQ(watch.Present(), (std::vector<std::string>{In("ttyUSB0"), In("ttyUSB1")}));
  fs::rename(Dir(), tmp.File("old"));
  EXPECT_EQ(Collect(watch, 2), (std::vector<TPortEvent>{Vanished(In("ttyUSB0")), Vanished(In("ttyUSB1"))}));
  // what happens in the moved folder is no longer the watched folder's
  Touch(tmp.File("old/ttyUSB2"));
  fs::rename(tmp.File("old"), Dir());
  EXPECT_EQ(Collect(watch, 3), (std::vector<TPortEvent>{Appeared(In("ttyUSB0")), Appeared(In("ttyUSB1")),
                                                        Appeared(In("ttyUSB2"))}));
}

TEST_F(PortWatchTest, TheFilterKeepsOtherNamesOut) {
  fs::create_directory(Dir());
  Touch(In("ttyS0"));
  Touch(In("ttyUSB7"));
  TPortWatch watch(Dir(), IsHotplugSerialName);
  EXPECT_EQ(watch.Present(), (std::vector<std::string>{In("ttyUSB7")}));
  for (const char* name : {"tty1", "ttyUSB", "ttyACM0.lock", "ttyACM0"}) Touch(In(name));
  fs::remove(In("ttyS0"));
  EXPECT_EQ(Collect(watch, 1), (std::vector<TPortEvent>{Appeared(In("ttyACM0"))}));
  EXPECT_TRUE(watch.Wait(200).empty());
}

TEST(HotplugSerialName, UsbAndAcmNodesWithTheirNumber) {
  const struct {
    const char* name;
    bool hotplug;
  } cases[] = {
      {"ttyUSB0", true},   {"ttyUSB12", true},  {"ttyACM3", true},  {"ttyUSB", false},
      {"ttyACM", false},   {"ttyS0", false},    {"tty1", false},    {"ttyUSB0a", false},
      {"xttyUSB0", false}, {"ttyACM-1", false}, {"ttyusb0", false}, {"", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsHotplugSerialName(c.name), c.hotplug) << c.name;
}

TEST_F(PortWatchTest, WakeEndsAWaitWithoutLimit) {
  fs::create_directory(Dir());
  TPortWatch watch(Dir());
  std::vector<TPortEvent> got{Appeared("not yet")};
  std::thread waiter([&] { got = watch.Wait(-1); });
  watch.Wake();
  waiter.join();
  EXPECT_TRUE(got.empty());
  // a Wake that came before the Wait is not lost either
  watch.Wake();
  EXPECT_TRUE(watch.Wait(-1).empty());
  // and it is used up: the watch works on
  Touch(In("ttyUSB0"));
  EXPECT_EQ(Collect(watch, 1), (std::vector<TPortEvent>{Appeared(In("ttyUSB0"))}));
}

// More changes than the kernel queues: the folder listed again, each entry reported once.
TEST_F(PortWatchTest, AnOverflowedQueueIsMadeUpByTheListing) {
  std::size_t queued = 0;
  std::ifstream("/proc/sys/fs/inotify/max_queued_events") >> queued;
  if (queued == 0 || queued > 100000)
    GTEST_SKIP() << "the inotify queue's length is unknown or too long: " << queued;
  fs::create_directory(Dir());
  TPortWatch watch(Dir());
  const std::size_t count = queued + 500;
  for (std::size_t i = 0; i < count; ++i) Touch(In("p" + std::to_string(i)));
  const auto events = Collect(watch, count);
  std::set<std::string> paths;
  for (const auto& e : events) {
    EXPECT_EQ(e.Kind, TPortEvent::TKind::Appeared) << e.Path;
    paths.insert(e.Path);
  }
  EXPECT_EQ(events.size(), count);
  EXPECT_EQ(paths.size(), count);
  EXPECT_EQ(watch.Present().size(), count);
}

// A leftover file where the folder belongs: watched for as a missing folder.
TEST_F(PortWatchTest, AFileInThePlaceOfTheFolderIsNoFolderYet) {
  Touch(Dir());
  TPortWatch watch(Dir());
  EXPECT_TRUE(watch.Present().empty());
  fs::remove(Dir());
  fs::create_directory(Dir());
  Touch(In("ttyUSB0"));
  EXPECT_EQ(Collect(watch, 1), (std::vector<TPortEvent>{Appeared(In("ttyUSB0"))}));
}

TEST(PortWatch, AFolderOnTheWayThatMayNotBeReadIsAnError) {
  if (::geteuid() == 0) GTEST_SKIP() << "root may read every folder";
  quorvel::test::TempDir tmp;
  fs::create_directory(tmp.File("locked"));
  ::chmod(tmp.File("locked").c_str(), 0);
  EXPECT_ANY_THROW(TPortWatch(tmp.File("locked/serial/by-id")));
  ::chmod(tmp.File("locked").c_str(), 0700);
}

}  // namespace
}  // namespace quorvel
