// Reference lists fetched from a real HTTP server on 127.0.0.1.
#include "AppDoc.h"
#include "AppDocXml.h"
#include "Cp1251.h"
#include "LoopbackHttp.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "AppDocTestSupport.h"

using namespace quorvel;
using namespace quorvel::test;

namespace {

class AppDocHttp : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HaveProgram("python3")) GTEST_SKIP() << "python3 not installed";
    std::filesystem::create_directories(site_.File("ortena/scripts"));
    WriteBytes(
        site_.File("ortena/gprsconfig.xml"),
        Utf8ToCp1251(
            "<?xml version='1.0' encoding='windows-1251'?>\n"
            "<ServiceProviders>\n"
            "  <ServiceProvider name=\"МТС\" apn=\"internet.mts.ru\" login=\"mts\" password=\"mts\"/>\n"
            "  <ServiceProvider apn=\"nameless.ru\" login=\"x\"/>\n"
            "  <!-- operators of the region -->\n"
            "  <ServiceProvider name=\"Билайн\" apn=\"internet.beeline.ru\"/>\n"
            "</ServiceProviders>\n"));
    WriteBytes(
        site_.File("ortena/cyberplat_scripts.xml"),
        Utf8ToCp1251("<?xml version='1.0' encoding='windows-1251'?>\n<Cyberplat>\n  <scripts>\n"
                     "    <script><id>120</id><text>Оплата ЖКХ</text><data>NEXT_WND(2);</data></script>\n"
                     "    <script><id>15</id><text>Мобильная связь</text><data>GOTO(1);</data></script>\n"
                     "  </scripts>\n</Cyberplat>\n"));
    WriteBytes(site_.File("ortena/scripts/eport_scripts.xml"),
               "<root><EPort><scripts><script><id>33</id><text>e</text><data>d</data></script></scripts></"
               "EPort></root>");
    server_ = std::make_unique<LoopbackHttpServer>(site_.Path());
    ASSERT_TRUE(server_->Ready()) << "the HTTP server did not come up";
    doc_ = std::make_unique<TAppDoc>(home_.File("Quorvel.xml"));
    doc_->SaveOnDestroy = false;
    doc_->PaymentSystems().SupportServer = server_->Url("/");  // a trailing slash is dropped
  }

  TempDir site_;
  TempDir home_;
  std::unique_ptr<LoopbackHttpServer> server_;
  std::unique_ptr<TAppDoc> doc_;
};

}  // namespace

TEST_F(AppDocHttp, GprsOperatorsFromTheSupportServerSkipTheUnnamedEntry) {
  doc_->GprsProviders().Add().SetName("старый");
  doc_->UpdateGprsProviders();
  TGprsProviders& ops = doc_->GprsProviders();
  ASSERT_EQ(ops.Count(), 2);
  EXPECT_EQ(ops.Items(0).Name(), "МТС");
  EXPECT_EQ(ops.Items(0).Password, "mts");
  EXPECT_EQ(ops.Items(1).Name(), "Билайн");
  EXPECT_EQ(ops.Items(1).Login, "");

  doc_->GprsProviders().Clear();
  doc_->UpdateGprsProviders(server_->Url(""));  // an explicit base address
  EXPECT_EQ(doc_->GprsProviders().Count(), 2);
}

TEST_F(AppDocHttp, UnreachableOrMissingListLeavesTheOperatorsAsTheyWere) {
  doc_->GprsProviders().Add().SetName("старый");
  const std::string missing = server_->Url("/nothing");
  const std::string error = ErrorOf([&] { doc_->UpdateGprsProviders(missing); });
  EXPECT_TRUE(error.starts_with("Ошибка чтения файла " + missing + "/ortena/gprsconfig.xml.\r\n")) << error;
  ASSERT_EQ(doc_->GprsProviders().Count(), 1);

  const std::string wrong = server_->Url("/ortena/cyberplat_scripts.xml");
  EXPECT_EQ(ErrorOf([&] { AppDocXml().LoadGprsProviders(doc_->GprsProviders(), wrong); }),
            "Элемент не найден, ServiceProviders");
  EXPECT_EQ(doc_->GprsProviders().Items(0).Name(), "старый");
}

TEST_F(AppDocHttp, SystemScriptsFromTheSupportServer) {
  TCyberplat& cyberplat = doc_->Cyberplat();
  cyberplat.Scripts().AddNew().SetName("old");
  AppDocXml().ReadSystemScripts(cyberplat, cyberplat.GetScriptsURL());
  ASSERT_EQ(cyberplat.Scripts().Count(), 4);
  EXPECT_EQ(cyberplat.Scripts().Items(2).Number(), 15);
  EXPECT_EQ(cyberplat.Scripts().Items(2).Name(), "Мобильная связь");
  EXPECT_EQ(cyberplat.Scripts().Items(3).Text(), "NEXT_WND(2);");

  AppDocXml().ReadSystemScripts(doc_->EPort(), doc_->EPort().GetScriptsURL());  // the section as a child
  ASSERT_EQ(doc_->EPort().Scripts().Count(), 3);
  EXPECT_EQ(doc_->EPort().Scripts().Items(2).Number(), 33);

  EXPECT_EQ(ErrorOf([&] { AppDocXml().ReadSystemScripts(doc_->OSMP(), cyberplat.GetScriptsURL()); }),
            "Элемент не найден, OSMP");
  EXPECT_TRUE(ErrorOf([&] {
                AppDocXml().ReadSystemScripts(doc_->OSMP(), doc_->OSMP().GetScriptsURL());
              }).starts_with("Ошибка чтения файла "));
  EXPECT_EQ(cyberplat.Scripts().Count(), 4);
}
