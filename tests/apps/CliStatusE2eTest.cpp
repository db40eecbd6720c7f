// quorvel-cli status: the status page's report, line by line.
#include "CliFixture.h"

namespace {

using quorvel::sim::TSimFault;
using quorvel::sim::TSimFaultKind;
using quorvel::sim::TSimState;

class CliStatus : public quorvel::test::CliTest {};

const std::string kSeparator = " " + std::string(58, '-') + "\n";

TEST_F(CliStatus, PrintsTheReportOfAWorkingTerminal) {
  sim.Update([](TSimState& s) {
    s.Clock = "09/03/14,12:30:00";
    s.ActiveSystem = 4;
    s.RetryCount = 3;
    s.QueuedPayments = "2";
    s.FreePositions = "198";
    s.VoltageTenths = 118;
    s.ServerAddress = "10.0.0.1";
    s.ServerPort = 5000;
    s.Sims[0] = {true, true, "1234", "internet", "gdata", "pw", true};
    // in the terminal, but switched off: its values are still shown
    s.Sims[1] = {true, false, "", "spare.apn", "", "", false};
  });
  const auto r = Cli("status");
  ASSERT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(r.Err, "");
  EXPECT_EQ(r.Out, " \n" + kSeparator +
                       " Версия загрузчика   : LDR 1.07\n"
                       " Версия ОС           : OS 6.63\n"
                       " Версия оборудования : HW 2.1\n"
                       " Заводской номер     : 354360000012345\n"
                       " Модель              : Ortena GSM-3\n"
                       " Производитель       : Ortena\n"
                       " Дата и время        : 09/03/14,12:30:00\n"
                       " Дата производства   : 2008/03/14\n" +
                       kSeparator +
                       " Номер терминала     : 1001\n"
                       " Серийный номер      : 00012345\n"
                       " Платежная система   : ОСМП\n"
                       " Количество повторов : 3\n"
                       " Платежей в очереди  : 2\n"
                       " Свободно позиций    : 198\n"
                       " Напряжение батареи  : 11.8 V\n"
                       " Уровень сигнала     : \n"
                       " IP адрес сервера    : 10.0.0.1\n"
                       " Порт сервера        : 5000\n"
                       " SIM-карта 1         : используется\n"
                       "   Приоритетна       : [x]\n"
                       "   APN               : internet\n"
                       "   Login             : gdata\n"
                       "   Password          : pw\n"
                       " SIM-карта 2         : не используется\n"
                       "   Приоритетна       : [ ]\n"
                       "   APN               : spare.apn\n"
                       "   Login             : \n"
                       "   Password          : \n");
}

// WDOP answers ERROR, the state, active-system and retry queries fail, slot 1 answers ERROR,
// slot 2 and the server have no data: every value that is missing says so and the report
// goes on to its end.
TEST_F(CliStatus, ReportsWhatAFaultyTerminalCannotGive) {
  sim.Update([](TSimState& s) {
    s.Sims[0] = {true, true, "1234", "internet", "", "", true};
    s.Sims[1] = {};
  });
  for (const char* command : {"WDOP", "SMSTATE", "GLOBALOP?", "SMTRYCOUNT?"})
    sim.ArmFault(command, TSimFault{TSimFaultKind::Error, 2, 0, 0});
  sim.ArmFault("SMSIMSETUP", TSimFault{TSimFaultKind::Error, 2, 1, 0});
  const auto r = Cli("status");
  ASSERT_EQ(r.Status, 0) << r.Err;
  EXPECT_NE(r.Out.find(" Дата производства   : нет данных\n" + kSeparator), std::string::npos) << r.Out;
  const auto tail = r.Out.find(" Номер терминала");
  ASSERT_NE(tail, std::string::npos) << r.Out;
  EXPECT_EQ(r.Out.substr(tail),
            " Номер терминала     : 1001\n"
            " Серийный номер      : 00012345\n"
            " Платежная система   : Мастерпорт\n"
            " Количество повторов : 0\n"
            " Платежей в очереди  : \n"
            " Свободно позиций    : \n"
            " Напряжение батареи  : нет данных V\n"
            " Уровень сигнала     : \n"
            " IP адрес сервера    : нет данных\n"
            " Порт сервера        : нет данных\n"
            " SIM-карта 1         : нет данных\n"
            " SIM-карта 2         : не используется\n");
}

TEST_F(CliStatus, AFailureTheLenientCheckRefusesEndsWithTheTerminalsMessage) {
  sim.ArmFault("CGSN", TSimFault{TSimFaultKind::SmError, 4, 0, 0});
  const auto r = Cli("status");
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(r.Out, "");
  EXPECT_EQ(r.Err, "Ortena: Ошибка ожидания ответа\n");
  // nothing after the refused query was asked
  EXPECT_EQ(CountOf("CGMM"), 0);
}

}  // namespace
