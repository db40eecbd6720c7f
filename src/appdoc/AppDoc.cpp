#include "AppDoc.h"

#include "AppDocXml.h"
#include "Errors.h"
#include "FileText.h"
#include "Paths.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <utility>

#include <fmt/format.h>

namespace quorvel {

namespace {

// The file's bytes, an empty file included (ReadFileText refuses that one).
std::string ReadBytes(const std::string& fileName) {
  std::ifstream in(fileName, std::ios::binary);
  if (!in) throw Exception(std::strerror(errno ? errno : ENOENT));
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) throw Exception(std::strerror(errno ? errno : EIO));
  return bytes;
}

// "<fileName>.YYYYMMDD-HHMMSS.bak" in local time, with "-2", "-3", ... before ".bak" when a
// copy of that second exists already: an older copy is never overwritten.
std::string FreeBackupName(const std::string& fileName) {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
  const std::string base = fileName + "." + stamp;
  std::string name = base + ".bak";
  std::error_code ec;  // a folder that cannot be looked at makes the write fail with its reason
  for (int n = 2; std::filesystem::exists(name, ec) && n < 10000; ++n)
    name = base + "-" + std::to_string(n) + ".bak";
  return name;
}

}  // namespace

TAppDoc::TAppDoc(std::string fileName)
    : fileName_(std::move(fileName)),
      osmp_(&paymentSystems_.Add<TOSMP>()),
      eport_(&paymentSystems_.Add<TEPort>()),
      xplat_(&paymentSystems_.Add<TXPlat>()),
      cyberplat_(&paymentSystems_.Add<TCyberplat>()),
      masterPort_(&paymentSystems_.Add<TMasterPort>()),
      easyPay_(&paymentSystems_.Add<TEasyPay>()),
      krasplat_(&paymentSystems_.Add<TKrasplat>()),
      bercut_(&paymentSystems_.Add<TBercut>()),
      absolutplat_(&paymentSystems_.Add<TAbsolutplat>()),
      eurofon_(&paymentSystems_.Add<TEurofon>()),
      pegasMP_(&paymentSystems_.Add<TPegasMP>()),
      pegasOSMP_(&paymentSystems_.Add<TPegasOSMP>()),
      ubsPay_(&paymentSystems_.Add<TUbsPay>()) {
  scriptDefs_.SetDefaults();
  Load();
}

TAppDoc::~TAppDoc() {
  if (!SaveOnDestroy || saveCalled_) return;
  try {
    Save();
  } catch (...) {
    // Nothing can be reported from here; a program that must know calls Save itself.
  }
}

void TAppDoc::Load() {
  loadError_ = AppDocXml().LoadDocument(*this, fileName_);
  backupPending_ = !loadError_.empty();
}

void TAppDoc::Save() {
  saveCalled_ = true;
  if (backupPending_) MakeBackup();
  const std::string folder = std::filesystem::path(fileName_).parent_path().string();
  if (!folder.empty()) EnsureDirectory(folder);
  AppDocXml().SaveDocument(*this, fileName_);
}

void TAppDoc::MakeBackup() {
  std::error_code ec;
  if (std::filesystem::status(fileName_, ec).type() == std::filesystem::file_type::not_found) {
    backupPending_ = false;  // the damaged file is gone already; nothing left to keep
    return;
  }
  const std::string name = FreeBackupName(fileName_);
  try {
    // The copy holds the same keys and passwords as the document.
    WriteFileText(name, ReadBytes(fileName_), TWriteKind::Document, TFileAccess::Secret);
  } catch (const Exception& e) {
    throw Exception(fmt::format("{} {}: {}", kBackupErrorMessage, name, e.what()));
  }
  backupFileName_ = name;
  backupPending_ = false;
}

void TAppDoc::UpdateGprsProviders(const std::string& baseAddress) {
  std::string base = baseAddress.empty() ? paymentSystems_.SupportServer : baseAddress;
  while (!base.empty() && base.back() == '/') base.pop_back();
  AppDocXml().LoadGprsProviders(gprsProviders_, base + kGprsConfigPath);
}

TAppDoc& AppDoc() {
  static TAppDoc doc(ProgramHome() + "/" + kAppDocFileName);
  return doc;
}

}  // namespace quorvel
