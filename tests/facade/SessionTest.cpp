#include "Session.h"

#include "AppDoc.h"
#include "AppManager.h"
#include "FileText.h"
#include "LogFile.h"
#include "Ortenas.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <regex>
#include <string>
#include <vector>

using namespace quorvel;

namespace {

/// One program on the shared folder: its own facade, log and session.
struct TProgram {
  TOrtena Facade;
  TLogFile Log;
  TSession Session;
  TProgram(const std::string& home, TFolderUse use, int lockWaitMs = kDefaultFolderLockWaitMs)
      : Session(Facade, Log, home, use, lockWaitMs) {}
};

class SessionTest : public ::testing::Test {
 protected:
  std::unique_ptr<TProgram> Open(TFolderUse use = TFolderUse::AroundSaves, int lockWaitMs = 0) {
    return std::make_unique<TProgram>(dir.Path(), use, lockWaitMs);
  }

  /// Another program's run that sets the receipt header and saves both files.
  void OtherProgramWritesHeader(const std::string& header) {
    TProgram other(dir.Path(), TFolderUse::WholeRun, 0);
    other.Session.Doc().Header = header;
    other.Session.Save();
  }

  /// The receipt header a document file holds, without the line end the document adds.
  static std::string HeaderIn(const std::string& fileName) {
    TAppDoc doc(fileName);
    doc.SaveOnDestroy = false;
    std::string header = doc.Header;
    if (header.ends_with("\r\n")) header.resize(header.size() - 2);
    return header;
  }
  std::string DocFile() const { return dir.File(kAppDocFileName); }

  /// The one copy a notice names, checked to be a dated name beside the file.
  static std::string CopyNamedIn(const std::vector<std::string>& notices, const std::string& file) {
    EXPECT_EQ(notices.size(), 1u);
    if (notices.empty()) return {};
    const std::regex dated(std::regex_replace(file, std::regex(R"([.^$|()\[\]{}*+?\\])"), R"(\$&)") +
                           R"(\.\d{8}-\d{6}(-\d+)?\.bak)");
    std::smatch m;
    EXPECT_TRUE(std::regex_search(notices[0], m, dated)) << notices[0];
    EXPECT_NE(notices[0].find(file + ","), std::string::npos) << notices[0];
    return m.empty() ? std::string() : m.str();
  }

