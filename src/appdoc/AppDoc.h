#pragma once

#include "Absolutplat.h"
#include "Bercut.h"
#include "Cyberplat.h"
#include "EPort.h"
#include "EasyPay.h"
#include "Eurofon.h"
#include "FeeTable.h"
#include "GprsProvider.h"
#include "Krasplat.h"
#include "MasterPort.h"
#include "OSMP.h"
#include "Paths.h"
#include "PaymentSystem.h"
#include "ScriptDef.h"
#include "SimCard.h"
#include "UbsPay.h"
#include "XPlat.h"

#include <cstdint>
#include <string>

namespace quorvel {

/// Name of the configuration document in the program's folder (ProgramHome()).
inline constexpr const char* kAppDocFileName = "Quorvel.xml";
/// Path of the GPRS operator list on the support web server.
inline constexpr const char* kGprsConfigPath = "/ortena/gprsconfig.xml";
/// Start of the error raised when the copy of a partly read document cannot be made; the file
/// name and the reason follow.
inline constexpr const char* kBackupErrorMessage = kBackupCopyErrorMessage;

/// All configuration the program edits: the thirteen payment systems (owned by
/// PaymentSystems), SIM slots, fee tables, GPRS operators, script definitions, receipt lines
/// and two values the user interface remembers. Loaded from its file at creation; saved by
/// Save, or by the destructor when Save was never called.
///
/// A document that could be read only in part keeps what was read (the rest holds its
/// defaults) and remembers the reason in LoadError. The file itself is not lost: before the
/// first save after such a load it is copied beside itself under a dated name
/// (BackupFileName), and only then replaced.
///
/// Threads: model objects are used by one thread at a time.
class TAppDoc {
 public:
  /// Creates every object with its defaults (the script definitions hold the built-in one),
  /// then Load from fileName.
  explicit TAppDoc(std::string fileName);
  /// Saves when SaveOnDestroy is set and Save was never called; errors are swallowed here
  /// (a program that must report them calls Save itself before).
  ~TAppDoc();
  TAppDoc(const TAppDoc&) = delete;
  TAppDoc& operator=(const TAppDoc&) = delete;

  /// The document's file.
  const std::string& GetFileName() const { return fileName_; }

  /// Reads the file into the objects (nothing happens when it does not exist). Never raises:
  /// reading stops at the first error and LoadError tells why.
  void Load();
  /// Writes the objects to the file, creating its folder when missing. After a load that
  /// stopped part way, the file is first copied to BackupFileName (once per document). Raises
  /// "Ошибка записи файла <name>.\r\n<reason>", or kBackupErrorMessage when the copy cannot be
  /// made; the previous file is intact in both cases.
  void Save();

  /// Replaces GprsProviders with the list at <base>/ortena/gprsconfig.xml, base being
  /// baseAddress or, when empty, PaymentSystems().SupportServer. Raises the read errors of
  /// TAppDocXml::LoadGprsProviders; the list is unchanged when the file cannot be loaded.
  void UpdateGprsProviders(const std::string& baseAddress = {});

  /// Why the last Load stopped early; empty when the whole document was read or there was
  /// no document.
  const std::string& LoadError() const { return loadError_; }
  /// The copy made before the first save after a partial load; empty when none was made.
  const std::string& BackupFileName() const { return backupFileName_; }

  /// Whether the destructor saves (when Save was never called). On by default.
  bool SaveOnDestroy = true;

  TScriptDefs& ScriptDefs() { return scriptDefs_; }
  const TScriptDefs& ScriptDefs() const { return scriptDefs_; }
  TPaymentSystems& PaymentSystems() { return paymentSystems_; }
  const TPaymentSystems& PaymentSystems() const { return paymentSystems_; }
  TFeeTables& FeeTables() { return feeTables_; }
  const TFeeTables& FeeTables() const { return feeTables_; }
  TGprsProviders& GprsProviders() { return gprsProviders_; }
  const TGprsProviders& GprsProviders() const { return gprsProviders_; }
  TSimCards& SimCards() { return simCards_; }
  const TSimCards& SimCards() const { return simCards_; }

  TOSMP& OSMP() { return *osmp_; }
  const TOSMP& OSMP() const { return *osmp_; }
  TEPort& EPort() { return *eport_; }
  const TEPort& EPort() const { return *eport_; }
  TXPlat& XPlat() { return *xplat_; }
  const TXPlat& XPlat() const { return *xplat_; }
  TCyberplat& Cyberplat() { return *cyberplat_; }
  const TCyberplat& Cyberplat() const { return *cyberplat_; }
  TMasterPort& MasterPort() { return *masterPort_; }
  const TMasterPort& MasterPort() const { return *masterPort_; }
  TEasyPay& EasyPay() { return *easyPay_; }
  const TEasyPay& EasyPay() const { return *easyPay_; }
  TKrasplat& Krasplat() { return *krasplat_; }
  const TKrasplat& Krasplat() const { return *krasplat_; }
  TBercut& Bercut() { return *bercut_; }
  const TBercut& Bercut() const { return *bercut_; }
  TAbsolutplat& Absolutplat() { return *absolutplat_; }
  const TAbsolutplat& Absolutplat() const { return *absolutplat_; }
  TEurofon& Eurofon() { return *eurofon_; }
  const TEurofon& Eurofon() const { return *eurofon_; }
  TPegasMP& PegasMP() { return *pegasMP_; }
  const TPegasMP& PegasMP() const { return *pegasMP_; }
  TPegasOSMP& PegasOSMP() { return *pegasOSMP_; }
  const TPegasOSMP& PegasOSMP() const { return *pegasOSMP_; }
  TUbsPay& UbsPay() { return *ubsPay_; }
  const TUbsPay& UbsPay() const { return *ubsPay_; }

  /// Receipt header lines, separated by CR LF.
  std::string Header;
  /// Advertisement lines, separated by CR LF.
  std::string Trailer;
  /// Path of the last firmware file.
  std::string HexFileName;
  /// Position of the last selected page in the main window's page tree.
  std::int32_t PageIndex = 0;

 private:
  void MakeBackup();

  std::string fileName_;
  // Declared in the order of creation.
  TScriptDefs scriptDefs_;
  TPaymentSystems paymentSystems_;
  TFeeTables feeTables_;
  TGprsProviders gprsProviders_;
  TSimCards simCards_;
  TOSMP* osmp_;
  TEPort* eport_;
  TXPlat* xplat_;
  TCyberplat* cyberplat_;
  TMasterPort* masterPort_;
  TEasyPay* easyPay_;
  TKrasplat* krasplat_;
  TBercut* bercut_;
  TAbsolutplat* absolutplat_;
  TEurofon* eurofon_;
  TPegasMP* pegasMP_;
  TPegasOSMP* pegasOSMP_;
  TUbsPay* ubsPay_;

  std::string loadError_;
  std::string backupFileName_;
  bool backupPending_ = false;
  bool saveCalled_ = false;
};

/// The program's document at ProgramHome() + "/" + kAppDocFileName, created (and loaded) on
/// first use and saved when the program ends unless it was saved explicitly.
TAppDoc& AppDoc();

}  // namespace quorvel
