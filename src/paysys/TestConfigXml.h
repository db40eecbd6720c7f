#pragma once

#include "MasterPort.h"
#include "PrivateKey.h"
#include "xmlParser.h"

#include <string>

namespace quorvel {

class TXmlItem;

/// Reads an RSAKeyValue element below item (item itself or its direct child): Modulus and
/// Exponent. All values are required; raises "Элемент не найден, <name>" otherwise. key is
/// replaced only when every value was read, so it never mixes two keys.
void ReadRsaKeyValue(TXmlItem& item, TPublicKey& key);

/// As above for a private key: Modulus, Exponent, P, Q, DP, DQ, InverseQ, D.
void ReadRsaKeyValue(TXmlItem& item, TPrivateKey& key);

/// Reader of the test-configuration file that a MasterPort-protocol operator hands out:
/// Ortena/ModemNumber and PaymentServer with Port, Host, ApplicationId, SenderID,
/// ReceiverId, PublicKey/RSAKeyValue and PrivateKey/RSAKeyValue. Each named element may be
/// the document element itself or a direct child of it (letter case ignored).
/// Owns its parser; each reading replaces the parser's document.
/// Threads: one reading at a time (the user-interface thread).
class TTestConfigXml {
 public:
  TTestConfigXml() = default;
  TTestConfigXml(const TTestConfigXml&) = delete;
  TTestConfigXml& operator=(const TTestConfigXml&) = delete;

  /// The parser the file is read with (tests set its http timeouts through it).
  TXmlParser& Parser() { return parser_; }

 protected:
  /// Reads fileName (path or http address) into system in this order: SerialNumber, the
  /// server's Port and Address, ApplicationID, SenderID and ReceiverID (Latin letters
  /// upper-cased), ServerPublicKey, ApplicationPrivateKey. TestSettings is not touched.
  /// Raises "Ошибка чтения файла ..." for a file that cannot be loaded (nothing changes),
  /// "Элемент не найден, <name>" for a missing element and EConvertError for a Port that is
  /// not an integer; the values read before the failure stay stored.
  void Read(TMasterPortProtocol& system, const std::string& fileName);

 private:
  TXmlParser parser_;
};

/// The test-configuration reader of TMasterPort.
class TMasterPortXml : public TTestConfigXml {
 public:
  /// Reads fileName into system (see TTestConfigXml::Read).
  void LoadFromFile(TMasterPort& system, const std::string& fileName) { Read(system, fileName); }
};

/// The test-configuration reader of TPegasMP (the same file format).
class TPegasMPXml : public TTestConfigXml {
 public:
  /// Reads fileName into system (see TTestConfigXml::Read).
  void LoadFromFile(TPegasMP& system, const std::string& fileName) { Read(system, fileName); }
};

/// The program's shared reader of each kind, created on first use.
TMasterPortXml& MasterPortXml();
TPegasMPXml& PegasMPXml();

}  // namespace quorvel
