// quorvel-cli as a program: usage errors, settings.xml and the configuration document in the
// program's folder, the log, failed saves, the device search, the built-in simulator and the
// progress line on a terminal.
#include "CliFixture.h"
#include "Pty.h"

#include <filesystem>

namespace {

using quorvel::sim::TSimFault;
using quorvel::sim::TSimFaultKind;

class CliOptions : public quorvel::test::CliTest {
 protected:
  bool SettingsHave(const std::string& element) {
    return ReadFile(dir.File("settings.xml")).find(element) != std::string::npos;
  }
};

TEST_F(CliOptions, UsageErrorsExitWithTwoAndSendNothing) {
  for (const char* args : {"frobnicate", "serial write", "server read nosuch", "--yes --no status",
                           "--retries 9 status", "--simulator status", "status extra", "sim"}) {
    const auto r = Cli(args);
    EXPECT_EQ(r.Status, 2) << args;
    EXPECT_NE(r.Err, "") << args;
  }
  EXPECT_TRUE(Commands().empty());
}

TEST_F(CliOptions, PortRetriesAndLogOfOneRunStayOutOfSettingsUnlessAsked) {
  const std::string log = dir.File("exchange.log");
  auto r = Cli("--retries 3 --log " + Quote(log) + " serial read");
  ASSERT_EQ(r.Status, 0) << r.Err;
  EXPECT_TRUE(SettingsHave("<MaxRetryCount>1</MaxRetryCount>"));
  EXPECT_TRUE(SettingsHave("<LogEnabled>0</LogEnabled>"));
  EXPECT_FALSE(SettingsHave(sim.SlavePath()));
  EXPECT_NE(ReadFile(log).find("-> AT+SMSN="), std::string::npos);

  r = Cli("--retries 3 --save-settings serial read");
  ASSERT_EQ(r.Status, 0) << r.Err;
  EXPECT_TRUE(SettingsHave("<PortName>" + sim.SlavePath() + "</PortName>"));
  EXPECT_TRUE(SettingsHave("<MaxRetryCount>3</MaxRetryCount>"));
  r = CliRaw("serial read");
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(r.Out, "00012345\n");
}

TEST_F(CliOptions, PortsListsDevicePaths) {
  const auto r = CliRaw("ports");
  EXPECT_EQ(r.Status, 0) << r.Err;
  std::istringstream lines(r.Out);
  for (std::string line; std::getline(lines, line);) EXPECT_EQ(line.rfind("/dev/", 0), 0u) << line;
}

TEST_F(CliOptions, PortWithoutATerminalIsAnError) {
  const auto r = CliRaw("--port /dev/quorvel-no-such-port serial read");
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(r.Err, "Порт /dev/quorvel-no-such-port недоступен: нет такого устройства\n");
}

TEST_F(CliOptions, ADocumentReadInPartIsReportedAndKeptAsACopy) {
  ASSERT_EQ(Cli("server write xplat --yes --address 10.3.3.3").Status, 0);
  ASSERT_EQ(Cli("--yes server write ubspay --address 10.12.12.12").Status, 0);
  // the OSMP section, which comes after XPlat's and before UbsPay's, goes missing
  const std::string file = dir.File("Quorvel.xml");
  std::string text = ReadFile(file);
  const auto from = text.find("<OSMP>");
  const auto to = text.find("</OSMP>");
  ASSERT_TRUE(from != std::string::npos && to != std::string::npos);
  text.erase(from, to + 7 - from);
  WriteFile("Quorvel.xml", text);

  const auto r = Cli("serial read");
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(r.Err.rfind("Файл " + file + " прочитан не полностью: Элемент не найден, OSMP\n", 0), 0u)
      << r.Err;
  const std::string note = "Копия прежнего файла: ";
  const auto copy = r.Err.find(note);
  ASSERT_NE(copy, std::string::npos) << r.Err;
  const std::string backup = r.Err.substr(copy + note.size(), r.Err.find('\n', copy) - copy - note.size());
  EXPECT_TRUE(ReadFile(backup) == text);
  // what was read before the gap is saved again; what came after it is back at its defaults
  auto doc = Document();
  EXPECT_EQ(doc->XPlat().ServerParams().Address, "10.3.3.3");
  EXPECT_EQ(doc->UbsPay().ServerParams().Address, "");
}

TEST_F(CliOptions, AFailedSaveEndsWithStatusOneAfterTheCommandsOutput) {
  std::filesystem::create_directories(dir.File("settings.xml"));
  auto r = Cli("serial read");
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(r.Out, "00012345\n");
  EXPECT_EQ(r.Err.rfind("Ошибка записи файла " + dir.File("settings.xml") + ".\n", 0), 0u) << r.Err;

  // an error of the command itself comes first
  r = Cli("serial write 1");
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(r.Err.rfind("Серийный номер должен состоять из восьми цифр\nОшибка записи файла ", 0), 0u)
      << r.Err;
}

TEST_F(CliOptions, FindProbesEachPortOnce) {
  auto r = Cli("find " + Quote(sim.SlavePath()) + " /dev/quorvel-no-such-port");
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(
      r.Out,
      sim.SlavePath() +
          ": Устройство найдено: 00012345\n"
          "/dev/quorvel-no-such-port: Порт /dev/quorvel-no-such-port недоступен: нет такого устройства\n");
  // a terminal that refuses SMSN still answered
  sim.ArmFault("SMSN", TSimFault{TSimFaultKind::Error, 2, 1, 0});
  r = Cli("find " + Quote(sim.SlavePath()));
  EXPECT_EQ(r.Out, sim.SlavePath() + ": Устройство найдено\n");
  EXPECT_EQ(CountOf("SMSN="), 2);
}

TEST_F(CliOptions, BuiltInSimulatorAnswersAndIsNotRemembered) {
  for (const char* args : {"--simulator status", "status --simulator"}) {
    const auto r = CliRaw(args);
    EXPECT_EQ(r.Status, 0) << r.Err;
    EXPECT_NE(r.Out.find(" Серийный номер      : 00012345\n"), std::string::npos) << r.Out;
  }
  EXPECT_FALSE(SettingsHave("/dev/pts/"));
  const auto found = CliRaw("find --simulator");
  EXPECT_EQ(found.Status, 0) << found.Err;
  EXPECT_EQ(found.Out.rfind("/dev/pts/", 0), 0u) << found.Out;
  EXPECT_NE(found.Out.find(": Устройство найдено: 00012345\n"), std::string::npos) << found.Out;
}

TEST_F(CliOptions, AQuestionOnATerminalTakesTheTypedAnswer) {
  struct Row {
    const char* typed;
    int status;
    int active;
  };
  for (const Row& row : {Row{"n\n", 3, 0}, Row{"Да\n", 0, 1}}) {
    SCOPED_TRACE(row.typed);
    quorvel::test::Pty terminal;
    ASSERT_TRUE(terminal.Write(row.typed));
    const auto r = Cli("server write cyberplat --address 10.1.1.1 --port 1000", terminal.SlavePath());
    EXPECT_EQ(r.Status, row.status) << r.Err;
    EXPECT_EQ(
        r.Err,
        "Сейчас активна платежная система Мастерпорт.\nСделать активной платежную систему Cyberplat? [y/N] ");
    EXPECT_EQ(sim.State().ActiveSystem, row.active);
  }
}

TEST_F(CliOptions, ProgressLineIsDrawnOnATerminalOnly) {
  const std::string file = WriteFile("providers.xml", std::string(1000, 'x'));
  quorvel::test::Pty terminal;
  int status = -1;
#ifdef QUORVEL_CLI_PATH
  quorvel::test::RunCommand(Quote(QUORVEL_CLI_PATH) + " --home " + Quote(dir.Path()) + " --port " +
                                Quote(sim.SlavePath()) + " xmldata write " + Quote(file) + " 2> " +
                                Quote(terminal.SlavePath()),
                            &status);
#endif
  EXPECT_EQ(status, 0);
  const std::string drawn = terminal.Read(1 << 20, 5000);
  EXPECT_NE(drawn.find("] 1/4 Запись данных XML файла, пакет 0"), std::string::npos) << drawn;
  EXPECT_NE(drawn.find("[" + std::string(30, '#') + "] 4/4 Запись данных XML файла, пакет 3"),
            std::string::npos)
      << drawn;
  // into a file: nothing but errors
  const auto r = Cli("xmldata write " + Quote(file));
  EXPECT_EQ(r.Status, 0);
  EXPECT_EQ(r.Err, "");
}

}  // namespace
