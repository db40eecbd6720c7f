#include "TestConfigXml.h"

#include "XmlItem.h"

namespace quorvel {

namespace {

// Identifiers are GUID-like texts; only Latin letters change (as the 8-bit upper-casing of
// the original program did for them).
std::string UpperLatin(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

}  // namespace

void ReadRsaKeyValue(TXmlItem& item, TPublicKey& key) {
  TXmlItem* value = item.GetItem("RSAKeyValue");
  TPublicKey read;
  read.Modulus = value->GetText("Modulus");
  read.Exponent = value->GetText("Exponent");
  key = read;
}

void ReadRsaKeyValue(TXmlItem& item, TPrivateKey& key) {
  TXmlItem* value = item.GetItem("RSAKeyValue");
  TPrivateKey read;
  read.Modulus = value->GetText("Modulus");
  read.Exponent = value->GetText("Exponent");
  read.P = value->GetText("P");
  read.Q = value->GetText("Q");
  read.DP = value->GetText("DP");
  read.DQ = value->GetText("DQ");
  read.InverseQ = value->GetText("InverseQ");
  read.D = value->GetText("D");
  key = read;
}

void TTestConfigXml::Read(TMasterPortProtocol& system, const std::string& fileName) {
  parser_.NewDocument();
  parser_.LoadFromFile(fileName);
  TXmlItem* root = parser_.Root();

  system.SerialNumber = root->GetItem("Ortena")->GetText("ModemNumber");

  TXmlItem* server = root->GetItem("PaymentServer");
  system.ServerParams().Port = server->GetInt("Port");
  system.ServerParams().Address = server->GetText("Host");
  system.ApplicationID = UpperLatin(server->GetText("ApplicationId"));
  system.SenderID = UpperLatin(server->GetText("SenderID"));
  system.ReceiverID = UpperLatin(server->GetText("ReceiverId"));
  ReadRsaKeyValue(*server->GetItem("PublicKey"), system.ServerPublicKey);
  ReadRsaKeyValue(*server->GetItem("PrivateKey"), system.ApplicationPrivateKey);
}

TMasterPortXml& MasterPortXml() {
  static TMasterPortXml reader;
  return reader;
}

TPegasMPXml& PegasMPXml() {
  static TPegasMPXml reader;
  return reader;
}

}  // namespace quorvel
