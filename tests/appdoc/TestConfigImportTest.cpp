#include "AppDocTestSupport.h"
#include "AppDocXml.h"
#include "TempDir.h"
#include "TestConfigImport.h"

#include <gtest/gtest.h>

#include <memory>

using namespace quorvel;
using namespace quorvel::test;

namespace {

// A test configuration as an operator hands it out; without the private key no reader takes it.
std::string TestConfig(bool withPrivateKey) {
  std::string xml =
      "<?xml version='1.0' encoding='windows-1251'?>\n<Config>"
      "<Ortena><ModemNumber>77001122</ModemNumber></Ortena>"
      "<PaymentServer><Port>5443</Port><Host>10.0.0.7</Host><ApplicationId>app-a</ApplicationId>"
      "<SenderID>snd-b</SenderID><ReceiverId>rcv-c</ReceiverId>"
      "<PublicKey><RSAKeyValue><Modulus>pubM</Modulus><Exponent>AQAB</Exponent></RSAKeyValue></PublicKey>";
  if (withPrivateKey)
    xml +=
        "<PrivateKey><RSAKeyValue><Modulus>M</Modulus><Exponent>E</Exponent><P>p</P><Q>q</Q><DP>dp</DP>"
        "<DQ>dq</DQ><InverseQ>iq</InverseQ><D>d</D></RSAKeyValue></PrivateKey>";
  return xml + "</PaymentServer></Config>";
}

class TestConfigImport : public ::testing::Test {
 protected:
  void SetUp() override {
    doc_ = std::make_unique<TAppDoc>(dir_.File("Quorvel.xml"));
    doc_->SaveOnDestroy = false;
    for (TMasterPortProtocol* s : {static_cast<TMasterPortProtocol*>(&doc_->MasterPort()),
                                   static_cast<TMasterPortProtocol*>(&doc_->PegasMP())}) {
      s->SerialNumber = "old-serial";
      s->ServerParams().Address = "old-host";
      s->ServerParams().Port = 1;
      s->SenderID = "old-sender";
    }
  }

  static void ExpectOld(const TMasterPortProtocol& s) {
    EXPECT_EQ(s.SerialNumber, "old-serial");
    EXPECT_EQ(s.ServerParams().Address, "old-host");
    EXPECT_EQ(s.ServerParams().Port, 1);
    EXPECT_EQ(s.SenderID, "old-sender");
  }

  // What LoadServerParams alone says about the file, read into a scratch document.
  std::string ServerReaderError(const std::string& file) {
    TAppDoc scratch(dir_.File("scratch.xml"));
    scratch.SaveOnDestroy = false;
    return ErrorOf([&] { AppDocXml().LoadServerParams(scratch.MasterPort(), file); });
  }

  TempDir dir_;
  std::unique_ptr<TAppDoc> doc_;
};

}  // namespace

TEST_F(TestConfigImport, MasterPortFallsBackToASavedServerFile) {
  TAppDoc source(dir_.File("source.xml"));
  source.SaveOnDestroy = false;
  source.MasterPort().ServerParams().Address = "192.168.5.5";
  source.MasterPort().ServerParams().Port = 7001;
  source.MasterPort().ServerParams().SetRetryCount(9);
  const std::string file = dir_.File("server.xml");
  AppDocXml().SaveServerParams(source.MasterPort(), file);

  LoadServerFile(doc_->MasterPort(), file);
  const TMasterPort& s = doc_->MasterPort();
  EXPECT_EQ(s.ServerParams().Address, "192.168.5.5");
  EXPECT_EQ(s.ServerParams().Port, 7001);
  EXPECT_EQ(s.ServerParams().RetryCount(), 9);
  EXPECT_EQ(s.SerialNumber, "old-serial");
}

TEST_F(TestConfigImport, AFileNeitherReaderTakesChangesNothingAndShowsTheServerReadersError) {
  // The test-configuration reader stores serial, port, host and identifiers before it misses
  // the private key; all of that must be undone.
  const std::string file = dir_.File("partial.xml");
  WriteBytes(file, TestConfig(false));
  const std::string expected = ServerReaderError(file);
  ASSERT_FALSE(expected.empty());
  EXPECT_EQ(ErrorOf([&] { LoadServerFile(doc_->MasterPort(), file); }), expected);
  ExpectOld(doc_->MasterPort());

  // The command line's fallback undoes the same values and reports its own reader.
  const std::string settingsError =
      ErrorOf([&] { LoadTestConfig(doc_->MasterPort(), file, TTestConfigFallback::TestSettings); });
  EXPECT_NE(settingsError, "");
  ExpectOld(doc_->MasterPort());
}

TEST_F(TestConfigImport, PegasMPReadsOnlyServerFiles) {
  const std::string file = dir_.File("cfg.xml");
  WriteBytes(file, TestConfig(true));
  const std::string expected = ServerReaderError(file);
  EXPECT_EQ(ErrorOf([&] { LoadServerFile(doc_->PegasMP(), file); }), expected);
  ExpectOld(doc_->PegasMP());

  // Through LoadTestConfig the same file is a test configuration for PegasMP too.
  LoadTestConfig(doc_->PegasMP(), file, TTestConfigFallback::TestSettings);
  EXPECT_EQ(doc_->PegasMP().SerialNumber, "77001122");
}
