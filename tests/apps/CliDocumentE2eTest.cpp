// What quorvel-cli keeps in its folder when a command fails: the document as the file held
// it, and a damaged settings.xml as a reported copy.
#include "CliFixture.h"

namespace {

using quorvel::Utf8ToCp1251;

class CliDocument : public quorvel::test::CliTest {
 protected:
  std::string WriteXml(const std::string& name, const std::string& body) {
    return WriteFile(name, "<?xml version='1.0' encoding='windows-1251'?>\n" + Utf8ToCp1251(body));
  }
  std::string DocumentBytes() const { return ReadFile(dir.File("Quorvel.xml")); }
};

TEST_F(CliDocument, AnImportThatFailsHalfWayLeavesTheDocumentByteIdentical) {
  const std::string fee = "<Fee><FeeSum>100</FeeSum><FeeValue>2.5</FeeValue><FeeType>0</FeeType></Fee>";
  ASSERT_EQ(Cli("fees import " + Quote(WriteXml("fees.xml",
                                                "<root><FeeTables><ItemIndex>0</ItemIndex>"
                                                "<FeeTable><SchemeType>1</SchemeType><fees>" +
                                                    fee + "</fees></FeeTable></FeeTables></root>")))
                .Status,
            0);
  ASSERT_EQ(
      Cli("scripts import osmp " + Quote(WriteXml("scripts.xml",
                                                  "<OSMP><scripts><script><id>10</id><text>Телефон</text>"
                                                  "<data>ТЕЛ;</data></script></scripts></OSMP>")))
          .Status,
      0);
  const std::string before = DocumentBytes();
  struct Row {
    const char* name;
    std::string command;
  };
  const std::vector<Row> rows = {
      {"bad sum of the second fee",
       "fees import " + Quote(WriteXml("bad-fees.xml",
                                       "<root><FeeTables><ItemIndex>0</ItemIndex><FeeTable><SchemeType>0</"
                                       "SchemeType><fees>" +
                                           fee +
                                           "<Fee><FeeSum>x</FeeSum><FeeValue>1</FeeValue><FeeType>0</"
                                           "FeeType></Fee></fees></FeeTable></FeeTables></root>"))},
      {"bad id of the second script",
       "scripts import osmp " +
           Quote(WriteXml("bad-scripts.xml",
                          "<OSMP><scripts><script><id>11</id><text>Новый</text><data>А;</"
                          "data></script><script><id>5</id><text>Плохой</text><data>Б;</"
                          "data></script></scripts></OSMP>"))},
  };
  for (const Row& row : rows) {
    const auto r = Cli(row.command);
    EXPECT_EQ(r.Status, 1) << row.name;
    EXPECT_NE(r.Err, "") << row.name;
    EXPECT_TRUE(DocumentBytes() == before) << row.name;
  }
}

TEST_F(CliDocument, AValueTheCommandCouldNotSendIsNotKept) {
  ASSERT_EQ(Cli("server write masterport --address 10.0.0.9 --port 8080 --server-name srv").Status, 0);
  const auto r = Cli("server write masterport --server-name " + Quote("сервер😀"));
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(Document()->MasterPort().ServerParams().ServerName, "srv");
  // the next write goes through with the values kept before
  const auto again = Cli("server write masterport");
  EXPECT_EQ(again.Status, 0) << again.Err;
  EXPECT_EQ(sim.State().ServerName, "srv");
}

TEST_F(CliDocument, ADamagedSettingsFileIsReportedOnceAndKeptAsACopy) {
  const std::string settings = dir.File("settings.xml");
  // the port is read before the bad attempt count; the support server after it is lost
  const std::string damaged =
      WriteXml("settings.xml", "<settings><Driver><PortNumber>1</PortNumber><PortName>" + sim.SlavePath() +
                                   "</PortName><MaxRetryCount>9</MaxRetryCount>"
                                   "<SupportServer>http://example.org</SupportServer>"
                                   "</Driver></settings>");
  const std::string original = ReadFile(damaged);
  auto r = CliRaw("serial read");
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(r.Err.rfind("Файл " + settings + " прочитан не полностью: MaxRetryCount, 9", 0), 0u) << r.Err;
  const std::string note = "Копия прежнего файла: ";
  const auto copy = r.Err.find(note);
  ASSERT_NE(copy, std::string::npos) << r.Err;
  const std::string backup = r.Err.substr(copy + note.size(), r.Err.find('\n', copy) - copy - note.size());
  EXPECT_EQ(backup.rfind(settings + ".", 0), 0u) << backup;
  EXPECT_TRUE(ReadFile(backup) == original);

  r = CliRaw("serial read");
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(r.Err, "") << "reported once: the file was replaced";
}

TEST_F(CliDocument, FindWithoutAnyAnsweringTerminalEndsWithStatusOne) {
  auto r = Cli("find /dev/quorvel-no-such-port");
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(r.Err, "Устройство не найдено\n");
  r = Cli("find /dev/quorvel-no-such-port " + Quote(sim.SlavePath()));
  EXPECT_EQ(r.Status, 0) << r.Err;
}

TEST_F(CliDocument, EmptyPortOrHomeIsAUsageError) {
  const auto r = CliRaw("--port '' serial read");
  EXPECT_EQ(r.Status, 2);
  EXPECT_NE(r.Err, "");
#ifdef QUORVEL_CLI_PATH
  // --home given once, empty; the environment keeps the run inside the test's folder anyway
  int status = -1;
  quorvel::test::RunCommand("QUORVEL_HOME=" + Quote(dir.Path()) + " " + Quote(QUORVEL_CLI_PATH) +
                                " --home '' --port " + Quote(sim.SlavePath()) +
                                " serial read </dev/null 2>/dev/null",
                            &status);
  EXPECT_EQ(status, 2);
#endif
  EXPECT_TRUE(Commands().empty());
}

}  // namespace
