// quorvel-cli commands of the terminal's own parameters: serial number, active system, backup,
// SIM cards, receipt lines, fee tables and server parameters with the active-system question.
#include "CliFixture.h"

namespace {

using quorvel::sim::TSimFault;
using quorvel::sim::TSimFaultKind;
using quorvel::sim::TSimState;

class CliTerminal : public quorvel::test::CliTest {};

TEST_F(CliTerminal, SerialNumberReadsAloneAndWritesOnlyEightDigits) {
  auto r = Cli("serial read");
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(r.Out, "00012345\n");

  r = Cli("serial write 87654321");
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(sim.State().SerialNumber, "87654321");

  sim.ClearReceivedLines();
  for (const char* bad : {"1234567", "123456789", "1234567a"}) {
    r = Cli(std::string("serial write ") + bad);
    EXPECT_EQ(r.Status, 1) << bad;
    EXPECT_EQ(r.Err, "Серийный номер должен состоять из восьми цифр\n") << bad;
  }
  EXPECT_EQ(CountOf("SMSN="), 0);
  EXPECT_EQ(sim.State().SerialNumber, "87654321");
}

TEST_F(CliTerminal, ActiveSystemReadsCodeAndNameAndSetsAnySystem) {
  sim.Update([](TSimState& s) { s.ActiveSystem = 4; });
  auto r = Cli("active read");
  EXPECT_EQ(r.Out, "4 ОСМП\n");
  sim.Update([](TSimState& s) { s.ActiveSystem = 7; });
  EXPECT_EQ(Cli("active read").Out, "7 Неизвестная платежная система, ID=7\n");

  struct Row {
    const char* system;
    int code;
  };
  for (const Row& row : {Row{"cyberplat", 1}, Row{"ubspay", 12}, Row{"pegasosmp", 4}, Row{"pegasmp", 0}}) {
    r = Cli(std::string("active set ") + row.system);
    EXPECT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(sim.State().ActiveSystem, row.code) << row.system;
  }
  // the terminal refuses a system it does not have
  sim.Update([](TSimState& s) { s.SupportedSystems.erase(12); });
  r = Cli("active set ubspay");
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(r.Err, "Ortena: Ошибка в переданных параметрах\n");
  EXPECT_EQ(sim.State().ActiveSystem, 0);
}

TEST_F(CliTerminal, BackupRestoreBringsBackTheCopyForTheMasterPortPair) {
  TSimState copy = sim.State();
  copy.ServerAddress = "10.9.8.7";
  sim.SetBackup(copy);
  sim.Update([](TSimState& s) { s.ServerAddress = "1.1.1.1"; });
  auto r = Cli("backup restore pegasmp");
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(sim.State().ServerAddress, "10.9.8.7");
  // code 0 is already active: nothing asked, nothing switched
  EXPECT_EQ(CountOf("GLOBALOP="), 0);
  EXPECT_EQ(Cli("backup restore osmp").Status, 2);
}

TEST_F(CliTerminal, SimWriteUsesSlotOneWithPriorityAndSwitchesSlotTwoOff) {
  sim.Update([](TSimState& s) { s.Sims[1] = {true, true, "1111", "old", "", "", false}; });
  auto r = Cli("sim write --pin 0000 --apn internet.beeline.ru --login beeline --password 'bee line'");
  ASSERT_EQ(r.Status, 0) << r.Err;
  const TSimState s = sim.State();
  EXPECT_TRUE(s.Sims[0].Present && s.Sims[0].Enabled && s.Sims[0].Priority);
  EXPECT_EQ(s.Sims[0].Pin, "0000");
  EXPECT_EQ(s.Sims[0].Apn, "internet.beeline.ru");
  EXPECT_EQ(s.Sims[0].Login, "beeline");
  EXPECT_EQ(s.Sims[0].Password, "bee line");
  EXPECT_FALSE(s.Sims[1].Present);

  // read back into the document, printed as the status report's SIM blocks
  r = Cli("sim read");
  EXPECT_EQ(r.Out,
            " SIM-карта 1         : используется\n"
            "   Приоритетна       : [x]\n"
            "   APN               : internet.beeline.ru\n"
            "   Login             : beeline\n"
            "   Password          : bee line\n"
            " SIM-карта 2         : не используется\n");
  auto doc = Document();
  EXPECT_EQ(doc->SimCards().FindSlot(1).Apn, "internet.beeline.ru");
  EXPECT_FALSE(doc->SimCards().FindSlot(2).Enabled);
}

TEST_F(CliTerminal, SimWriteChecksThePageFieldsAndTheFacadeChecksBeforeSending) {
  struct Row {
    std::string args;
    std::string message;
  };
  const std::vector<Row> rows = {
      {"--apn internet", "Необходимо ввести PIN-код SIM-карты 1."},
      {"--pin 123 --apn internet", "PIN-код SIM-карты должен состоять из четырех цифр"},
      {"--pin 1234", "Не введено имя точки доступа SIM-карты 1."},
      {"--pin 12a4 --apn internet", "PIN-код SIM-карты должен состоять из четырех цифр"},
      {"--pin 1234 --apn " + std::string(51, 'a'), "Слишком длинное имя точки доступа (51 > 50)"},
      {"--pin 1234 --apn a --login " + std::string(21, 'l'), "Недопустимая длина имени пользователя"},
      {"--pin 1234 --apn a --password " + std::string(21, 'p'), "Недопустимая длина пароля"},
  };
  for (const Row& row : rows) {
    const auto r = Cli("sim write " + row.args);
    EXPECT_EQ(r.Status, 1) << row.args;
    EXPECT_EQ(r.Err, row.message + "\n") << row.args;
  }
  EXPECT_EQ(CountOf("SMSIMSETUP="), 0);
}

TEST_F(CliTerminal, HeaderAndTrailerGoBetweenTextFilesAndTheTerminal) {
  // a byte-order mark and mixed line ends, as files from elsewhere have them
  const std::string file =
      WriteFile("header.txt", "\xEF\xBB\xBFООО «Ромашка»\r\nул. Ленина, 1\n\nСпасибо!  ");
  auto r = Cli("header write " + Quote(file));
  ASSERT_EQ(r.Status, 0) << r.Err;
  TSimState s = sim.State();
  EXPECT_EQ(s.Header[0], "ООО «Ромашка»");
  EXPECT_EQ(s.Header[1], "ул. Ленина, 1");
  EXPECT_EQ(s.Header[2], "");
  EXPECT_EQ(s.Header[3], "Спасибо!  ");
  EXPECT_EQ(s.Header[9], "");
  EXPECT_EQ(CountOf("SMHEADER="), 10);

  // the read stops at the first absent line (the empty third) and drops trailing blanks
  r = Cli("header read");
  EXPECT_EQ(r.Out, "ООО «Ромашка»\nул. Ленина, 1\n");
  EXPECT_EQ(Document()->Header, "ООО «Ромашка»\r\nул. Ленина, 1\r\n");

  const std::string trailer = WriteFile("trailer.txt", "Оплата без комиссии\nна www.example.ru\n");
  ASSERT_EQ(Cli("trailer write " + Quote(trailer)).Status, 0);
  EXPECT_EQ(sim.State().Trailer[1], "на www.example.ru");
  const std::string out = dir.File("out.txt");
  r = Cli("trailer read " + Quote(out));
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(r.Out, "");
  EXPECT_EQ(ReadFile(out), "Оплата без комиссии\nна www.example.ru\n");

  // twelve lines: the terminal and the document get the first ten, and the user is told
  std::string twelve;
  std::string ten;
  for (int i = 1; i <= 12; ++i) {
    twelve += "Строка " + std::to_string(i) + "\n";
    if (i <= 10) ten += "Строка " + std::to_string(i) + "\r\n";
  }
  r = Cli("trailer write " + Quote(WriteFile("twelve.txt", twelve)));
  EXPECT_EQ(r.Status, 0);
  EXPECT_EQ(r.Err, "Записаны первые 10 строк файла, пропущено строк: 2\n");
  EXPECT_EQ(sim.State().Trailer[9], "Строка 10");
  EXPECT_EQ(Document()->Trailer, ten);

  // a character windows-1251 lacks is refused before anything is sent
  sim.ClearReceivedLines();
  r = Cli("header write " + Quote(WriteFile("bad.txt", "Цена 5 €…\xE2\x82\xB9\n")));
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(CountOf("SMHEADER="), 0);
}

TEST_F(CliTerminal, FeesReadIntoTheDocumentAndWriteItsTablesInWireUnits) {
  sim.Update([](TSimState& s) {
    s.Fees[0].Scheme = 1;
    s.Fees[0].Rates[0] = quorvel::sim::TSimFeeRate{100000, 0, 150};
    s.Fees[0].Rates[2] = quorvel::sim::TSimFeeRate{500000, 1, 2500};  // index 2 absent: skipped
    s.Fees[2].Scheme = 2;
  });
  auto r = Cli("fees read");
  ASSERT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(r.Out.substr(0, r.Out.find("Таблица 4")),
            "Таблица 1: Включается от суммы транзакций\n"
            "  1000 руб.  1.5 %\n"
            "  5000 руб.  25 руб.\n"
            "Таблица 2: Начисляется\n"
            "Таблица 3: Включается от внесенной суммы\n");
  EXPECT_EQ(Document()->FeeTables().Items(0).Fees().Count(), 2);

  // the document's tables go back in kopecks and hundredths; the rest of each table is zeroed
  sim.Update([](TSimState& s) { s.Fees = {}; });
  sim.ClearReceivedLines();
  r = Cli("fees write");
  ASSERT_EQ(r.Status, 0) << r.Err;
  const TSimState s = sim.State();
  EXPECT_EQ(s.Fees[0].Scheme, 1);
  ASSERT_TRUE(s.Fees[0].Rates[1].has_value());
  EXPECT_EQ(s.Fees[0].Rates[1]->MaxSum, 500000);
  EXPECT_EQ(s.Fees[0].Rates[1]->Type, 1);
  EXPECT_EQ(s.Fees[0].Rates[1]->Value, 2500);
  EXPECT_EQ(s.Fees[2].Scheme, 2);
  EXPECT_EQ(CountOf("SMFEE="), 100);
}

TEST_F(CliTerminal, ServerParametersReadAndWriteWithTheDocumentsValues) {
  sim.Update([](TSimState& s) {
    s.ServerAddress = "192.168.1.5";
    s.ServerPort = 5443;
    s.ServerName = "pay.example.ru";
    s.RetryCount = 7;
  });
  auto r = Cli("server read masterport");
  ASSERT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(r.Out,
            "IP-адрес сервера: 192.168.1.5\nНомер порта на сервере: 5443\nЧисло повторов: 7\n"
            "WWW адрес сервера: pay.example.ru\n");

  r = Cli("server write masterport --address 10.0.0.9 --port 8080 --retry-count 2 --server-name srv");
  ASSERT_EQ(r.Status, 0) << r.Err;
  TSimState s = sim.State();
  EXPECT_EQ(s.ServerAddress, "10.0.0.9");
  EXPECT_EQ(s.ServerPort, 8080);
  EXPECT_EQ(s.RetryCount, 2);
  EXPECT_EQ(s.ServerName, "srv");
  // the values stay in the document: a write without options sends them again
  sim.Update([](TSimState& st) { st.ServerAddress = "x"; });
  ASSERT_EQ(Cli("server write masterport").Status, 0);
  EXPECT_EQ(sim.State().ServerAddress, "10.0.0.9");

  // a bad port or a bad retry count sends nothing
  sim.ClearReceivedLines();
  r = Cli("server write masterport --port 70000 --retry-count 5");
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(r.Err, "Неверное значение порта сервера\n");
  EXPECT_EQ(sim.State().RetryCount, 2);
  EXPECT_TRUE(Commands().empty());
  sim.ClearReceivedLines();
  r = Cli("server write masterport --retry-count 500");
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(r.Err, "Неверное значение числа повторов, 500. Допустимые значения: 1..100\n");
  EXPECT_TRUE(Commands().empty());
}

// The question of the active system: Yes switches and writes, No ends with status 3 and sends
// nothing more, no terminal to ask counts as No, and the same code asks nothing.
TEST_F(CliTerminal, ServerWriteAsksBeforeSwitchingTheActiveSystem) {
  const std::string write = "server write osmp --address 10.4.4.4 --port 4444";
  auto r = Cli("--no " + write);
  EXPECT_EQ(r.Status, 3);
  EXPECT_EQ(r.Err, "");
  EXPECT_EQ(Commands(), std::vector<std::string>{"GLOBALOP?"});

  r = Cli(write);
  EXPECT_EQ(r.Status, 3);
  EXPECT_EQ(r.Err,
            "Сейчас активна платежная система Мастерпорт.\nСделать активной платежную систему ОСМП?\n"
            "Нет (нет терминала для ответа; ответ Да: --yes)\n");
  EXPECT_EQ(sim.State().ActiveSystem, 0);
  EXPECT_EQ(sim.State().ServerAddress, "");

  r = Cli("--yes " + write);
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(sim.State().ActiveSystem, 4);
  EXPECT_EQ(sim.State().ServerAddress, "10.4.4.4");

  // PegasOSMP shares code 4: one query, no question, no switch
  sim.ClearReceivedLines();
  r = Cli("--no server write pegasosmp --address 10.5.5.5");
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(CountOf("GLOBALOP?"), 1);
  EXPECT_EQ(CountOf("GLOBALOP="), 0);
  EXPECT_EQ(sim.State().ServerAddress, "10.5.5.5");
}

}  // namespace
