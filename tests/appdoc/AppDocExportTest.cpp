// Stand-alone files of single settings groups: each save loads back with its load.
#include "AppDoc.h"
#include "AppDocXml.h"
#include "Cp1251.h"
#include "TempDir.h"
#include "xmlParser.h"

#include <gtest/gtest.h>

#include "AppDocTestSupport.h"

using namespace quorvel;
using namespace quorvel::test;

namespace {

// A filled document and a fresh one, neither saved at the end.
struct Docs {
  explicit Docs(const TempDir& dir) : filled(dir.File("a-none.xml")), fresh(dir.File("b-none.xml")) {
    filled.SaveOnDestroy = false;
    fresh.SaveOnDestroy = false;
    FillDocument(filled);
  }
  TAppDoc filled;
  TAppDoc fresh;
};

std::string RootAndFirstChild(const std::string& file) {
  TXmlParser parser;
  parser.LoadFromFile(file);
  return parser.Root()->Name() + "/" + (parser.Root()->Count() ? parser.Root()->Items(0)->Name() : "");
}

}  // namespace

TEST(AppDocExport, EPortFileRestoresAllItsValues) {
  TempDir dir;
  Docs d(dir);
  const std::string file = dir.File("eport.xml");
  AppDocXml().SaveEPort(d.filled.EPort(), file);
  EXPECT_EQ(RootAndFirstChild(file), "root/EPort");
  AppDocXml().LoadEPort(d.fresh.EPort(), file);
  const std::string at = d.fresh.EPort().GetDisplayName() + ".";
  ExpectSameDump(Part(Dump(d.fresh), at), Part(Dump(d.filled), at));
}

TEST(AppDocExport, CredentialFilesRestoreOnlyTheCredentials) {
  TempDir dir;
  Docs d(dir);
  // Saves from the filled system, loads into the fresh one and compares every line.
  auto roundTrip = [&](TPaymentSystem& to, const std::string& file, const std::function<void()>& save,
                       const std::function<void()>& load, const char* layout,
                       const std::string& credentials) {
    save();
    EXPECT_EQ(RootAndFirstChild(file), layout);
    const std::string at = to.GetDisplayName() + ".";
    const auto before = Part(Dump(d.fresh), at);
    load();
    const auto after = Part(Dump(d.fresh), at);
    ASSERT_EQ(after.size(), before.size());
    for (std::size_t i = 0; i < after.size(); ++i) {
      if (after[i].starts_with(at + "cred="))
        EXPECT_EQ(after[i], at + "cred=" + credentials);
      else
        EXPECT_EQ(after[i], before[i]) << "only the credentials are read";
    }
  };
  const std::string xplat = dir.File("xplat.xml");
  roundTrip(
      d.fresh.XPlat(), xplat, [&] { AppDocXml().SaveXPlat(d.filled.XPlat(), xplat); },
      [&] { AppDocXml().LoadXPlat(d.fresh.XPlat(), xplat); }, "root/XPlat", "XP-1|оператор||");
  const std::string bytes = ReadBytes(xplat);
  EXPECT_EQ(bytes.find("01ABFF"), std::string::npos) << "the secret key is never written";
  EXPECT_EQ(bytes.find("xplat-secret"), std::string::npos);
  EXPECT_NE(bytes.find("<server>"), std::string::npos) << "the shared four are written";

  const std::string osmp = dir.File("osmp.xml");
  roundTrip(
      d.fresh.OSMP(), osmp, [&] { AppDocXml().SaveOSMP(d.filled.OSMP(), osmp); },
      [&] { AppDocXml().LoadOSMP(d.fresh.OSMP(), osmp); }, "root/OSMP", "TOSMP|login-OSMP|");
  const std::string pegas = dir.File("pegas.xml");
  roundTrip(
      d.fresh.PegasOSMP(), pegas, [&] { AppDocXml().SavePegasOSMP(d.filled.PegasOSMP(), pegas); },
      [&] { AppDocXml().LoadPegasOSMP(d.fresh.PegasOSMP(), pegas); }, "root/PEGASPAY",
      "TPEGASPAY|login-PEGASPAY|");
  EXPECT_EQ(ErrorOf([&] { AppDocXml().LoadOSMP(d.fresh.OSMP(), pegas); }), "Элемент не найден, OSMP");
}

