#pragma once

#include "xmlParser.h"

#include <string>

namespace quorvel {

class TAppDoc;
class TCyberplatPoint;
class TEPort;
class TFeeTables;
class TGprsProviders;
class TMasterPortProtocol;
class TOSMP;
class TPaymentSystem;
class TPegasOSMP;
class TXPlat;
class TXmlItem;

/// Root element of the configuration document.
inline constexpr const char* kAppDocRootName = "settings";

/// Reader and writer of the configuration document (root `settings`: ActiveSystemID, the GPRS
/// operators, the payment-system sections, the EPort values in the root, FeeTables,
/// UpdateParams, SimCards, otscripts) and of the stand-alone files that hold one part of it.
///
/// Files are windows-1251 XML without indentation. Every save replaces its file atomically;
/// an error raised while the document is built or written leaves the previous file exactly as
/// it was, and reaches the caller as Exception "Ошибка записи файла <name>.\r\n<reason>".
/// Every read raises "Ошибка чтения файла ..." when the file cannot be loaded (nothing
/// changes then), "Элемент не найден, <name>" for a missing required element, EConvertError
/// "'<text>' - неверное целое значение" for a bad integer and the model's own messages. A
/// stand-alone file (every Load* and ReadSystemScripts) changes its part of the model all or
/// nothing: after an error the part is exactly as it was. Only the document itself
/// (LoadDocument, ReadDocument) keeps the values read before an error, so that a damaged
/// document loses as little as possible.
///
/// Never written: the payment systems' passwords, the XPlat secret key and the MasterPort
/// pair's test-configuration file names (they live only for the run, or come from elsewhere).
///
/// Owns one parser that all operations share. Thread rules: one operation at a time (the
/// user-interface thread).
class TAppDocXml {
 public:
  TAppDocXml();
  ~TAppDocXml();
  TAppDocXml(const TAppDocXml&) = delete;
  TAppDocXml& operator=(const TAppDocXml&) = delete;

  /// The shared parser (tests set its http timeouts through it).
  TXmlParser& Parser() { return parser_; }

  // The configuration document.

  /// Reads fileName into doc when the file exists (a missing file is no error: returns an
  /// empty text). Reading stops at the first error, keeping everything read before it, and the
  /// error's message is returned; an empty result means the whole document was read.
  std::string LoadDocument(TAppDoc& doc, const std::string& fileName);
  /// Writes doc to fileName. Raises "Ошибка записи файла <name>.\r\n<reason>"; the previous
  /// file is intact then.
  void SaveDocument(const TAppDoc& doc, const std::string& fileName);
  /// The bytes SaveDocument would write for doc. Raises as SaveDocument does before it writes.
  std::string DocumentText(const TAppDoc& doc);
  /// Reads the document's content from its root element (whatever its name), in document
  /// order; raises at the first error (values read before it stay).
  void ReadDocument(TAppDoc& doc, TXmlItem& root) const;
  /// Appends the document's content below root (expected empty).
  void WriteDocument(const TAppDoc& doc, TXmlItem& root) const;

  // Stand-alone files; each read raises the errors above, each save raises as SaveDocument.

  /// Root `root` holding a section named by the system's short name, holding `server`.
  void SaveServerParams(const TPaymentSystem& system, const std::string& fileName);
  void LoadServerParams(TPaymentSystem& system, const std::string& fileName);

  /// Root `cyberplatpoint` holding SD, AP, OP.
  void SaveCyberplatPoint(const TCyberplatPoint& point, const std::string& fileName);
  void LoadCyberplatPoint(TCyberplatPoint& point, const std::string& fileName);

  /// Reads the leading values and keys of a MasterPort-pair section from the element
  /// `masterport` (TPegasMP: `PegasMP`), the root itself or its child; then sets the system's
  /// TestConfigFileName to fileName.
  void LoadTestSettings(TMasterPortProtocol& system, const std::string& fileName);

  /// Root `root` holding `EPort`: CardNumber, CardPin, Point and the shared four; all are read.
  void SaveEPort(const TEPort& system, const std::string& fileName);
  void LoadEPort(TEPort& system, const std::string& fileName);

  /// Root `root` holding `XPlat` as in the document; reading takes Point and Login only.
  void SaveXPlat(const TXPlat& system, const std::string& fileName);
  void LoadXPlat(TXPlat& system, const std::string& fileName);

  /// Root `root` holding `OSMP` (`PEGASPAY`) as in the document; reading takes TerminalID and
  /// Login only.
  void SaveOSMP(const TOSMP& system, const std::string& fileName);
  void LoadOSMP(TOSMP& system, const std::string& fileName);
  void SavePegasOSMP(const TPegasOSMP& system, const std::string& fileName);
  void LoadPegasOSMP(TPegasOSMP& system, const std::string& fileName);

  /// Root `root` holding `Header` (`Trailer`) with one attribute Line1, Line2, ... per line.
  /// Loading returns the lines, each followed by CR LF.
  void SaveHeader(const std::string& text, const std::string& fileName);
  std::string LoadHeader(const std::string& fileName);
  void SaveTrailer(const std::string& text, const std::string& fileName);
  std::string LoadTrailer(const std::string& fileName);

  /// Root named by the system's short name, holding `scripts`. Saving does nothing for an
  /// empty file name.
  void SaveScripts(const TPaymentSystem& system, const std::string& fileName);
  void LoadScripts(TPaymentSystem& system, const std::string& fileName);
  /// Reads a system's script list from a file path or http address (the support server's
  /// list): the element named by the short name (root or child) holding `scripts`.
  void ReadSystemScripts(TPaymentSystem& system, const std::string& address);

  /// Root `root` holding `FeeTables`. Loading also holds every rate of the file to the rules
  /// of a rate (TFeeTables::CheckFees: "Таблица <n>, ставка <k>: <rule>"); the configuration
  /// document itself is read without them, so that it loses nothing.
  void SaveFeeTables(const TFeeTables& tables, const std::string& fileName);
  void LoadFeeTables(TFeeTables& tables, const std::string& fileName);

  /// Reads `ServiceProviders` (root or child) from a file path or http address into list,
  /// replacing it. A document that cannot be loaded or has no `ServiceProviders` leaves the
  /// list as it was.
  void LoadGprsProviders(TGprsProviders& list, const std::string& address);

 private:
  // NewDocument, SetRootName(rootName) unless empty, build, SaveToFile; every failure raised
  // as the write error naming fileName.
  // An export by default: a device or pipe is written through, a new file gets the usual mode.
  template <class Build>
  void Save(const std::string& fileName, const char* rootName, Build build,
            TFileAccess access = TFileAccess::Shared, TWriteKind kind = TWriteKind::Output);
  // NewDocument and LoadFromFile; returns the root.
  TXmlItem& Load(const std::string& fileName);

  TXmlParser parser_;
};

/// The program's shared reader and writer, created on first use; lives to the end of the
/// program.
TAppDocXml& AppDocXml();

}  // namespace quorvel
