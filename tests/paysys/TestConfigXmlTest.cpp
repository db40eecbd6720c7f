#include "TestConfigXml.h"

#include "Cp1251.h"
#include "Errors.h"
#include "MasterPort.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>

using namespace quorvel;

namespace {

std::string PaymentServer(const std::string& omit = "") {
  const std::pair<const char*, const char*> values[] = {
      {"Port", "<Port>5443</Port>"},
      {"Host", "<Host>10.0.0.7</Host>"},
      {"ApplicationId", "<ApplicationId>ab12cd-ef</ApplicationId>"},
      {"SenderID", "<SenderID>{0f1e2d3c-aaaa-bbbb-cccc-ddddeeeeffff}</SenderID>"},
      {"ReceiverId", "<ReceiverId>rcv-Ж-x</ReceiverId>"},
      {"PublicKey",
       "<PublicKey><RSAKeyValue><Modulus>pubM</Modulus><Exponent>AQAB</Exponent></RSAKeyValue></PublicKey>"},
      {"PrivateKey",
       "<PrivateKey>\n <RSAKeyValue>\n  <Modulus>M</Modulus><Exponent>E</Exponent><P>p</P><Q>q</Q>"
       "<DP>dp</DP><DQ>dq</DQ><InverseQ>iq</InverseQ><D>d</D>\n </RSAKeyValue>\n</PrivateKey>"},
  };
  std::string xml = "<PaymentServer>\n";
  for (const auto& [name, element] : values)
    if (omit != name) xml += std::string("  ") + element + "\n";
  return xml + "</PaymentServer>";
}

// The file as an operator's tool writes it: windows-1251.
std::string WriteConfig(const test::TempDir& dir, const std::string& body,
                        const std::string& name = "cfg.xml") {
  const std::string file = dir.File(name);
  std::ofstream(file, std::ios::binary) << "<?xml version='1.0' encoding='windows-1251'?>\n"
                                        << Utf8ToCp1251(body);
  return file;
}

// A system holding values that every reading must either replace or keep.
void FillOld(TMasterPortProtocol& system) {
  system.SerialNumber = "old-serial";
  system.ServerParams().Port = 1;
  system.ServerParams().Address = "old-host";
  system.ApplicationID = system.SenderID = system.ReceiverID = "old-id";
  system.ServerPublicKey = {"oldM", "oldE"};
  system.ApplicationPrivateKey = {"oP", "oQ", "oDP", "oDQ", "oIQ", "oM", "oE", "oD"};
  system.TestSettings = true;
}

std::string ErrorText(const std::function<void()>& action) {
  try {
    action();
  } catch (const Exception& e) {
    return e.what();
  }
  ADD_FAILURE() << "no error raised";
  return {};
}

}  // namespace

TEST(TestConfigXml, ReadsEveryValueWhetherTheSectionsAreRootOrChildren) {
  test::TempDir dir;
  const std::string layouts[] = {
      // the root is Ortena itself, holding ModemNumber and PaymentServer
      "<Ortena>\n <ModemNumber>0123456789</ModemNumber>\n " + PaymentServer() + "\n</Ortena>",
      // any root holding both sections, names in another letter case
      "<TestConfig><ORTENA><modemnumber>0123456789</modemnumber></ORTENA>" + PaymentServer() +
          "</TestConfig>",
  };
  for (const std::string& layout : layouts) {
    SCOPED_TRACE(layout);
    TMasterPort system;
    FillOld(system);
    system.ServerParams().SetRetryCount(7);
    TMasterPortXml reader;
    reader.LoadFromFile(system, WriteConfig(dir, layout));
    EXPECT_EQ(system.SerialNumber, "0123456789");
    EXPECT_EQ(system.ServerParams().Port, 5443);
    EXPECT_EQ(system.ServerParams().Address, "10.0.0.7");
    EXPECT_EQ(system.ApplicationID, "AB12CD-EF");
    EXPECT_EQ(system.SenderID, "{0F1E2D3C-AAAA-BBBB-CCCC-DDDDEEEEFFFF}");
    EXPECT_EQ(system.ReceiverID, "RCV-Ж-X") << "only Latin letters are upper-cased";
    EXPECT_EQ(system.ServerPublicKey, (TPublicKey{"pubM", "AQAB"}));
    EXPECT_EQ(system.ApplicationPrivateKey, (TPrivateKey{"p", "q", "dp", "dq", "iq", "M", "E", "d"}));
    EXPECT_TRUE(system.TestSettings) << "the reader leaves TestSettings alone";
    EXPECT_EQ(system.ServerParams().RetryCount(), 7);
  }
}

TEST(TestConfigXml, PegasMPReadsTheSameFormat) {
  test::TempDir dir;
  TPegasMP system;
  TPegasMPXml reader;
  reader.LoadFromFile(
      system, WriteConfig(dir, "<Ortena><ModemNumber>77</ModemNumber>" + PaymentServer() + "</Ortena>"));
  EXPECT_EQ(system.SerialNumber, "77");
  EXPECT_EQ(system.ServerParams().Port, 5443);
  EXPECT_EQ(system.ApplicationPrivateKey.D, "d");
  EXPECT_FALSE(system.TestSettings);
}

