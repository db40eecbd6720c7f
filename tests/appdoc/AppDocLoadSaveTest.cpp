// Damaged documents, the copy kept before they are overwritten, and saves that fail.
#include "AppDoc.h"
#include "AppDocXml.h"
#include "TempDir.h"
#include "xmlParser.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>
#include <csignal>
#include <filesystem>
#include <regex>

#include "AppDocTestSupport.h"

using namespace quorvel;
using namespace quorvel::test;
namespace fs = std::filesystem;

namespace {

// Writes beyond `bytes` fail with EFBIG for the whole process while it lives (root is bound
// by it too, unlike file permissions).
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &old_);
    oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = old_;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &old_);
    std::signal(SIGXFSZ, oldHandler_);
  }

 private:
  rlimit old_{};
  void (*oldHandler_)(int) = SIG_DFL;
};

std::vector<std::string> FilesIn(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<std::string> Without(const std::vector<std::string>& dump,
                                 const std::vector<std::string>& prefixes) {
  std::vector<std::string> rest;
  for (const auto& line : dump) {
    bool skip = false;
    for (const auto& prefix : prefixes) skip = skip || line.starts_with(prefix);
    if (!skip) rest.push_back(line);
  }
  return rest;
}

// A filled document's bytes, the dump it loads back as, and the dump of a fresh document.
struct Reference {
  std::string bytes;
  std::vector<std::string> filled;
  std::vector<std::string> fresh;
};

Reference MakeReference(const TempDir& dir) {
  Reference ref;
  TAppDoc fresh(dir.File("fresh-none.xml"));
  fresh.SaveOnDestroy = false;
  TAppDoc doc(dir.File("reference.xml"));
  doc.SaveOnDestroy = false;
  FillDocument(doc);
  doc.Save();
  ForgetUnsaved(doc, fresh);
  ref.bytes = ReadBytes(dir.File("reference.xml"));
  ref.filled = Dump(doc);
  ref.fresh = Dump(fresh);
  return ref;
}

std::vector<std::string> LoadDump(const std::string& file, std::string* error) {
  TAppDoc doc(file);
  doc.SaveOnDestroy = false;
  *error = doc.LoadError();
  return Dump(doc);
}

std::string Erase(std::string text, const std::string& part) {
  const auto at = text.find(part);
  EXPECT_NE(at, std::string::npos) << part;
  return at == std::string::npos ? text : text.erase(at, part.size());
}

const std::regex kBackupName(R"(Quorvel\.xml\.\d{8}-\d{6}(-\d+)?\.bak)");

}  // namespace

TEST(AppDocPartialLoad, MissingActiveSystemIdLoadsNothing) {
  TempDir dir;
  const Reference ref = MakeReference(dir);
  WriteBytes(dir.File("Quorvel.xml"), Erase(ref.bytes, "<ActiveSystemID>12</ActiveSystemID>"));
  std::string error;
  ExpectSameDump(LoadDump(dir.File("Quorvel.xml"), &error), ref.fresh);
  EXPECT_EQ(error, "Элемент не найден, ActiveSystemID");
}

TEST(AppDocPartialLoad, MissingUbsPaySectionLoadsEverythingBeforeIt) {
  TempDir dir;
  const Reference ref = MakeReference(dir);
  WriteBytes(dir.File("Quorvel.xml"), Erase(ref.bytes, ElementText(ref.bytes, "UBSPAY")));
  std::string error;
  const auto loaded = LoadDump(dir.File("Quorvel.xml"), &error);
  EXPECT_EQ(error, "Элемент не найден, UBSPAY");
  TAppDoc names(dir.File("names-none.xml"));
  names.SaveOnDestroy = false;
  const std::vector<std::string> after = {names.UbsPay().GetDisplayName() + ".",
                                          names.PegasMP().GetDisplayName() + ".",
                                          names.PegasOSMP().GetDisplayName() + "."};
  ExpectSameDump(Without(loaded, after), Without(ref.filled, after));
  for (const auto& prefix : after) ExpectSameDump(Part(loaded, prefix), Part(ref.fresh, prefix));
}

