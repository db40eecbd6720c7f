#include "xmlParser.h"

#include "Errors.h"
#include "LoopbackHttp.h"
#include "TempDir.h"
#include "XmlTestFiles.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <filesystem>
#include <thread>

using namespace quorvel;
using quorvel::test::ErrorOf;
using quorvel::test::LoopbackSocket;
using quorvel::test::WriteBytes;

namespace {

class XmlHttp : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!test::HaveProgram("python3")) GTEST_SKIP() << "python3 not installed";
    std::filesystem::create_directories(dir_.File("lists"));
    WriteBytes(dir_.File("gprsconfig.xml"),
               "<?xml version='1.0' encoding='windows-1251'?>\n"
               "<operators><operator name='\xCC\xD2\xD1'>internet</operator></operators>");
    WriteBytes(dir_.File("lists/index.html"), "<list><item>1</item></list>");
    WriteBytes(dir_.File("broken.xml"), "<list>\n<item>\n</list>");
    server_ = std::make_unique<test::LoopbackHttpServer>(dir_.Path());
    ASSERT_TRUE(server_->Ready()) << "python3 -m http.server did not start";
    parser_.SetHttpTimeouts({2000, 5000});
  }

  test::TempDir dir_;
  std::unique_ptr<test::LoopbackHttpServer> server_;
  TXmlParser parser_;
};

std::string ReadErrorPrefix(const std::string& name) { return "Ошибка чтения файла " + name + ".\r\n"; }

}  // namespace

TEST_F(XmlHttp, LoadsADocumentAndFollowsRedirects) {
  parser_.LoadFromFile(server_->Url("/gprsconfig.xml"));
  EXPECT_EQ(parser_.Root()->Name(), "operators");
  EXPECT_EQ(parser_.Root()->GetText("operator"), "internet");
  EXPECT_EQ(parser_.Root()->GetItem("operator")->Params().GetValue("name"), "МТС");

  // The server answers /lists with a redirect to /lists/, which serves index.html.
  parser_.LoadFromFile(server_->Url("/lists"));
  EXPECT_EQ(parser_.Root()->Name(), "list");
  EXPECT_EQ(parser_.Root()->GetInt("item"), 1);
}

TEST_F(XmlHttp, FailuresGiveTheReadErrorAndKeepTheDocument) {
  parser_.Root()->AddText("before", "kept");
  const std::string missing = server_->Url("/no-such-file.xml");
  const std::string message = ErrorOf([&] { parser_.LoadFromFile(missing); });
  EXPECT_EQ(message.rfind(ReadErrorPrefix(missing), 0), 0u) << message;
  EXPECT_NE(message.find("404"), std::string::npos) << message;

  const std::string broken = server_->Url("/broken.xml");
  const std::string parse = ErrorOf([&] { parser_.LoadFromFile(broken); });
  EXPECT_EQ(parse.rfind(ReadErrorPrefix(broken) + "Строка 3, позиция", 0), 0u) << parse;
  EXPECT_EQ(parser_.Root()->GetText("before"), "kept");
}

TEST(XmlHttpDead, AddressesThatDoNotAnswerFailWithinTheTimeout) {
  LoopbackSocket closed(false);  // bound, never listening: the connection is refused
  LoopbackSocket silent(true);   // listening, never accepting or answering
  TXmlParser parser;
  parser.SetHttpTimeouts({500, 1000});
  for (const LoopbackSocket* socket : {&closed, &silent}) {
    const std::string url = "http://127.0.0.1:" + std::to_string(socket->Port()) + "/gprsconfig.xml";
    SCOPED_TRACE(url);
    const std::string message = ErrorOf([&] { parser.LoadFromFile(url); });
    EXPECT_EQ(message.rfind(ReadErrorPrefix(url) + "HTTP: ", 0), 0u) << message;
  }
  EXPECT_EQ(parser.Root()->Name(), "root");
}

TEST(XmlHttpDead, SchemeIsRecognisedInAnyCaseAndZeroTimeoutsAreRefused) {
  EXPECT_TRUE(IsHttpAddress("HTTP://host/x.xml"));
  EXPECT_TRUE(IsHttpAddress("https://host/x.xml"));
  EXPECT_FALSE(IsHttpAddress("http:/host"));
  EXPECT_FALSE(IsHttpAddress("file:///etc/passwd"));
  EXPECT_FALSE(IsHttpAddress("/home/http://x"));
  EXPECT_THROW(HttpGet("http://127.0.0.1:9/", {0, 1000}), Exception);
  EXPECT_THROW(HttpGet("http://127.0.0.1:9/", {1000, 0}), Exception);
}
