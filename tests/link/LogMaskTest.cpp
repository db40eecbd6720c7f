#include "LogMask.h"

#include <gtest/gtest.h>

#include <string>

using namespace quorvel;

namespace {

struct MaskCase {
  const char* Line;
  const char* Logged;
};

// Commands as sent (and echoed), answers as received; every secret masked, nothing else.
const MaskCase kCases[] = {
    {"AT+SMRSA=5,\"PRTD\",\"c2VjcmV0\",77", "AT+SMRSA=5,\"PRTD\",\"***\",77"},
    {"AT+SMRSA=5,\"PRTP\",\"cA==\",7", "AT+SMRSA=5,\"PRTP\",\"***\",7"},
    {"AT+SMRSA=5,\"PRTQ\",\"cQ==\",7", "AT+SMRSA=5,\"PRTQ\",\"***\",7"},
    {"AT+SMRSA=5,\"PRTDP\",\"ZHA=\",7", "AT+SMRSA=5,\"PRTDP\",\"***\",7"},
    {"AT+SMRSA=5,\"PRTDQ\",\"ZHE=\",7", "AT+SMRSA=5,\"PRTDQ\",\"***\",7"},
    {"AT+SMRSA=5,\"PRTIQ\",\"aXE=\",7", "AT+SMRSA=5,\"PRTIQ\",\"***\",7"},
    {"AT+SMRSA=5,\"PRTMOD\",\"bW9k\",7", "AT+SMRSA=5,\"PRTMOD\",\"bW9k\",7"},
    {"AT+SMRSA=5,\"PUBEXP\",\"AQAB\",7", "AT+SMRSA=5,\"PUBEXP\",\"AQAB\",7"},
    {"AT+SMSIMSETUP=3,1,1,1234,\"apn\",\"user\",\"pa,ss\",1,9",
     "AT+SMSIMSETUP=3,1,1,***,\"apn\",\"user\",\"***\",1,9"},
    {"AT+SMSIMSETUP=3,1,12", "AT+SMSIMSETUP=3,1,12"},
    {"+SMSIMSETUP: 1,1,\"apn\",\"user\",\"pw\",1,200", "+SMSIMSETUP: 1,1,\"apn\",\"user\",\"***\",1,200"},
    {"AT+SMCRSECSET=4,\"17033\",rest,\"body\",\"pw\",5", "AT+SMCRSECSET=4,\"17033\",rest,\"***\",\"***\",5"},
    {"AT+EPCARD=4,\"123456789012\",\"4321\",5", "AT+EPCARD=4,\"123456789012\",\"***\",5"},
    {"AT+XPCASSIR=4,\"1\",\"cashier\",\"pw\",5", "AT+XPCASSIR=4,\"1\",\"cashier\",\"***\",5"},
    {"AT+XPKEY=4,\"secret key\",5", "AT+XPKEY=4,\"***\",5"},
    {"AT+OSMPPARAMS=4,\"login\",\"pw\",5", "AT+OSMPPARAMS=4,\"login\",\"***\",5"},
    {"AT+SMEASYPAY=4,1,2,\"a2V5\",5", "AT+SMEASYPAY=4,1,2,\"***\",5"},
    {"AT+SMEASYPAY=4,2,2,\"Y2Vy\",5", "AT+SMEASYPAY=4,2,2,\"Y2Vy\",5"},
    {"AT+SMKRASPLAT=4,3,1,\"d29yZA==\",5", "AT+SMKRASPLAT=4,3,1,\"***\",5"},
    {"AT+SMABSOLUTPLAT=4,3,1,\"d29yZA==\",5", "AT+SMABSOLUTPLAT=4,3,1,\"***\",5"},
    {"AT+SMEUROFON=4,3,1,\"d29yZA==\",5", "AT+SMEUROFON=4,3,1,\"***\",5"},
    {"AT+SMEUROFON=4,1,\"agent\",5", "AT+SMEUROFON=4,1,\"agent\",5"},
    {"AT+SMHEADER=4,1,\"PRTD\",5", "AT+SMHEADER=4,1,\"PRTD\",5"},
    {"+SMSTATE: 1,2,3", "+SMSTATE: 1,2,3"},
    {"OK", "OK"},
};

}  // namespace

TEST(LogMask, SecretValuesAreMaskedAndEveryOtherLineStays) {
  for (const MaskCase& c : kCases) {
    EXPECT_EQ(MaskSecrets(c.Line), c.Logged) << c.Line;
    // Line ends and neighbouring lines are kept as they were.
    EXPECT_EQ(MaskSecrets(std::string("OK\r\n") + c.Line + "\r\n"),
              std::string("OK\r\n") + c.Logged + "\r\n");
  }
}

// However a received reply is cut into chunks, the secret never reaches the log and
// everything else does, in order.
TEST(LogMask, ASecretCutAcrossChunksIsStillMasked) {
  const std::string reply =
      "\r\n+SMDEBUG: x\r\nAT+SMSIMSETUP=3,1,1,1234,\"apn\",\"user\",\"topsecret\",1,9\r\n"
      "+SMSIMSETUP: 1,1,\"apn\",\"user\",\"topsecret\",1,200\r\nOK\r\n";
  const std::string whole = MaskSecrets(reply);
  ASSERT_EQ(whole.find("topsecret"), std::string::npos);
  for (std::size_t a = 1; a < reply.size(); ++a) {
    for (std::size_t b = a; b < reply.size(); b += 7) {
      TLogLineMask mask;
      std::string logged;
      for (std::string_view piece :
           {std::string_view(reply).substr(0, a), std::string_view(reply).substr(a, b - a),
            std::string_view(reply).substr(b)}) {
        const std::string out = mask.Feed(piece);
        EXPECT_EQ(out.find("secret"), std::string::npos) << a << " " << b;
        logged += out;
      }
      EXPECT_EQ(logged, whole) << a << " " << b;
    }
  }
}

TEST(LogMask, AChunkOfNoSecretLineIsLoggedAtOnce) {
  TLogLineMask mask;
  EXPECT_EQ(mask.Feed("AT+SMHEA"), "AT+SMHEA");
  EXPECT_EQ(mask.Feed("DER=1,\"+SMS"), "DER=1,\"+SMS");
  EXPECT_EQ(mask.Feed("\"\r\n+SMS"), "\"\r\n");
  EXPECT_EQ(mask.Feed("TATE: 1\r\n"), "+SMSTATE: 1\r\n");
}