TEST(AppDocExport, ServerCyberplatPointLinesScriptsAndFees) {
  TempDir dir;
  Docs d(dir);
  const std::string server = dir.File("server.xml");
  AppDocXml().SaveServerParams(d.filled.Cyberplat(), server);
  EXPECT_EQ(RootAndFirstChild(server), "root/Cyberplat");
  AppDocXml().LoadServerParams(d.fresh.Cyberplat(), server);
  EXPECT_EQ(Part(Dump(d.fresh), "Cyberplat.server"), Part(Dump(d.filled), "Cyberplat.server"));

  const std::string point = dir.File("point.xml");
  AppDocXml().SaveCyberplatPoint(d.filled.Cyberplat().CyberplatPoint, point);
  EXPECT_EQ(RootAndFirstChild(point), "cyberplatpoint/SD");
  AppDocXml().LoadCyberplatPoint(d.fresh.Cyberplat().CyberplatPoint, point);
  EXPECT_EQ(d.fresh.Cyberplat().CyberplatPoint.AP, "5678");

  const std::string trailer = dir.File("trailer.xml");
  AppDocXml().SaveTrailer(d.filled.Trailer, trailer);
  EXPECT_EQ(AppDocXml().LoadTrailer(trailer), d.filled.Trailer);
  EXPECT_EQ(ErrorOf([&] { AppDocXml().LoadHeader(trailer); }), "Элемент не найден, Header");
  const std::string header = dir.File("header.xml");
  AppDocXml().SaveHeader(d.filled.Header, header);
  EXPECT_EQ(AppDocXml().LoadHeader(header), d.filled.Header);

  const std::string scripts = dir.File("scripts.xml");
  AppDocXml().SaveScripts(d.filled.MasterPort(), scripts);
  EXPECT_EQ(RootAndFirstChild(scripts), "Masterport/scripts");
  AppDocXml().LoadScripts(d.fresh.PegasMP(), scripts);  // the same short name
  EXPECT_EQ(d.fresh.PegasMP().Scripts().Count(), 5);
  EXPECT_EQ(d.fresh.PegasMP().Scripts().Items(4).Text(), d.filled.MasterPort().Scripts().Items(4).Text());
  EXPECT_EQ(ErrorOf([&] { AppDocXml().LoadScripts(d.fresh.OSMP(), scripts); }), "Элемент не найден, OSMP");
  EXPECT_NO_THROW(AppDocXml().SaveScripts(d.filled.OSMP(), ""));

  const std::string fees = dir.File("fees.xml");
  AppDocXml().SaveFeeTables(d.filled.FeeTables(), fees);
  EXPECT_EQ(RootAndFirstChild(fees), "root/FeeTables");
  AppDocXml().LoadFeeTables(d.fresh.FeeTables(), fees);
  EXPECT_EQ(Part(Dump(d.fresh), "FeeTable"), Part(Dump(d.filled), "FeeTable"));

  const std::string missing = dir.File("missing.xml");
  EXPECT_TRUE(ErrorOf([&] {
                AppDocXml().LoadFeeTables(d.fresh.FeeTables(), missing);
              }).starts_with("Ошибка чтения файла " + missing + ".\r\n"));
  EXPECT_EQ(Part(Dump(d.fresh), "FeeTable"), Part(Dump(d.filled), "FeeTable"));
}

TEST(AppDocExport, TestSettingsReadTheLeadingValuesAndKeys) {
  TempDir dir;
  Docs d(dir);
  const std::string file = dir.File("test.xml");
  const std::string body =
      "<TestSettings>1</TestSettings><SerialNumber>sn-1</SerialNumber><ApplicationID>ab-cd</ApplicationID>"
      "<SenderID>s</SenderID><ReceiverID>r</ReceiverID><ServerPublicKey><RSAKeyValue><Modulus>M</Modulus>"
      "<Exponent>E</Exponent></RSAKeyValue></ServerPublicKey><ApplicationPrivateKey><RSAKeyValue>"
      "<Modulus>m</Modulus><Exponent>e</Exponent><P>p</P><Q>q</Q><D>d</D><DP>dp</DP><DQ>dq</DQ>"
      "<InverseQ>iq</InverseQ></RSAKeyValue></ApplicationPrivateKey>";
  WriteBytes(file, "<masterport>" + body + "</masterport>");
  TMasterPort& mp = d.fresh.MasterPort();
  AppDocXml().LoadTestSettings(mp, file);
  EXPECT_TRUE(mp.TestSettings);
  EXPECT_EQ(mp.SerialNumber, "SN-1");
  EXPECT_EQ(mp.ApplicationID, "AB-CD");
  EXPECT_EQ(mp.ServerPublicKey.Modulus, "M");
  EXPECT_EQ(mp.ApplicationPrivateKey.InverseQ, "iq");
  EXPECT_EQ(mp.TestConfigFileName, file);

  TPegasMP& pegas = d.fresh.PegasMP();
  const std::string before = pegas.TestConfigFileName;
  EXPECT_EQ(ErrorOf([&] { AppDocXml().LoadTestSettings(pegas, file); }), "Элемент не найден, PegasMP");
  WriteBytes(file,
             "<root><PegasMP>" + body.substr(0, body.find("<ApplicationPrivateKey>")) + "</PegasMP></root>");
  EXPECT_EQ(ErrorOf([&] { AppDocXml().LoadTestSettings(pegas, file); }),
            "Элемент не найден, ApplicationPrivateKey");
  EXPECT_EQ(pegas.TestConfigFileName, before) << "set only after a complete read";
  EXPECT_EQ(pegas.SerialNumber, "") << "nothing of a failed read stays";

  // The configuration document itself holds a Masterport section with these values.
  d.filled.Save();
  TAppDoc other(dir.File("c-none.xml"));
  other.SaveOnDestroy = false;
  AppDocXml().LoadTestSettings(other.MasterPort(), d.filled.GetFileName());
  EXPECT_EQ(other.MasterPort().ApplicationPrivateKey, d.filled.MasterPort().ApplicationPrivateKey);
  EXPECT_EQ(other.MasterPort().Scripts().Count(), 2) << "the shared four are not read";
}
