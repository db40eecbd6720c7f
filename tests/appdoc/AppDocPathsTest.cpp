// File names the document keeps are stored as absolute paths, and the files that hold its
// secrets are readable by their owner only.
#include "AppDoc.h"
#include "AppDocXml.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <filesystem>
#include <fstream>

using namespace quorvel;
using namespace quorvel::test;
namespace fs = std::filesystem;

TEST(AppDocPaths, FileNamesGivenRelativeAreStoredAbsolute) {
  TempDir dir;
  const std::string file = dir.File("Quorvel.xml");
  const fs::path cwd = fs::current_path();
  fs::create_directory(dir.File("keys"));
  fs::current_path(dir.File("keys"));
  {
    TAppDoc doc(file);
    doc.SaveOnDestroy = false;
    doc.EasyPay().KeyFileName = "ep.key";
    doc.Krasplat().CerFileName = "../kr.cer";
    doc.Eurofon().WordFileName = "./e.word";
    doc.HexFileName = "fw/v2.hex";
    doc.Save();
  }
  // Read back from another folder: the names still lead to the same files.
  fs::current_path(cwd);
  TAppDoc doc(file);
  doc.SaveOnDestroy = false;
  EXPECT_EQ(doc.EasyPay().KeyFileName, dir.File("keys/ep.key"));
  EXPECT_EQ(doc.Krasplat().CerFileName, dir.File("kr.cer"));
  EXPECT_EQ(doc.Eurofon().WordFileName, dir.File("keys/e.word"));
  EXPECT_EQ(doc.HexFileName, dir.File("keys/fw/v2.hex"));
  EXPECT_EQ(doc.Krasplat().KeyFileName, "");  // an empty name stays empty
}

TEST(AppDocPaths, TheDocumentItsCopyAndTheEPortFileAreOwnerOnly) {
  TempDir dir;
  const std::string file = dir.File("Quorvel.xml");
  const mode_t oldMask = ::umask(022);
  // A document left readable to others, by hand or by an older version.
  std::ofstream(file) << "<root><damaged";
  ::chmod(file.c_str(), 0644);
  TAppDoc doc(file);
  doc.SaveOnDestroy = false;
  doc.SimCards().Items(0).Pin = "1234";
  doc.Save();
  ASSERT_FALSE(doc.BackupFileName().empty());
  const fs::perms ownerOnly = fs::perms::owner_read | fs::perms::owner_write;
  EXPECT_EQ(fs::status(doc.BackupFileName()).permissions() & fs::perms::all, ownerOnly);
  EXPECT_EQ(fs::status(file).permissions() & fs::perms::all, ownerOnly);
  fs::remove(file);
  doc.Save();  // a new document
  EXPECT_EQ(fs::status(file).permissions() & fs::perms::all, ownerOnly);

  const std::string eport = dir.File("eport.xml");
  std::ofstream(eport) << "old";
  ::chmod(eport.c_str(), 0644);
  doc.EPort().CardPin = "4321";
  AppDocXml().SaveEPort(doc.EPort(), eport);
  ::umask(oldMask);
  EXPECT_EQ(fs::status(eport).permissions() & fs::perms::all, ownerOnly);
}