TEST(AppDocPartialLoad, DocumentEndingInsideFeeTablesLoadsUpToThere) {
  TempDir dir;
  const Reference ref = MakeReference(dir);
  // Well-formed, but its content stops after the second rate of the fourth table.
  auto at = ref.bytes.find("<FeeTables>");
  for (int i = 0; i < 4; ++i) at = ref.bytes.find("<FeeTable>", at + 1);
  at = ref.bytes.find("</Fee>", ref.bytes.find("</Fee>", at) + 1) + 6;
  WriteBytes(dir.File("Quorvel.xml"),
             ref.bytes.substr(0, at) + "</fees></FeeTable></FeeTables></settings>\n");
  std::string error;
  const auto loaded = LoadDump(dir.File("Quorvel.xml"), &error);
  EXPECT_EQ(error, "Элемент не найден, UpdateParams");

  std::vector<std::string> expected = {"ActiveSystemID", "gprs",      "FeeTables.ItemIndex",
                                       "FeeTable0",      "FeeTable1", "FeeTable2"};
  TAppDoc names(dir.File("names-none.xml"));
  names.SaveOnDestroy = false;
  for (TPaymentSystem* s : std::initializer_list<TPaymentSystem*>{
           &names.MasterPort(), &names.Cyberplat(), &names.EPort(), &names.XPlat(), &names.OSMP()})
    expected.push_back(s->GetDisplayName() + ".");
  for (const auto& prefix : expected) ExpectSameDump(Part(loaded, prefix), Part(ref.filled, prefix));
  const auto table4 = Part(ref.filled, "FeeTable3");
  ExpectSameDump(Part(loaded, "FeeTable3"), {table4[0], table4[1], table4[2]});
  expected.push_back("FeeTable3");
  ExpectSameDump(Without(loaded, expected), Without(ref.fresh, expected));
}

TEST(AppDocPartialLoad, FileThatIsNotXmlLoadsNothingAndSaysWhy) {
  TempDir dir;
  const Reference ref = MakeReference(dir);
  WriteBytes(dir.File("Quorvel.xml"), ref.bytes.substr(0, ref.bytes.size() / 2));
  std::string error;
  ExpectSameDump(LoadDump(dir.File("Quorvel.xml"), &error), ref.fresh);
  EXPECT_TRUE(error.starts_with("Ошибка чтения файла " + dir.File("Quorvel.xml") + ".\r\n")) << error;
}

TEST(AppDocBackup, FirstSaveAfterAPartialLoadKeepsTheOriginalBytesOnce) {
  TempDir dir;
  const Reference ref = MakeReference(dir);
  const std::string partial = Erase(ref.bytes, ElementText(ref.bytes, "UBSPAY"));
  for (const std::string& original : {partial, std::string("not xml at all"), std::string()}) {
    TempDir home;
    const std::string file = home.File("Quorvel.xml");
    WriteBytes(file, original);
    TAppDoc doc(file);
    EXPECT_NE(doc.LoadError(), "");
    EXPECT_EQ(doc.BackupFileName(), "");
    EXPECT_EQ(FilesIn(home.Path()).size(), 1u) << "loading writes nothing";

    doc.Save();
    const std::string backup = doc.BackupFileName();
    EXPECT_TRUE(std::regex_match(fs::path(backup).filename().string(), kBackupName)) << backup;
    EXPECT_EQ(fs::path(backup).parent_path(), fs::path(home.Path()));
    EXPECT_EQ(ReadBytes(backup), original);
    std::string error;
    LoadDump(file, &error);
    EXPECT_EQ(error, "") << "the saved document is whole again";

    doc.PageIndex = 5;
    doc.Save();
    EXPECT_EQ(doc.BackupFileName(), backup);
    EXPECT_EQ(FilesIn(home.Path()).size(), 2u) << "one copy, made once";
    EXPECT_EQ(ReadBytes(backup), original);
  }
}

TEST(AppDocBackup, WholeDocumentsAndTheDestructorsSave) {
  TempDir dir;
  const Reference ref = MakeReference(dir);
  {
    TempDir home;
    WriteBytes(home.File("Quorvel.xml"), ref.bytes);
    TAppDoc doc(home.File("Quorvel.xml"));
    doc.Save();
    EXPECT_EQ(doc.BackupFileName(), "");
    EXPECT_EQ(FilesIn(home.Path()), std::vector<std::string>{"Quorvel.xml"});
  }
  TempDir home;
  WriteBytes(home.File("Quorvel.xml"), "<settings/>");
  { TAppDoc doc(home.File("Quorvel.xml")); }  // the save at exit keeps the copy too
  const auto files = FilesIn(home.Path());
  ASSERT_EQ(files.size(), 2u);
  EXPECT_TRUE(std::regex_match(files[1], kBackupName)) << files[1];
  EXPECT_EQ(ReadBytes(home.File(files[1])), "<settings/>");
}

