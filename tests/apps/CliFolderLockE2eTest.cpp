// Runs of quorvel-cli that share the program's folder: one waits for the other's
// read-modify-write, and gives up with a message when the folder stays taken.
#include "CliFixture.h"
#include "FolderLock.h"
#include "TempDir.h"

#include <fmt/format.h>

#include <filesystem>
#include <string>

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

}  // namespace
}  // namespace quorvel::test