TEST(TestConfigXml, ConfigurationDocumentFailsAtOrtenaAndChangesNothing) {
  test::TempDir dir;
  TMasterPort system;
  FillOld(system);
  const std::string file =
      WriteConfig(dir,
                  "<settings><ActiveSystemID>0</ActiveSystemID><Masterport><SerialNumber>1</SerialNumber>"
                  "</Masterport></settings>");
  EXPECT_EQ(ErrorText([&] { MasterPortXml().LoadFromFile(system, file); }), "Элемент не найден, Ortena");
  EXPECT_EQ(system.SerialNumber, "old-serial");
  EXPECT_EQ(system.ServerParams().Port, 1);
}

TEST(TestConfigXml, AFailurePartWayKeepsWhatWasReadBeforeIt) {
  test::TempDir dir;
  const struct {
    const char* omit;
    const char* message;
    int port;            // expected port afterwards
    const char* sender;  // expected SenderID afterwards
    bool publicKeyRead;
  } rows[] = {
      {"Port", "Элемент не найден, Port", 1, "old-id", false},
      {"ReceiverId", "Элемент не найден, ReceiverId", 5443, "{0F1E2D3C-AAAA-BBBB-CCCC-DDDDEEEEFFFF}", false},
      {"PrivateKey", "Элемент не найден, PrivateKey", 5443, "{0F1E2D3C-AAAA-BBBB-CCCC-DDDDEEEEFFFF}", true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.omit);
    TMasterPort system;
    FillOld(system);
    const std::string file =
        WriteConfig(dir, "<Ortena><ModemNumber>42</ModemNumber>" + PaymentServer(row.omit) + "</Ortena>");
    EXPECT_EQ(ErrorText([&] { TMasterPortXml().LoadFromFile(system, file); }), row.message);
    EXPECT_EQ(system.SerialNumber, "42");
    EXPECT_EQ(system.ServerParams().Port, row.port);
    EXPECT_EQ(system.SenderID, row.sender);
    EXPECT_EQ(system.ServerPublicKey.Modulus, row.publicKeyRead ? "pubM" : "oldM");
    EXPECT_EQ(system.ApplicationPrivateKey.P, "oP");
  }
}

TEST(TestConfigXml, IncompleteKeyLeavesTheWholeOldKey) {
  test::TempDir dir;
  TMasterPort system;
  FillOld(system);
  std::string server = PaymentServer();
  server.replace(server.find("<D>d</D>"), 8, "");
  const std::string file = WriteConfig(dir, "<Ortena><ModemNumber>42</ModemNumber>" + server + "</Ortena>");
  EXPECT_EQ(ErrorText([&] { TMasterPortXml().LoadFromFile(system, file); }), "Элемент не найден, D");
  EXPECT_EQ(system.ServerPublicKey.Modulus, "pubM");
  EXPECT_EQ(system.ApplicationPrivateKey, (TPrivateKey{"oP", "oQ", "oDP", "oDQ", "oIQ", "oM", "oE", "oD"}))
      << "no mix of the old and the new key";
}

TEST(TestConfigXml, LookupsAreOneLevelDeepAndPortMustBeAnInteger) {
  test::TempDir dir;
  TMasterPort system;
  FillOld(system);
  // ModemNumber one level too deep.
  const std::string deep = WriteConfig(
      dir, "<Ortena><Modem><ModemNumber>1</ModemNumber></Modem>" + PaymentServer() + "</Ortena>", "d.xml");
  EXPECT_EQ(ErrorText([&] { TMasterPortXml().LoadFromFile(system, deep); }),
            "Элемент не найден, ModemNumber");

  std::string server = PaymentServer();
  server.replace(server.find("5443"), 4, "54 43");
  const std::string badPort =
      WriteConfig(dir, "<Ortena><ModemNumber>9</ModemNumber>" + server + "</Ortena>", "p.xml");
  try {
    TMasterPortXml().LoadFromFile(system, badPort);
    ADD_FAILURE() << "no error";
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "'54 43' - неверное целое значение");
  }
  EXPECT_EQ(system.SerialNumber, "9");
  EXPECT_EQ(system.ServerParams().Port, 1);
}

TEST(TestConfigXml, UnreadableFileGivesTheReadErrorAndChangesNothing) {
  test::TempDir dir;
  TMasterPort system;
  FillOld(system);
  const std::string broken = WriteConfig(dir, "<Ortena><ModemNumber>1</Ortena>");
  const std::string message = ErrorText([&] { TMasterPortXml().LoadFromFile(system, broken); });
  EXPECT_EQ(message.rfind("Ошибка чтения файла " + broken + ".\r\n", 0), 0u) << message;
  EXPECT_EQ(system.SerialNumber, "old-serial");
}
