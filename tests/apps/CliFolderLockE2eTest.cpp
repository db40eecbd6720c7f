// Runs of quorvel-cli that share the program's folder: one waits for the other's
// read-modify-write, and gives up with a message when the folder stays taken.
#include "CliFixture.h"
#include "FolderLock.h"
#include "Profile.h"
#include "TempDir.h"

#include <fmt/format.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

namespace quorvel::test {
namespace {

using CliFolderLock = CliTest;

TEST_F(CliFolderLock, TwoRunsStartedTogetherBothKeepTheirChange) {
  // Both runs read, change and save the same document: each must find the other's change
  // already there or leave its own for the other to find.
  for (int round = 1; round <= 5; ++round) {
    SCOPED_TRACE(round);
    const std::string home = dir.File("home" + std::to_string(round));
    std::filesystem::create_directory(home);
    const std::string apn = "apn" + std::to_string(round) + ".example";
    const std::string header =
        WriteFile("header" + std::to_string(round) + ".txt", "Раунд " + std::to_string(round) + "\n");
    const std::string run = Quote(CliPath()) + " --home " + Quote(home) + " --simulator ";
    const std::string status = dir.File("status" + std::to_string(round));
    const std::string script = "(" + run + "sim write --pin 1234 --apn " + apn + " </dev/null >/dev/null 2>" +
                               Quote(status + ".sim.err") + "; echo $? >" + Quote(status + ".sim") + ") & (" +
                               run + "header write " + Quote(header) + " </dev/null >/dev/null 2>" +
                               Quote(status + ".header.err") + "; echo $? >" + Quote(status + ".header") +
                               ") & wait";
    RunCommand(script);
    EXPECT_EQ(ReadFile(status + ".sim"), "0\n") << ReadFile(status + ".sim.err");
    EXPECT_EQ(ReadFile(status + ".header"), "0\n") << ReadFile(status + ".header.err");
    TAppDoc doc(home + "/" + kAppDocFileName);
    doc.SaveOnDestroy = false;
    EXPECT_EQ(doc.SimCards().FindSlot(1).Apn, apn);
    EXPECT_NE(doc.Header.find("Раунд " + std::to_string(round)), std::string::npos) << doc.Header;
  }
}

TEST_F(CliFolderLock, RunGivesUpOnAFolderHeldTooLongHavingChangedNothing) {
  const std::string header = WriteFile("header.txt", "ООО «Ромашка»\n");
  TFolderLock held(dir.Path(), 0);
  ASSERT_TRUE(held.Locked());
  const auto r = Cli("--lock-wait 0.3 header write " + Quote(header));
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(r.Err, fmt::format(kFolderBusyMessage, dir.Path()) + "\n");
  EXPECT_TRUE(Commands().empty());
  EXPECT_FALSE(std::filesystem::exists(dir.File(kAppDocFileName)));
  EXPECT_FALSE(std::filesystem::exists(dir.File("settings.xml")));
}

// The folder is released after two seconds, well inside the five the runs may wait: a single
// command and a bench run both go through, each when the holder is done.
TEST_F(CliFolderLock, RunsWaitTheirWholeLockWaitForAFolderReleasedMeanwhile) {
  const std::string header = WriteFile("header.txt", "ООО «Ромашка»\n");
  TProfile profile;
  profile.Trailer = "Спасибо\r\n";
  profile.Groups = {TProfileGroup::Trailer};
  profile.SaveToFile(dir.File("shop.xml"));
  const std::string runs[] = {
      "--port " + Quote(sim.SlavePath()) + " --lock-wait 5 header write " + Quote(header),
      "--lock-wait 5 --yes profile write " + Quote(dir.File("shop.xml")) + " --port " +
          Quote(sim.SlavePath()),
  };
  for (const std::string& args : runs) {
    SCOPED_TRACE(args);
    auto held = std::make_unique<TFolderLock>(dir.Path(), 0);
    ASSERT_TRUE(held->Locked());
    std::thread release([&held] {
      std::this_thread::sleep_for(std::chrono::seconds(2));
      held.reset();
    });
    const auto r = CliRaw(args);
    release.join();
    EXPECT_EQ(r.Status, 0) << r.Err;
  }
  EXPECT_EQ(sim.State().Header[0], "ООО «Ромашка»");
  EXPECT_EQ(sim.State().Trailer[0], "Спасибо");
}

}  // namespace
}  // namespace quorvel::test
