#include "FolderLock.h"

#include "FileStamp.h"
#include "FileText.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>

using namespace quorvel;

TEST(FolderLock, SecondHolderIsRefusedWithTheFolderNamedUntilTheFirstReleases) {
  test::TempDir dir;
  auto first = std::make_unique<TFolderLock>(dir.Path(), 0);
  EXPECT_TRUE(first->Locked());
  EXPECT_TRUE(std::filesystem::exists(dir.File(kFolderLockFileName)));
  for (int waitMs : {0, 100}) {
    try {
      TFolderLock second(dir.Path(), waitMs);
      FAIL() << "the folder was locked twice";
    } catch (const EFolderBusy& e) {
      EXPECT_NE(std::string(e.what()).find("\"" + dir.Path() + "\""), std::string::npos) << e.what();
      EXPECT_NE(std::string(e.what()).find("занята другой программой"), std::string::npos) << e.what();
    }
  }
  first.reset();
  TFolderLock again(dir.Path(), 0);
  EXPECT_TRUE(again.Locked());
}

TEST(FolderLock, WaiterGetsTheFolderWhenTheHolderLetsGo) {
  test::TempDir dir;
  auto holder = std::make_unique<TFolderLock>(dir.Path(), 0);
  bool locked = false;
  std::thread waiter([&] {
    TFolderLock lock(dir.Path(), 60000);
    locked = lock.Locked();
  });
  holder.reset();
  waiter.join();
  EXPECT_TRUE(locked);
}

TEST(FolderLock, HolderInAnotherProcessKeepsTheFolderUntilItEnds) {
  test::TempDir dir;
  int ready[2];
  int release[2];
  ASSERT_EQ(::pipe(ready), 0);
  ASSERT_EQ(::pipe(release), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    TFolderLock lock(dir.Path(), 0);
    char c = 1;
    (void)!::write(ready[1], &c, 1);
    (void)!::read(release[0], &c, 1);
    ::_exit(0);
  }
  char c = 0;
  ASSERT_EQ(::read(ready[0], &c, 1), 1);
  EXPECT_THROW(TFolderLock(dir.Path(), 0), EFolderBusy);
  // The child ends without releasing anything itself: the system drops its lock.
  (void)!::write(release[1], &c, 1);
  int status = 0;
  ::waitpid(child, &status, 0);
  TFolderLock after(dir.Path(), 0);
  EXPECT_TRUE(after.Locked());
  for (int fd : {ready[0], ready[1], release[0], release[1]}) ::close(fd);
}

TEST(FolderLock, FolderThatCannotHoldTheLockFileIsLeftUnlocked) {
  test::TempDir dir;
  TFolderLock lock(dir.File("gone"), 0);
  EXPECT_FALSE(lock.Locked());
}

// Whatever stands in the lock file's place must not let two programs in at once: the folder
// is refused, not run unlocked, and the thing is named.
TEST(FolderLock, ALockFileThatIsNoRegularFileIsRefusedNamingIt) {
  const struct {
    const char* name;
    void (*make)(const std::string& lock, const std::string& folder);
    const char* reason;
  } cases[] = {
      {"a folder",
       [](const std::string& lock, const std::string&) { std::filesystem::create_directory(lock); },
       "это папка"},
      {"a link to a file",
       [](const std::string& lock, const std::string& folder) {
         std::ofstream(folder + "/elsewhere") << "";
         std::filesystem::create_symlink(folder + "/elsewhere", lock);
       },
       "это символическая ссылка"},
      {"a dangling link",
       [](const std::string& lock, const std::string& folder) {
         std::filesystem::create_symlink(folder + "/created-through-the-link", lock);
       },
       "это символическая ссылка"},
      {"a FIFO",
       [](const std::string& lock, const std::string&) { ASSERT_EQ(::mkfifo(lock.c_str(), 0600), 0); },
       "это не обычный файл"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    test::TempDir dir;
    const std::string lock = dir.File(kFolderLockFileName);
    c.make(lock, dir.Path());
    std::string error;
    try {
      TFolderLock taken(dir.Path(), 0);
      ADD_FAILURE() << "the folder was taken through " << c.name << ", locked: " << taken.Locked();
    } catch (const EFolderBusy& e) {
      ADD_FAILURE() << e.what();
    } catch (const Exception& e) {
      error = e.what();
    }
    EXPECT_NE(error.find("\"" + lock + "\""), std::string::npos) << error;
    EXPECT_NE(error.find(c.reason), std::string::npos) << error;
    EXPECT_FALSE(std::filesystem::exists(dir.File("created-through-the-link")));
  }
}

TEST(FileStamp, TellsReplacedBytesFromTheSameBytesWrittenAgain) {
  test::TempDir dir;
  const std::string f = dir.File("Quorvel.xml");
  const TFileStamp missing = TFileStamp::Of(f);
  EXPECT_EQ(missing.State, TFileStamp::TState::Missing);

  WriteFileText(f, "");
  const TFileStamp empty = TFileStamp::Of(f);
  EXPECT_EQ(empty.State, TFileStamp::TState::Present);
  EXPECT_NE(empty, missing);

  WriteFileText(f, "<Quorvel>1</Quorvel>");
  const TFileStamp one = TFileStamp::Of(f);
  EXPECT_NE(one, empty);
  // Written again by another program: a new file, a new time, the same bytes.
  WriteFileText(f, "<Quorvel>1</Quorvel>");
  EXPECT_EQ(TFileStamp::Of(f), one);
  // The same length, another byte.
  WriteFileText(f, "<Quorvel>2</Quorvel>");
  EXPECT_NE(TFileStamp::Of(f), one);

  std::filesystem::remove(f);
  EXPECT_EQ(TFileStamp::Of(f), missing);
  // A folder in the file's place is looked at, never read.
  std::filesystem::create_directory(f);
  EXPECT_EQ(TFileStamp::Of(f).State, TFileStamp::TState::Unreadable);
}