  test::TempDir dir;
};

TEST_F(SessionTest, RunOfTheCommandLineHoldsTheFolderUntilItEnds) {
  auto run = Open(TFolderUse::WholeRun);
  EXPECT_THROW(TFolderLock(dir.Path(), 0), EFolderBusy);
  // A second run is refused before it reads anything.
  EXPECT_THROW(Open(TFolderUse::WholeRun), EFolderBusy);
  EXPECT_THROW(Open(TFolderUse::AroundSaves), EFolderBusy);
  run->Session.Doc().Header = "run";
  run->Session.Save();
  EXPECT_THROW(TFolderLock(dir.Path(), 0), EFolderBusy);
  run.reset();
  EXPECT_TRUE(TFolderLock(dir.Path(), 0).Locked());
  EXPECT_EQ(HeaderIn(DocFile()), "run");
}

TEST_F(SessionTest, WindowLeavesTheFolderFreeBetweenSavesAndWritesNothingWhileItIsHeld) {
  auto window = Open();
  window->Session.Doc().Header = "window";
  {
    TFolderLock other(dir.Path(), 0);
    EXPECT_TRUE(other.Locked());
    EXPECT_THROW(window->Session.Save(), EFolderBusy);
    EXPECT_THROW(window->Session.ChangesOnDisk(), EFolderBusy);
  }
  EXPECT_FALSE(std::filesystem::exists(DocFile()));
  window->Session.Save();
  EXPECT_EQ(HeaderIn(DocFile()), "window");
}

TEST_F(SessionTest, OnlyFilesAnotherProgramReallyChangedCount) {
  OtherProgramWritesHeader("first");
  auto window = Open();
  EXPECT_TRUE(window->Session.ChangesOnDisk().empty());
  // The command line saves settings.xml on every run, mostly with the very same bytes.
  OtherProgramWritesHeader("first");
  EXPECT_TRUE(window->Session.ChangesOnDisk().empty());

  OtherProgramWritesHeader("second");
  const std::vector<TDiskChange> changes = window->Session.ChangesOnDisk();
  ASSERT_EQ(changes.size(), 1u);
  EXPECT_EQ(changes[0].FileName, DocFile());
  EXPECT_EQ(changes[0].OnDisk, TFileStamp::Of(DocFile()));

  // The window's own save is no change for its next one.
  window->Session.Save([](const TDiskChange&) { return TChangeChoice::KeepOurs; });
  EXPECT_TRUE(window->Session.ChangesOnDisk().empty());
}

TEST_F(SessionTest, KeepingOwnValuesCopiesTheOtherProgramsFileFirst) {
  OtherProgramWritesHeader("before");
  auto window = Open();
  window->Session.Doc().Header = "window";
  OtherProgramWritesHeader("command line");

  std::vector<std::string> asked;
  window->Session.Save([&](const TDiskChange& change) {
    asked.push_back(change.FileName);
    return TChangeChoice::KeepOurs;
  });
  EXPECT_EQ(asked, std::vector<std::string>{DocFile()});
  EXPECT_EQ(HeaderIn(DocFile()), "window");
  const std::string copy = CopyNamedIn(window->Session.SaveNotices(), DocFile());
  EXPECT_EQ(HeaderIn(copy), "command line");
}

TEST_F(SessionTest, TakingTheOtherProgramsFileKeepsOwnValuesInACopyAndLoadsTheFile) {
  auto window = Open();
  window->Session.Doc().Header = "window";
  window->Session.Settings().SetMaxRetryCount(2);
  {
    TProgram other(dir.Path(), TFolderUse::WholeRun, 0);
    other.Session.Doc().Header = "command line";
    other.Session.Settings().SetMaxRetryCount(5);
    other.Session.Save();
  }
  std::vector<std::string> asked;
  window->Session.Save([&](const TDiskChange& change) {
    asked.push_back(change.FileName);
    return TChangeChoice::KeepTheirs;
  });
  EXPECT_EQ(asked, (std::vector<std::string>{DocFile(), dir.File("settings.xml")}));
  EXPECT_EQ(HeaderIn(DocFile()), "command line");
  EXPECT_EQ(window->Session.Doc().Header, "command line\r\n");
  EXPECT_EQ(window->Session.Settings().MaxRetryCount(), 5);

  const std::vector<std::string> notices = window->Session.SaveNotices();
  ASSERT_EQ(notices.size(), 2u);
  const std::string docCopy = CopyNamedIn({notices[0]}, DocFile());
  EXPECT_EQ(HeaderIn(docCopy), "window");
  const std::string settingsCopy = CopyNamedIn({notices[1]}, dir.File("settings.xml"));
  TOrtena facade;
  TLogFile log;
  EXPECT_EQ(TAppManager(facade.Driver(), log, settingsCopy).MaxRetryCount(), 2);

  // Nothing is left to decide about afterwards.
  window->Session.Save([](const TDiskChange&) -> TChangeChoice {
    ADD_FAILURE() << "asked again";
    return TChangeChoice::KeepOurs;
  });
}

TEST_F(SessionTest, ChangedFileTheSessionLeftAsItReadItIsTakenWithoutAskingOrACopy) {
  OtherProgramWritesHeader("before");
  auto window = Open();
  window->Session.Doc().Header = "window";
  // Put back as read: nothing of the window's own is left in the document.
  window->Session.Doc().Header = "before\r\n";
  window->Session.Doc().PageIndex = 7;
  window->Session.Settings().SetMaxRetryCount(2);
  OtherProgramWritesHeader("command line");
  const std::string theirs = ReadFileText(DocFile());

  std::vector<std::string> asked;
  window->Session.Save([&](const TDiskChange& change) {
    asked.push_back(change.FileName);
    return TChangeChoice::KeepOurs;
  });
  // settings.xml was changed by the window, and the other program wrote its bytes unchanged.
  EXPECT_EQ(asked, std::vector<std::string>{});
  EXPECT_EQ(ReadFileText(DocFile()), theirs);
  EXPECT_EQ(window->Session.Doc().Header, "command line\r\n");
  EXPECT_TRUE(window->Session.SaveNotices().empty());
  for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
    EXPECT_EQ(entry.path().string().find(".bak"), std::string::npos) << entry.path();
  TOrtena facade;
  TLogFile log;
  EXPECT_EQ(TAppManager(facade.Driver(), log, dir.File("settings.xml")).MaxRetryCount(), 2);
}

TEST_F(SessionTest, FileChangedAgainWhileTheUserDecidesIsAskedAboutAgain) {
  OtherProgramWritesHeader("before");
  auto window = Open();
  window->Session.Doc().Header = "window";
  OtherProgramWritesHeader("one");
  std::vector<std::string> seen;
  window->Session.Save([&](const TDiskChange&) {
    seen.push_back(HeaderIn(DocFile()));
    if (seen.size() == 1) OtherProgramWritesHeader("two");
    return TChangeChoice::KeepTheirs;
  });
  EXPECT_EQ(seen, (std::vector<std::string>{"one", "two"}));
  EXPECT_EQ(HeaderIn(DocFile()), "two");
  EXPECT_EQ(HeaderIn(CopyNamedIn(window->Session.SaveNotices(), DocFile())), "window");
}

TEST_F(SessionTest, SavesWithoutAChoiceKeepOwnValuesAndTheOtherCopy) {
  OtherProgramWritesHeader("before");
  auto window = Open();
  window->Session.Doc().Header = "window";
  OtherProgramWritesHeader("command line");
  window->Session.SaveDocument();
  EXPECT_EQ(HeaderIn(DocFile()), "window");
  EXPECT_EQ(HeaderIn(CopyNamedIn(window->Session.SaveNotices(), DocFile())), "command line");
}

}  // namespace
