// quorvel-cli paysys write/read and rsa write: each payment system's settings reach the
// simulated terminal through the facade, with the active-system question where it belongs.
#include "Base64.h"
#include "CliFixture.h"
#include "TextUtils.h"

#include <map>

namespace {

using quorvel::Utf8ToCp1251;
using quorvel::sim::TSimState;
namespace cred = quorvel::sim::cred;
namespace files = quorvel::sim::files;

class CliPaysys : public quorvel::test::CliTest {
 protected:
  std::string WriteXml(const std::string& name, const std::string& body) {
    return WriteFile(name, "<?xml version='1.0' encoding='windows-1251'?>\n" + Utf8ToCp1251(body));
  }

  // One key block of a Cyberplat key file (marker NM: secret, NS: public).
  static std::string CyberplatKey(const std::string& marker, const std::string& name,
                                  const std::string& body) {
    return "0000000346" + marker + "00010000000000\r\n" + name + std::string(20 - name.size(), ' ') +
           "0000017033\r\nSIGNER              0000017000\r\n-----BEGIN-----\r\n" + body +
           "\r\n-----END-----\r\n-----BEGIN SIGNATURE-----\r\nsig\r\n-----END SIGNATURE-----\r\n";
  }

  void SetActive(int code) {
    sim.Update([code](TSimState& s) { s.ActiveSystem = code; });
  }
};

const char* kPrivateKeyXml =
    "<RSAKeyValue><Modulus>TQ==</Modulus><Exponent>AAEAAQ==</Exponent><P>UA==</P><Q>UQ==</Q><DP>RFA=</DP>"
    "<DQ>RFE=</DQ><InverseQ>SVE=</InverseQ><D>RA==</D></RSAKeyValue>";

TEST_F(CliPaysys, MasterPortWritesTheOperatorsTestConfiguration) {
  const std::string config = WriteXml(
      "config.xml",
      std::string(
          "<Ortena><ModemNumber>12345678</ModemNumber><PaymentServer><Port>5443</Port><Host>10.0.0.7</Host>"
          "<ApplicationId>0f1e2d3c-aaaa-bbbb-cccc-ddddeeeeffff</ApplicationId>"
          "<SenderID>11111111-2222-3333-4444-555555555555</SenderID>"
          "<ReceiverId>66666666-7777-8888-9999-aaaaaaaaaaaa</ReceiverId>"
          "<PublicKey><RSAKeyValue><Modulus>cHVi</Modulus><Exponent>AQAB</Exponent></RSAKeyValue></PublicKey>"
          "<PrivateKey>") +
          kPrivateKeyXml + "</PrivateKey></PaymentServer></Ortena>");
  const auto r = Cli("paysys write masterport --config " + Quote(config));
  ASSERT_EQ(r.Status, 0) << r.Err;
  const TSimState s = sim.State();
  EXPECT_EQ(s.SerialNumber, "12345678");
  EXPECT_EQ(s.ClientGuid, "0F1E2D3C-AAAA-BBBB-CCCC-DDDDEEEEFFFF");
  EXPECT_EQ(s.SenderGuid, "11111111-2222-3333-4444-555555555555");
  EXPECT_EQ(s.ReceiverGuid, "66666666-7777-8888-9999-AAAAAAAAAAAA");
  const std::map<std::string, std::string> rsa = {
      {"PUBMOD", "cHVi"}, {"PUBEXP", "AQAB"}, {"PRTMOD", "TQ=="}, {"PRTEXP", "AAEAAQ=="}, {"PRTP", "UA=="},
      {"PRTQ", "UQ=="},   {"PRTDP", "RFA="},  {"PRTDQ", "RFE="},  {"PRTIQ", "SVE="},      {"PRTD", "RA=="}};
  EXPECT_EQ(s.Rsa, rsa);
  // the configuration stays in the document, server included
  auto doc = Document();
  EXPECT_EQ(doc->MasterPort().ServerParams().Address, "10.0.0.7");
  EXPECT_EQ(doc->MasterPort().ServerParams().Port, 5443);
  EXPECT_EQ(doc->MasterPort().ApplicationID, "0F1E2D3C-AAAA-BBBB-CCCC-DDDDEEEEFFFF");
}

// A configuration-document file with test settings: the question comes after the active
// system's, and No writes nothing.
TEST_F(CliPaysys, PegasMPTestSettingsAskBeforeOverwriting) {
  const std::string config = WriteXml(
      "settings.xml.part",
      std::string(
          "<settings><PegasMP><TestSettings>1</TestSettings><SerialNumber>87654321</SerialNumber>"
          "<ApplicationID>0f1e2d3c-aaaa-bbbb-cccc-ddddeeeeffff</ApplicationID>"
          "<SenderID>11111111-2222-3333-4444-555555555555</SenderID>"
          "<ReceiverID>66666666-7777-8888-9999-aaaaaaaaaaaa</ReceiverID>"
          "<ServerPublicKey><RSAKeyValue><Modulus>cHVi</Modulus><Exponent>AQAB</Exponent></RSAKeyValue>"
          "</ServerPublicKey><ApplicationPrivateKey>") +
          kPrivateKeyXml + "</ApplicationPrivateKey></PegasMP></settings>");
  auto r = Cli("paysys write pegasmp --config " + Quote(config));
  EXPECT_EQ(r.Status, 3);
  EXPECT_EQ(
      r.Err,
      "В файле содержатся тестовые настройки\nПараметры платежного сервера будут перезаписаны. Продолжить?\n"
      "Нет (нет терминала для ответа; ответ Да: --yes)\n");
  EXPECT_EQ(Commands(), std::vector<std::string>{"GLOBALOP?"});
  // the refused write keeps nothing of the file in the document
  EXPECT_EQ(Document()->PegasMP().SerialNumber, "");

  r = Cli("--yes paysys write pegasmp --config " + Quote(config));
  ASSERT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(sim.State().SerialNumber, "87654321");
  EXPECT_EQ(sim.State().Rsa.at("PRTD"), "RA==");
}

TEST_F(CliPaysys, CyberplatWritesPointAndBothKeys) {
  const std::string secret = WriteFile("secret.key", CyberplatKey("NM", "SECRET", "0123456789abcdef"));
  const std::string pub = WriteFile("public.key", CyberplatKey("NS", "PUBLIC", "fedcba9876543210"));
  // a key of the other kind is refused before anything is sent
  auto r = Cli("paysys write cyberplat --secret-key " + Quote(pub));
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(r.Err, "Файл содержит ключ другого типа\n");
  EXPECT_TRUE(Commands().empty());

  r = Cli("--yes paysys write cyberplat --secret-key " + Quote(secret) + " --public-key " + Quote(pub) +
          " --password 'pa ss' --sd 17 --ap 42 --op 7");
  ASSERT_EQ(r.Status, 0) << r.Err;
  const auto c = sim.State().Credentials;
  EXPECT_EQ(sim.State().ActiveSystem, 1);
  EXPECT_EQ(c.at(cred::kCyberSD), "17");
  EXPECT_EQ(c.at(cred::kCyberAP), "42");
  EXPECT_EQ(c.at(cred::kCyberOP), "7");
  EXPECT_EQ(c.at(cred::kSecKeyCode), "SECRET");
  EXPECT_EQ(c.at(cred::kSecKeyRest), "0000017033");
  EXPECT_EQ(c.at(cred::kSecKey), "0123456789abcdef");
  EXPECT_EQ(c.at(cred::kSecPassword), "pa ss");
  EXPECT_EQ(c.at(cred::kPubKeyCode), "PUBLIC");
  EXPECT_EQ(c.at(cred::kPubKey), "fedcba9876543210");
}

// The systems that switch the terminal to their code first; each row's code is already active,
// so nothing is asked.
TEST_F(CliPaysys, EPortXPlatAndOsmpWriteTheirCredentials) {
  const std::string keyFile = WriteFile("xplat.key", std::string("\x01\xAB\xFF", 3));
  struct Row {
    std::string system;
    int code;
    std::string args;
    std::map<std::string, std::string> expected;
  };
  const std::vector<Row> rows = {
      {"eport",
       2,
       "--card 123456789012 --pin 4321 --point 77",
       {{cred::kEPortCardNumber, "123456789012"}, {cred::kEPortCardPin, "4321"}, {cred::kEPortPoint, "77"}}},
      {"xplat",
       3,
       "--point 5 --login кассир --password secret --key-file " + Quote(keyFile),
       {{cred::kXPlatPoint, "5"},
        {cred::kXPlatLogin, "кассир"},
        {cred::kXPlatPassword, "secret"},
        {cred::kXPlatKey, "01ABFF"}}},
      {"osmp",
       4,
       "--login osmp --password pw --terminal-id 9001",
       {{cred::kOsmpLogin, "osmp"}, {cred::kOsmpPassword, "pw"}, {cred::kOsmpTerminalId, "9001"}}},
      {"pegasosmp",
       4,
       "--login pegas --password pw2 --terminal-id 9002",
       {{cred::kOsmpLogin, "pegas"}, {cred::kOsmpPassword, "pw2"}, {cred::kOsmpTerminalId, "9002"}}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.system);
    SetActive(row.code);
    sim.ClearReceivedLines();
    const auto r = Cli("--no paysys write " + row.system + " " + row.args);
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(CountOf("GLOBALOP="), 0);
    const auto c = sim.State().Credentials;
    for (const auto& [key, value] : row.expected)
      EXPECT_EQ(c.count(key) ? c.at(key) : "(none)", value) << key;
  }
  // the login stays in the document, the password does not
  auto doc = Document();
  EXPECT_EQ(doc->XPlat().Login, "кассир");
  EXPECT_EQ(doc->XPlat().Password, "");
  EXPECT_EQ(doc->OSMP().TerminalID, "9001");
}

// The systems of one operation per value never ask for or check the active system.
TEST_F(CliPaysys, PerValueSystemsWriteFilesAndIdsWithoutTheActiveSystem) {
  const std::string key = WriteFile("k.key", "KEY-BYTES\x00\x01" + std::string(300, 'k'));
  const std::string cer = WriteFile("c.cer", "CERTIFICATE");
  const std::string word = WriteFile("w.txt", "слово");
  struct Row {
    std::string system;
    std::string args;
    std::map<std::string, std::string> files;
    std::map<std::string, std::string> credentials;
  };
  const std::vector<Row> rows = {
      {"easypay",
       "--key " + Quote(key) + " --cer " + Quote(cer),
       {{files::kEasyPayKey, ReadFile(key)}, {files::kEasyPayCertificate, "CERTIFICATE"}},
       {}},
      {"krasplat",
       "--key " + Quote(key) + " --cer " + Quote(cer) + " --word " + Quote(word) + " --device-id D-6",
       {{files::kKrasplatKey, ReadFile(key)},
        {files::kKrasplatCertificate, "CERTIFICATE"},
        {files::kKrasplatCodeWord, ReadFile(word)}},
       {{cred::kKrasplatDeviceId, "D-6"}}},
      {"bercut", "--device-id B-7", {}, {{cred::kBercutDeviceId, "B-7"}}},
      {"absolutplat",
       "--word " + Quote(word) + " --device-id A-8 --agent-id AG-8",
       {{files::kAbsolutplatCodeWord, ReadFile(word)}},
       {{cred::kAbsolutplatDeviceId, "A-8"}, {cred::kAbsolutplatAgentId, "AG-8"}}},
      {"eurofon",
       "--word " + Quote(word) + " --device-id E-9 --agent-id AG-9",
       {{files::kEurofonCodeWord, ReadFile(word)}},
       {{cred::kEurofonDeviceId, "E-9"}, {cred::kEurofonAgentId, "AG-9"}}},
      {"ubspay",
       "--url http://ubs.example/pay --device-id U-12 --agent-id AG-12",
       {},
       {{cred::kUbsPayUrl, "http://ubs.example/pay"},
        {cred::kUbsPayDeviceId, "U-12"},
        {cred::kUbsPayAgentId, "AG-12"}}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.system);
    sim.ClearReceivedLines();
    const auto r = Cli("--no paysys write " + row.system + " " + row.args);
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(CountOf("GLOBALOP?") + CountOf("GLOBALOP="), 0);
    const TSimState s = sim.State();
    for (const auto& [k, v] : row.files) EXPECT_TRUE(s.Files.count(k) && s.Files.at(k) == v) << k;
    for (const auto& [k, v] : row.credentials)
      EXPECT_EQ(s.Credentials.count(k) ? s.Credentials.at(k) : "(none)", v) << k;
  }
  EXPECT_EQ(sim.State().ActiveSystem, 0);
  // the file names stay in the document, so a second write needs no options
  sim.Update([](TSimState& s) { s.Files.clear(); });
  ASSERT_EQ(Cli("paysys write easypay").Status, 0);
  EXPECT_EQ(sim.State().Files.count(files::kEasyPayCertificate), 1u);

  // a missing or empty file stops before its first part
  const std::string empty = WriteFile("empty.key", "");
  sim.ClearReceivedLines();
  auto r = Cli("paysys write krasplat --key " + Quote(empty));
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(r.Err, "Файл пустой\n");
  EXPECT_TRUE(Commands().empty());
}

TEST_F(CliPaysys, ReadPrintsAgentAndDeviceIds) {
  sim.Update([](TSimState& s) {
    s.Credentials[cred::kAbsolutplatAgentId] = "агент-8";
    s.Credentials[cred::kAbsolutplatDeviceId] = "dev-8";
    s.Credentials[cred::kEurofonAgentId] = "a9";
    s.Credentials[cred::kEurofonDeviceId] = "d9";
    s.Credentials[cred::kUbsPayAgentId] = "a12";
    s.Credentials[cred::kUbsPayDeviceId] = "d12";
  });
  EXPECT_EQ(Cli("paysys read absolutplat").Out,
            "Идентификатор агента: агент-8\nИдентификатор устройства: dev-8\n");
  EXPECT_EQ(Cli("paysys read eurofon").Out, "Идентификатор агента: a9\nИдентификатор устройства: d9\n");
  EXPECT_EQ(Cli("paysys read ubspay").Out, "Идентификатор агента: a12\nИдентификатор устройства: d12\n");
  EXPECT_EQ(Document()->UbsPay().DeviceID, "d12");
  EXPECT_EQ(Cli("paysys read osmp").Status, 2);
}

TEST_F(CliPaysys, AnotherSystemsOptionIsAUsageError) {
  for (const char* args :
       {"paysys write eport --sd 1", "paysys write bercut --key x", "paysys write masterport --url u"}) {
    const auto r = Cli(args);
    EXPECT_EQ(r.Status, 2) << args;
    EXPECT_NE(r.Err.find("does not apply"), std::string::npos) << r.Err;
  }
  EXPECT_TRUE(Commands().empty());
}

TEST_F(CliPaysys, RsaWriteSendsTheEightPartsOfARealKey) {
  if (!quorvel::test::HaveProgram("openssl")) GTEST_SKIP() << "openssl is not installed";
  const std::string pem = dir.File("key.pem");
  quorvel::test::RunCommand("openssl genrsa -traditional -out " + Quote(pem) + " 1024 2>/dev/null");
  const std::string modulus =
      quorvel::test::RunCommand("openssl rsa -in " + Quote(pem) + " -noout -modulus 2>/dev/null");
  ASSERT_EQ(modulus.rfind("Modulus=", 0), 0u) << modulus;

  auto r = Cli("rsa write " + Quote(pem));
  ASSERT_EQ(r.Status, 0) << r.Err;
  const TSimState s = sim.State();
  EXPECT_EQ(s.Rsa.size(), 8u);
  EXPECT_EQ(s.Rsa.at("PRTEXP"), "AAEAAQ==");
  EXPECT_EQ("Modulus=" + quorvel::StrToHex(quorvel::Base64Decode(s.Rsa.at("PRTMOD"))) + "\n", modulus);
  EXPECT_EQ(CountOf("GLOBALOP?"), 0);

  sim.ClearReceivedLines();
  r = Cli("rsa write " + Quote(WriteFile("bad.pem", "not a key\n")));
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(r.Err.rfind("Ошибка при декодировании ключа.", 0), 0u) << r.Err;
  EXPECT_TRUE(Commands().empty());
}

}  // namespace
