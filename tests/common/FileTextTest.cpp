#include "FileText.h"

#include "Errors.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sys/stat.h>

using namespace quorvel;

TEST(FileText, ReadsBytesUnchangedAndRefusesEmptyFile) {
  test::TempDir dir;
  const std::string bytes("\x00\x01\xFF\r\n\x00", 6);
  std::ofstream(dir.File("a.bin"), std::ios::binary) << bytes;
  EXPECT_EQ(ReadFileText(dir.File("a.bin")), bytes);

  std::ofstream(dir.File("empty.bin"), std::ios::binary).flush();
  try {
    ReadFileText(dir.File("empty.bin"));
    FAIL() << "no error";
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "Файл пустой");
  }
  EXPECT_THROW(ReadFileText(dir.File("missing.bin")), Exception);
}

TEST(FileText, WriteReplacesAtomicallyAndKeepsMode) {
  test::TempDir dir;
  const std::string f = dir.File("s.xml");
  WriteFileText(f, "first");
  ::chmod(f.c_str(), 0600);
  WriteFileText(f, "second, longer");
  EXPECT_EQ(ReadFileText(f), "second, longer");
  struct stat st {};
  ASSERT_EQ(::stat(f.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  WriteFileText(f, "");
  EXPECT_EQ(std::filesystem::file_size(f), 0u);
  // no temporary files are left behind
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
}

TEST(FileText, FailedWriteLeavesThePreviousFile) {
  test::TempDir dir;
  const std::string f = dir.File("keep.txt");
  WriteFileText(f, "precious");
  if (::geteuid() == 0) {
    // root ignores directory permissions; a file name that is a directory makes rename fail
    std::filesystem::create_directory(dir.File("sub"));
    EXPECT_THROW(WriteFileText(dir.File("sub"), "x"), Exception);
    EXPECT_TRUE(std::filesystem::is_directory(dir.File("sub")));
  } else {
    ::chmod(dir.Path().c_str(), 0500);
    EXPECT_THROW(WriteFileText(f, "lost?"), Exception);
    ::chmod(dir.Path().c_str(), 0700);
  }
  EXPECT_EQ(ReadFileText(f), "precious");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}),
            std::filesystem::exists(dir.File("sub")) ? 2 : 1);
}