TEST(AppDocBackup, CopyThatCannotBeMadeStopsTheSave) {
  TempDir dir;
  const Reference ref = MakeReference(dir);
  const std::string file = dir.File("Quorvel.xml");
  const std::string partial = Erase(ref.bytes, ElementText(ref.bytes, "UBSPAY"));
  WriteBytes(file, partial);
  TAppDoc doc(file);
  doc.SaveOnDestroy = false;
  {
    FileSizeLimit limit(partial.size() / 2);
    EXPECT_TRUE(
        ErrorOf([&] { doc.Save(); }).starts_with(std::string(kBackupErrorMessage) + " " + file + "."));
  }
  EXPECT_EQ(ReadBytes(file), partial);
  EXPECT_EQ(doc.BackupFileName(), "");
  doc.Save();
  EXPECT_EQ(ReadBytes(doc.BackupFileName()), partial);
}

TEST(AppDocSave, FailedWriteKeepsThePreviousFileAndIsReported) {
  TempDir dir;
  const std::string file = dir.File("Quorvel.xml");
  TAppDoc doc(file);
  doc.SaveOnDestroy = false;
  doc.Save();
  const std::string old = ReadBytes(file);
  FillDocument(doc);
  {
    FileSizeLimit limit(old.size() + 10);
    const std::string error = ErrorOf([&] { doc.Save(); });
    EXPECT_TRUE(error.starts_with("Ошибка записи файла " + file + ".\r\n")) << error;
  }
  EXPECT_EQ(ReadBytes(file), old);
  EXPECT_EQ(FilesIn(dir.Path()), std::vector<std::string>{"Quorvel.xml"}) << "no temporary file left";

  // An error while the document is built is reported the same way, before anything is written.
  doc.Header = "bad \x01 line\r\n";
  EXPECT_TRUE(ErrorOf([&] { doc.Save(); }).starts_with("Ошибка записи файла " + file + ".\r\n"));
  EXPECT_EQ(ReadBytes(file), old);
  const std::string header = dir.File("header.xml");
  AppDocXml().SaveHeader("A\r\n", header);
  EXPECT_TRUE(
      ErrorOf([&] { AppDocXml().SaveHeader("\x02", header); }).starts_with("Ошибка записи файла " + header));
  EXPECT_EQ(AppDocXml().LoadHeader(header), "A\r\n");

  doc.Header.clear();
  doc.Save();
  EXPECT_NE(ReadBytes(file), old);
}

TEST(AppDocSave, ReadOnlyFolderKeepsThePreviousFile) {
  TempDir dir;
  const std::string file = dir.File("Quorvel.xml");
  TAppDoc doc(file);
  doc.SaveOnDestroy = false;
  doc.Save();
  const std::string old = ReadBytes(file);
  doc.PageIndex = 3;
  std::string error;
  {
    quorvel::test::NoNewFilesIn readOnly(dir.Path());
    error = ErrorOf([&] { doc.Save(); });
  }
  EXPECT_TRUE(error.starts_with("Ошибка записи файла " + file)) << error;
  EXPECT_EQ(ReadBytes(file), old);
}

TEST(AppDocSave, DestructorSavesOnlyWhenSaveWasNeverCalledAndNeverThrows) {
  TempDir dir;
  const std::string file = dir.File("Quorvel.xml");
  {
    TAppDoc doc(file);
    doc.PageIndex = 4;
  }
  {
    TAppDoc doc(file);
    EXPECT_EQ(doc.PageIndex, 4);
    doc.PageIndex = 5;
    doc.Save();
    doc.PageIndex = 6;  // after the explicit save: the program chose not to keep it
  }
  {
    TAppDoc doc(file);
    EXPECT_EQ(doc.PageIndex, 5);
    doc.SaveOnDestroy = false;
    doc.PageIndex = 7;
  }
  {
    TAppDoc doc(file);
    doc.SaveOnDestroy = false;
    EXPECT_EQ(doc.PageIndex, 5);
  }
  WriteBytes(dir.File("blocker"), "a file where a folder should be");
  EXPECT_NO_THROW({ TAppDoc doc(dir.File("blocker/sub/Quorvel.xml")); });
  TAppDoc doc(dir.File("blocker/sub/Quorvel.xml"));
  doc.SaveOnDestroy = false;
  EXPECT_THROW(doc.Save(), Exception);
}
