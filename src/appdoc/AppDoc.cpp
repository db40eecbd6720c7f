#include "AppDoc.h"

#include "AppDocXml.h"
#include "Errors.h"
#include "FileText.h"
#include "Paths.h"

#include <filesystem>
#include <utility>

namespace quorvel {

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
  // A damaged file that is gone already leaves nothing to keep (the name stays empty).
  backupFileName_ = MakeBackupCopy(fileName_);
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
