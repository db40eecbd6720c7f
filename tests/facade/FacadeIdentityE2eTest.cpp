#include "Cyberplat.h"
#include "FacadeFixture.h"
#include "MasterPort.h"
#include "OSMP.h"
#include "UbsPay.h"

using namespace quorvel;
using namespace quorvel::test;

namespace {

class FacadeIdentityE2e : public FacadeTest {};

TEST_F(FacadeIdentityE2e, SerialNumberReadWriteAndLength) {
  sim.Update([](sim::TSimState& s) { s.SerialNumber = "87654321"; });
  EXPECT_EQ(facade->ReadSerialNumber(), "87654321");
  EXPECT_EQ(facade->DriverStatus().Text(), "");
  EXPECT_EQ(StatusTexts().front(), "Запрос серийного номера...");

  sim.ClearReceivedLines();
  EXPECT_EQ(ErrorOf([&] { facade->WriteSerialNumber("1234567"); }), kSerialNumberLengthMessage);
  EXPECT_EQ(ErrorOf([&] { facade->WriteSerialNumber("123456789"); }), kSerialNumberLengthMessage);
  EXPECT_TRUE(sim.ReceivedLines().empty());
  EXPECT_EQ(sim.State().SerialNumber, "87654321");

  // the number travels unquoted: digits only
  EXPECT_EQ(ErrorOf([&] { facade->WriteSerialNumber("ABCDEFGH"); }), kSerialNumberLengthMessage);
  EXPECT_TRUE(sim.ReceivedLines().empty());
  facade->WriteSerialNumber("12345678");
  EXPECT_EQ(sim.State().SerialNumber, "12345678");
  EXPECT_EQ(Commands(), (std::vector<std::string>{"SMSN"}));
}

TEST_F(FacadeIdentityE2e, StrictFailureRaisesAndStillClearsTheStatus) {
  sim.ArmFault("SMSN", {sim::TSimFaultKind::SmError, 5, 1, 0});
  try {
    facade->ReadSerialNumber();
    FAIL() << "no error";
  } catch (const EDriverError& e) {
    EXPECT_EQ(e.ResultCode(), 5);
  }
  EXPECT_EQ(facade->DriverStatus().Text(), "");

  sim.ArmFault("GLOBALOP?", {sim::TSimFaultKind::Error, 2, 1, 0});
  try {
    facade->ReadActiveSystem();
    FAIL() << "no error";
  } catch (const EDriverError& e) {
    EXPECT_EQ(e.ResultCode(), 1000);
  }
  EXPECT_EQ(facade->DriverStatus().Text(), "");
}

TEST_F(FacadeIdentityE2e, QueriesAreLenientAndLeaveTheStatus) {
  EXPECT_EQ(facade->QuerySerialNumber(), "00012345");
  EXPECT_EQ(facade->QueryHardwareVersion(), "HW 2.1");
  sim.ArmFault("SMSN", {sim::TSimFaultKind::Error, 2, 1, 0});
  sim.ArmFault("WHWV", {sim::TSimFaultKind::Error, 2, 1, 0});
  EXPECT_EQ(facade->QuerySerialNumber(), "нет данных");
  EXPECT_EQ(facade->QueryHardwareVersion(), "нет данных");
  EXPECT_EQ(facade->DriverStatus().Text(), "Запрос серийного номера...");
  // a terminal error code other than 8 is still an error
  sim.ArmFault("SMSN", {sim::TSimFaultKind::SmError, 3, 1, 0});
  EXPECT_THROW(facade->QuerySerialNumber(), EDriverError);
}

TEST_F(FacadeIdentityE2e, ActiveSystemReadAndSet) {
  sim.Update([](sim::TSimState& s) { s.ActiveSystem = 9; });
  EXPECT_EQ(facade->ReadActiveSystem(), 9);
  TPaymentSystems systems;
  facade->SetActiveSystem(systems.Add<TCyberplat>());
  EXPECT_EQ(sim.State().ActiveSystem, 1);
  EXPECT_EQ(facade->DriverStatus().Text(), "");
}

TEST_F(FacadeIdentityE2e, SameSystemSendsOneQueryAndAsksNothing) {
  TPaymentSystems systems;
  sim.Update([](sim::TSimState& s) { s.ActiveSystem = 1; });
  facade->EnsureActiveSystem(systems.Add<TCyberplat>());
  EXPECT_EQ(Commands(), (std::vector<std::string>{"GLOBALOP?"}));
  EXPECT_TRUE(prompt.Questions.empty());

  // the systems that share a code never ask to switch away from their sibling
  sim.ClearReceivedLines();
  sim.Update([](sim::TSimState& s) { s.ActiveSystem = 4; });
  facade->EnsureActiveSystem(systems.Add<TPegasOSMP>());
  facade->EnsureActiveSystem(systems.Add<TOSMP>());
  sim.Update([](sim::TSimState& s) { s.ActiveSystem = 0; });
  facade->EnsureActiveSystem(systems.Add<TPegasMP>());
  EXPECT_EQ(Commands(), (std::vector<std::string>{"GLOBALOP?", "GLOBALOP?", "GLOBALOP?"}));
  EXPECT_TRUE(prompt.Questions.empty());
}

TEST_F(FacadeIdentityE2e, DifferentSystemAsksAndSwitchesOnYes) {
  TPaymentSystems systems;
  TCyberplat& cyberplat = systems.Add<TCyberplat>();
  sim.Update([](sim::TSimState& s) { s.ActiveSystem = 4; });
  prompt = TScriptedPrompt({true});
  facade->EnsureActiveSystem(cyberplat);
  ASSERT_EQ(prompt.Questions.size(), 1u);
  EXPECT_EQ(prompt.Questions[0],
            "Сейчас активна платежная система ОСМП.\r\nСделать активной платежную систему Cyberplat?");
  EXPECT_EQ(sim.State().ActiveSystem, 1);
  EXPECT_EQ(Commands(), (std::vector<std::string>{"GLOBALOP?", "GLOBALOP"}));
}

TEST_F(FacadeIdentityE2e, NoIsASilentAbortAndWritesNothing) {
  TPaymentSystems systems;
  TOSMP& osmp = systems.Add<TOSMP>();
  osmp.Login = "login";
  osmp.TerminalID = "77";
  sim.Update([](sim::TSimState& s) { s.ActiveSystem = 7; });
  prompt = TScriptedPrompt({false});
  EXPECT_THROW(facade->WriteOSMP(osmp), EAbort);
  ASSERT_EQ(prompt.Questions.size(), 1u);
  // a code without a name of its own is named by the generic text
  EXPECT_EQ(prompt.Questions[0],
            "Сейчас активна платежная система Неизвестная платежная система, ID=7.\r\n"
            "Сделать активной платежную систему ОСМП?");
  EXPECT_EQ(Commands(), (std::vector<std::string>{"GLOBALOP?"}));
  EXPECT_EQ(sim.State().ActiveSystem, 7);
  EXPECT_TRUE(sim.State().Credentials.empty());
  EXPECT_EQ(facade->DriverStatus().Text(), "");

  // without a prompt every question is answered No
  facade->SetPrompt(nullptr);
  EXPECT_THROW(facade->EnsureActiveSystem(osmp), EAbort);
  EXPECT_EQ(sim.State().ActiveSystem, 7);
}

TEST_F(FacadeIdentityE2e, RefusedSwitchStopsTheOperation) {
  TPaymentSystems systems;
  TUbsPay& ubs = systems.Add<TUbsPay>();
  ubs.ServerParams().Address = "10.0.0.1";
  ubs.ServerParams().Port = 8080;
  sim.Update([](sim::TSimState& s) {
    s.ActiveSystem = 0;
    s.SupportedSystems.erase(12);
  });
  prompt = TScriptedPrompt({true});
  EXPECT_THROW(facade->WriteServerParams(ubs), EDriverError);
  EXPECT_EQ(Commands(), (std::vector<std::string>{"GLOBALOP?", "GLOBALOP"}));
  EXPECT_EQ(sim.State().ServerAddress, "");
}

TEST_F(FacadeIdentityE2e, StatusReportInItsOrder) {
  sim.Update([](sim::TSimState& s) {
    s.ActiveSystem = 4;
    s.RetryCount = 7;
    s.ServerAddress = "10.1.2.3";
    s.ServerPort = 5555;
    s.Clock = "26/12/09,06:40:00";
    s.Sims[0] = {true, true, "1111", "internet.mts.ru", "mts", "pw", true};
  });
  const TOrtenaStatus status = facade->ReadStatus();
  EXPECT_EQ(Commands(), (std::vector<std::string>{"WDWL?", "CGMR", "WHWV", "CGSN", "CGMM", "CGMI", "CCLK?",
                                                  "WDOP", "SMSNTERM", "SMSN", "SMSERV", "GLOBALOP?",
                                                  "SMTRYCOUNT?", "SMSTATE", "SMSIMSETUP", "SMSIMSETUP"}));
  EXPECT_EQ(status.LoaderVersion, "LDR 1.07");
  EXPECT_EQ(status.OsVersion, "OS 6.63");
  EXPECT_EQ(status.HardwareVersion, "HW 2.1");
  EXPECT_EQ(status.FactoryNumber, "354360000012345");
  EXPECT_EQ(status.Model, "Ortena GSM-3");
  EXPECT_EQ(status.Manufacturer, "Ortena");
  EXPECT_EQ(status.DateTime, "26/12/09,06:40:00");
  EXPECT_EQ(status.ProductionDate, "2008/03/14");
  EXPECT_EQ(status.TerminalNumber, "1001");
  EXPECT_EQ(status.SerialNumber, "00012345");
  EXPECT_EQ(status.ServerAddress, "10.1.2.3");
  EXPECT_EQ(status.ServerPort, "5555");
  EXPECT_EQ(status.ActiveSystem, 4);
  EXPECT_EQ(status.RetryCount, 7);
  EXPECT_EQ(status.DeviceState.VoltageText, "12.6");
  EXPECT_EQ(status.DeviceState.FreePositions, "200");
  EXPECT_EQ(status.SignalLevel, "");
  EXPECT_EQ(status.Sim1.SlotNumber, 1);
  EXPECT_EQ(status.Sim1.Result, 0);
  EXPECT_EQ(status.Sim1.Apn, "internet.mts.ru");
  EXPECT_TRUE(status.Sim1.Enabled);
  EXPECT_TRUE(status.Sim1.Priority);
  // slot 2 holds nothing: the terminal's no-data code is kept
  EXPECT_EQ(status.Sim2.SlotNumber, 2);
  EXPECT_EQ(status.Sim2.Result, 8);
  EXPECT_EQ(status.Sim2.Apn, "");
  EXPECT_FALSE(status.Sim2.Enabled);
}

TEST_F(FacadeIdentityE2e, StatusReportGoesOnPastRefusals) {
  sim.Update([](sim::TSimState& s) {
    s.ActiveSystem = 3;
    s.RetryCount = 9;
  });
  sim.ArmFault("WDOP", {sim::TSimFaultKind::Error, 2, 1, 0});
  sim.ArmFault("GLOBALOP?", {sim::TSimFaultKind::Error, 2, 1, 0});
  sim.ArmFault("SMSTATE", {sim::TSimFaultKind::SmError, 4, 1, 0});
  sim.ArmFault("SMSIMSETUP", {sim::TSimFaultKind::Error, 2, 1, 0});
  const TOrtenaStatus status = facade->ReadStatus();
  EXPECT_EQ(status.ProductionDate, "нет данных");
  EXPECT_EQ(status.TerminalNumber, "1001");  // the query after it still ran
  EXPECT_EQ(status.ActiveSystem, 0);         // not known: left at 0
  EXPECT_EQ(status.RetryCount, 9);
  EXPECT_EQ(status.DeviceState.VoltageText, "нет данных");
  EXPECT_EQ(status.DeviceState.FreePositions, "");
  EXPECT_EQ(status.Sim1.Result, 1000);
  EXPECT_EQ(status.Sim2.Result, 8);
  EXPECT_EQ(Commands().size(), 16u);
  // the status page clears the text itself
  EXPECT_NE(facade->DriverStatus().Text(), "");

  // a terminal error code on a lenient query ends the report
  sim.ArmFault("CGMM", {sim::TSimFaultKind::SmError, 6, 1, 0});
  sim.ClearReceivedLines();
  EXPECT_THROW(facade->ReadStatus(), EDriverError);
  EXPECT_EQ(Commands().back(), "CGMM");
}

}  // namespace
