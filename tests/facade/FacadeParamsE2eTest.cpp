#include "FacadeFixture.h"
#include "FeeTable.h"
#include "Fees.h"
#include "OSMP.h"
#include "SimCard.h"

using namespace quorvel;
using namespace quorvel::test;

namespace {

class FacadeParamsE2e : public FacadeTest {
 protected:
  void SetUp() override {
    FacadeTest::SetUp();
    osmp_ = &systems_.Add<TOSMP>();
    sim.Update([](sim::TSimState& s) { s.ActiveSystem = 4; });
  }

  TPaymentSystems systems_;
  TOSMP* osmp_ = nullptr;
};

// ---- server parameters ----

TEST_F(FacadeParamsE2e, BadPortStopsBeforeAnythingIsSent) {
  TServerParams& params = osmp_->ServerParams();
  params.SetRetryCount(5);
  params.Address = "10.0.0.1";
  params.Port = 70000;
  EXPECT_EQ(ErrorOf([&] { facade->WriteServerParams(*osmp_); }), "Неверное значение порта сервера");
  EXPECT_EQ(Commands(), std::vector<std::string>{});
  EXPECT_EQ(sim.State().RetryCount, std::nullopt);
  EXPECT_EQ(sim.State().ServerAddress, "");
  EXPECT_EQ(facade->DriverStatus().Text(), "");
}

TEST_F(FacadeParamsE2e, ServerParamsRoundTrip) {
  TServerParams& params = osmp_->ServerParams();
  params.SetRetryCount(12);
  params.Address = "192.168.0.10";
  params.Port = 65535;
  params.ServerName = "pay.example.ru";
  // the name is written leniently: a terminal that does not know it does not stop the write
  sim.ArmFault("SMSERVERNAME", {sim::TSimFaultKind::Error, 2, 1, 0});
  facade->WriteServerParams(*osmp_);
  EXPECT_EQ(Commands(), (std::vector<std::string>{"GLOBALOP?", "SMTRYCOUNT", "SMSERV", "SMSERVERNAME"}));
  EXPECT_EQ(sim.State().RetryCount, 12);
  EXPECT_EQ(sim.State().ServerAddress, "192.168.0.10");
  EXPECT_EQ(sim.State().ServerPort, 65535);
  EXPECT_EQ(sim.State().ServerName, "");
  facade->WriteServerParams(*osmp_);
  EXPECT_EQ(sim.State().ServerName, "pay.example.ru");

  TPaymentSystems others;
  TOSMP& read = others.Add<TOSMP>();
  facade->ReadServerParams(read);
  EXPECT_EQ(read.ServerParams().RetryCount(), 12);
  EXPECT_EQ(read.ServerParams().Address, "192.168.0.10");
  EXPECT_EQ(read.ServerParams().Port, 65535);
  EXPECT_EQ(read.ServerParams().ServerName, "pay.example.ru");
  EXPECT_EQ(facade->DriverStatus().Text(), "");
}

TEST_F(FacadeParamsE2e, ReadServerParamsKeepsAbsentValuesAndChecksTheRetryCount) {
  TServerParams& params = osmp_->ServerParams();
  params.Address = "kept";
  params.Port = 99;
  params.ServerName = "kept.name";
  sim.Update([](sim::TSimState& s) { s.RetryCount = 3; });  // no server, no name
  facade->ReadServerParams(*osmp_);
  EXPECT_EQ(params.RetryCount(), 3);
  EXPECT_EQ(params.Address, "kept");
  EXPECT_EQ(params.Port, 99);
  EXPECT_EQ(params.ServerName, "kept.name");

  sim.Update([](sim::TSimState& s) {
    s.RetryCount = 0;
    s.ServerAddress = "10.9.9.9";
  });
  sim.ClearReceivedLines();
  EXPECT_EQ(ErrorOf([&] { facade->ReadServerParams(*osmp_); }),
            "Неверное значение числа повторов, 0. Допустимые значения: 1..100");
  EXPECT_EQ(Commands(), (std::vector<std::string>{"GLOBALOP?", "SMTRYCOUNT?"}));
  EXPECT_EQ(params.RetryCount(), 3);
  EXPECT_EQ(params.Address, "kept");
  EXPECT_EQ(facade->DriverStatus().Text(), "");
}

// ---- SIM cards ----

TEST_F(FacadeParamsE2e, SimCardsAreAllCheckedBeforeTheFirstIsWritten) {
  TSimCards cards;
  TSimCard& first = cards.Items(0);
  first.Enabled = true;
  first.Priority = true;
  first.Pin = "0000";
  first.Apn = "internet.beeline.ru";
  first.Login = "beeline";
  first.Password = "beeline";
  TSimCard& second = cards.Items(1);
  second.Enabled = true;
  second.Pin = "4321";
  second.Apn = std::string(51, 'a');
  EXPECT_EQ(ErrorOf([&] { facade->WriteSimCards(cards); }), "Слишком длинное имя точки доступа (51 > 50)");
  EXPECT_EQ(Commands(), std::vector<std::string>{});
  const sim::TSimState state = sim.State();
  EXPECT_FALSE(state.Sims[0].Present);
  EXPECT_FALSE(state.Sims[1].Present);
  EXPECT_EQ(facade->DriverStatus().Text(), "");
}

TEST_F(FacadeParamsE2e, DisabledCardIsDeletedWithoutValidation) {
  sim.Update([](sim::TSimState& s) { s.Sims[1] = {true, true, "1111", "old.apn", "", "", false}; });
  TSimCards cards;
  cards.Items(0).Enabled = false;  // empty slot: deleting it is no error
  cards.Items(1).Enabled = false;
  cards.Items(1).Pin = "";
  cards.Items(1).Apn = std::string(80, 'x');
  facade->WriteSimCards(cards);
  EXPECT_EQ(ArgsOf("SMSIMSETUP"), (std::vector<std::vector<std::string>>{{"1", "2"}, {"2", "2"}}));
  EXPECT_FALSE(sim.State().Sims[1].Present);
}

TEST_F(FacadeParamsE2e, ReadSimCardsClearsThePinAndAbsentSlots) {
  sim.Update([](sim::TSimState& s) { s.Sims[0] = {true, true, "1234", "apn.one", "user", "secret", false}; });
  TSimCards cards;
  cards.Items(0).Pin = "9999";
  cards.Items(1).Pin = "8888";
  cards.Items(1).Apn = "stale";
  cards.Items(1).Enabled = true;
  facade->ReadSimCards(cards);
  EXPECT_EQ(cards.Items(0).Pin, "");
  EXPECT_EQ(cards.Items(0).Apn, "apn.one");
  EXPECT_EQ(cards.Items(0).Login, "user");
  EXPECT_EQ(cards.Items(0).Password, "secret");
  EXPECT_TRUE(cards.Items(0).Enabled);
  EXPECT_FALSE(cards.Items(0).Priority);
  EXPECT_EQ(cards.Items(1).Pin, "");
  EXPECT_EQ(cards.Items(1).Apn, "");
  EXPECT_FALSE(cards.Items(1).Enabled);
  EXPECT_EQ(facade->DriverStatus().Text(), "");
}

TEST_F(FacadeParamsE2e, ASimReadThatFailsAtTheSecondSlotChangesNeither) {
  sim.Update([](sim::TSimState& s) { s.Sims[0] = {true, true, "1234", "apn.new", "user", "secret", false}; });
  // One answer per command, in arming order: slot 1 reads as absent (code 8, which the read
  // accepts), slot 2 is refused.
  sim.ArmFault("SMSIMSETUP", {sim::TSimFaultKind::SmError, 8, 1, 0});
  sim.ArmFault("SMSIMSETUP", {sim::TSimFaultKind::SmError, 2, 1, 0});
  TSimCards cards;
  cards.Items(0).Apn = "apn.old";
  cards.Items(0).Enabled = true;
  EXPECT_THROW(facade->ReadSimCards(cards), EDriverError);
  EXPECT_EQ(ArgsOf("SMSIMSETUP").size(), 2u);
  EXPECT_EQ(cards.Items(0).Apn, "apn.old");
  EXPECT_TRUE(cards.Items(0).Enabled);
}

// ---- header and trailer ----

TEST_F(FacadeParamsE2e, WriteHeaderSendsExactlyTenLines) {
  facade->WriteHeader("Магазин\r\nул. Ленина, 1\nтел. 123");
  EXPECT_EQ(CountOf("SMHEADER"), 10);
  const auto args = ArgsOf("SMHEADER");
  ASSERT_EQ(args.size(), 10u);
  for (int i = 0; i < 10; ++i) {
    ASSERT_EQ(args[i].size(), 2u);
    EXPECT_EQ(args[i][0], std::to_string(i + 1));
  }
  EXPECT_EQ(args[1][1], "ул. Ленина, 1");
  EXPECT_EQ(args[3][1], "");
  EXPECT_EQ(args[9][1], "");
  const auto header = sim.State().Header;
  EXPECT_EQ(header[0], "Магазин");
  EXPECT_EQ(header[2], "тел. 123");
  EXPECT_EQ(header[3], "");

  // lines beyond the tenth are ignored; CR alone and empty lines count as lines
  sim.ClearReceivedLines();
  std::string text = "a\rb\r\n\rd";
  for (int i = 5; i <= 12; ++i) text += "\n" + std::to_string(i);
  facade->WriteTrailer(text);
  EXPECT_EQ(CountOf("SMREKLAM"), 10);
  EXPECT_EQ(Commands().size(), 10u);
  const auto trailer = sim.State().Trailer;
  EXPECT_EQ(trailer[1], "b");
  EXPECT_EQ(trailer[2], "");
  EXPECT_EQ(trailer[3], "d");
  EXPECT_EQ(trailer[9], "10");
  EXPECT_EQ(facade->DriverStatus().Text(), "");
}

TEST_F(FacadeParamsE2e, ReadHeaderStopsAtTheFirstAbsentLine) {
  sim.Update([](sim::TSimState& s) {
    s.Header[0] = "Первая   ";
    s.Header[1] = "Вторая";
    s.Header[3] = "after the gap";
    s.Trailer[0] = "Реклама";
  });
  EXPECT_EQ(facade->ReadHeader(), "Первая\r\nВторая\r\n");
  EXPECT_EQ(Commands(), (std::vector<std::string>{"SMHEADER", "SMHEADER", "SMHEADER"}));
  EXPECT_EQ(facade->ReadTrailer(), "Реклама\r\n");
  EXPECT_EQ(CountOf("SMREKLAM"), 2);
  sim.Update([](sim::TSimState& s) { s.Header[0] = ""; });
  EXPECT_EQ(facade->ReadHeader(), "");
  EXPECT_EQ(facade->DriverStatus().Text(), "");
}

// ---- fee tables ----

TEST_F(FacadeParamsE2e, ReadFeesSkipsEmptyZeroAndUnknownRates) {
  sim.Update([](sim::TSimState& s) {
    auto& rates = s.Fees[2].Rates;               // table 3
    rates[0] = sim::TSimFeeRate{0, 0, 150};      // sum 0
    rates[1] = sim::TSimFeeRate{50000, 2, 100};  // type 2
    rates[2] = sim::TSimFeeRate{100000, 0, 0};   // value 0
    rates[4] = sim::TSimFeeRate{500000, 1, 2550};
    rates[6] = sim::TSimFeeRate{20000, 0, 125};
    s.Fees[2].Scheme = 2;
  });
  TFeeTables tables;
  TFeeTable& table = tables.Items(2);
  table.Fees().Add().SetValues(kFeePercent, Money::Parse("1"), 1);  // replaced by the read
  facade->ReadFeeTable(table);
  EXPECT_EQ(CountOf("SMFEE"), 10);
  EXPECT_EQ(table.SchemeType(), 2);
  ASSERT_EQ(table.Fees().Count(), 2);
  // sorted by sum
  EXPECT_EQ(table.Fees().Items(0).FeeSum, Money::Parse("200"));
  EXPECT_EQ(table.Fees().Items(0).FeeType, kFeePercent);
  EXPECT_DOUBLE_EQ(table.Fees().Items(0).FeeValue, 1.25);
  EXPECT_EQ(table.Fees().Items(1).FeeSum, Money::Parse("5000"));
  EXPECT_EQ(table.Fees().Items(1).FeeType, kFeeFixed);
  EXPECT_DOUBLE_EQ(table.Fees().Items(1).FeeValue, 25.5);
  EXPECT_EQ(facade->DriverStatus().Text(), "");
}

TEST_F(FacadeParamsE2e, ReadFeeTablesStopsAtARateTheModelRefuses) {
  sim.Update([](sim::TSimState& s) {
    s.Fees[0].Rates[0] = sim::TSimFeeRate{10000, 0, 300};
    s.Fees[1].Scheme = 1;
    s.Fees[1].Rates[0] = sim::TSimFeeRate{10000, 0, 250};
    s.Fees[1].Rates[1] = sim::TSimFeeRate{20000, 1, 20000};  // fixed 200 on sums up to 200
    s.Fees[2].Rates[0] = sim::TSimFeeRate{10000, 0, 100};
  });
  TFeeTables tables;
  tables.Items(0).Fees().Add().SetValues(kFeePercent, Money::Parse("7"), 7);
  tables.Items(0).Fees().Add().SetValues(kFeeFixed, Money::Parse("70"), 7);
  tables.Items(1).SetSchemeType(2);
  tables.Items(2).Fees().Add().SetValues(kFeePercent, Money::Parse("9"), 9);
  EXPECT_EQ(ErrorOf([&] { facade->ReadFeeTables(tables); }), kFeeFixedMessage);
  // nothing of the failed read stays: neither the tables before it nor the half of table 2
  ASSERT_EQ(tables.Items(0).Fees().Count(), 2);
  EXPECT_EQ(tables.Items(0).Fees().Items(0).FeeSum, Money::Parse("7"));
  EXPECT_EQ(tables.Items(0).Fees().Items(1).FeeSum, Money::Parse("70"));
  EXPECT_EQ(tables.Items(1).SchemeType(), 2);
  EXPECT_EQ(tables.Items(1).Fees().Count(), 0);
  ASSERT_EQ(tables.Items(2).Fees().Count(), 1);
  EXPECT_EQ(tables.Items(2).Fees().Items(0).FeeSum, Money::Parse("9"));
  // a single table read keeps its table as a whole too
  EXPECT_EQ(ErrorOf([&] { facade->ReadFeeTable(tables.Items(1)); }), kFeeFixedMessage);
  EXPECT_EQ(tables.Items(1).SchemeType(), 2);
  EXPECT_EQ(tables.Items(1).Fees().Count(), 0);
  EXPECT_EQ(CountOf("SMFEESCHEME"), 3);
  EXPECT_EQ(facade->DriverStatus().Text(), "");
}

TEST_F(FacadeParamsE2e, WriteFeesSendsTenRatesWithZerosPastTheList) {
  sim.Update([](sim::TSimState& s) {
    for (auto& rate : s.Fees[4].Rates) rate = sim::TSimFeeRate{999, 1, 9};
  });
  TFeeTables tables;
  TFeeTable& table = tables.Items(4);
  table.SetSchemeType(1);
  TFees& fees = table.Fees();
  fees.Add().SetValues(kFeePercent, Money::Parse("100"), 2.5);
  fees.Add().SetValues(kFeeFixed, Money::Parse("1000"), 30);
  fees.Add().SetValues(kFeePercent, Money::Parse("15000.5"), 0.75);
  facade->WriteFeeTable(table);
  EXPECT_EQ(CountOf("SMFEESCHEME"), 1);
  EXPECT_EQ(CountOf("SMFEE"), 10);
  const auto state = sim.State().Fees[4];
  EXPECT_EQ(state.Scheme, 1);
  const std::vector<std::array<std::int32_t, 3>> expected = {
      {10000, 0, 250}, {100000, 1, 3000}, {1500050, 0, 75}, {0, 0, 0}, {0, 0, 0},
      {0, 0, 0},       {0, 0, 0},         {0, 0, 0},        {0, 0, 0}, {0, 0, 0}};
  for (int i = 0; i < 10; ++i) {
    ASSERT_TRUE(state.Rates[i].has_value()) << i;
    EXPECT_EQ(
        (std::array<std::int32_t, 3>{state.Rates[i]->MaxSum, state.Rates[i]->Type, state.Rates[i]->Value}),
        expected[i])
        << "index " << i + 1;
  }
  EXPECT_EQ(facade->DriverStatus().Text(), "");
}

TEST_F(FacadeParamsE2e, FeeWireUnitsRoundHalvesToEven) {
  TFees fees;
  // the values as a garbled document could hold them, bypassing the model's own rounding
  const std::pair<const char*, double> rates[] = {
      {"10.005", 0.125}, {"10.015", 0.375}, {"10.0051", 1.005}, {"10.0049", 2.675}};
  for (const auto& [sum, value] : rates) {
    TFee& fee = fees.Add();
    fee.FeeSum = Money::Parse(sum);
    fee.FeeValue = value;
  }
  facade->WriteFees(7, fees);
  const auto state = sim.State().Fees[6];
  const std::int32_t sums[] = {1000, 1002, 1001, 1000};
  const std::int32_t values[] = {12, 38, 100, 268};
  for (int i = 0; i < 4; ++i) {
    ASSERT_TRUE(state.Rates[i].has_value());
    EXPECT_EQ(state.Rates[i]->MaxSum, sums[i]) << i;
    EXPECT_EQ(state.Rates[i]->Value, values[i]) << i;
  }

  // a sum beyond the wire's range is refused, not wrapped
  TFees huge;
  huge.Add().FeeSum = Money::Parse("30000000");
  huge.Items(0).FeeValue = 1;
  sim.ClearReceivedLines();
  EXPECT_THROW(facade->WriteFees(1, huge), Exception);
  EXPECT_EQ(CountOf("SMFEE"), 0);
}

// A rate no dialog would let through (a document edited by hand) is named and stops the whole
// write before its first command; before, a value beyond the wire was said to be not above 0.
TEST_F(FacadeParamsE2e, ARateThatBreaksTheRulesSendsNothing) {
  const struct {
    std::int32_t Type;
    const char* Sum;
    double Value;
    std::string Expected;
  } rows[] = {
      {7, "100", 1, "Таблица 4, ставка 2: Неверный тип ставки комиссии, 7. Допустимые значения: 0..1"},
      {kFeePercent, "-5", 1, std::string("Таблица 4, ставка 2: ") + kFeeSumMessage},
      {kFeeFixed, "100", -3, std::string("Таблица 4, ставка 2: ") + kFeeValueMessage},
      {kFeePercent, "100", 1e20, std::string("Таблица 4, ставка 2: ") + kFeeMaxPercentMessage},
      {kFeeFixed, "100", 1e20, std::string("Таблица 4, ставка 2: ") + kFeeFixedMessage},
      {kFeePercent, "30000000", 1,
       "Таблица 4, ставка 2: Сумма комиссии в копейках, 3000000000. Допустимые значения: "
       "-2147483648..2147483647"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Expected);
    TFeeTables tables;
    tables.Items(0).Fees().Add().SetValues(kFeePercent, Money::Parse("10"), 1);
    TFees& fees = tables.Items(3).Fees();
    fees.Add().SetValues(kFeePercent, Money::Parse("10"), 1);
    TFee& bad = fees.Add();
    bad.FeeType = row.Type;
    bad.FeeSum = Money::Parse(row.Sum);
    bad.FeeValue = row.Value;
    sim.ClearReceivedLines();
    EXPECT_EQ(ErrorOf([&] { facade->WriteFeeTables(tables); }), row.Expected);
    EXPECT_EQ(ErrorOf([&] { facade->WriteFeeTable(tables.Items(3)); }), row.Expected);
    EXPECT_EQ(Commands(), std::vector<std::string>{});
  }
}

TEST_F(FacadeParamsE2e, WriteFeeTablesWritesAllTen) {
  TFeeTables tables;
  tables.Items(9).Fees().Add().SetValues(kFeePercent, Money::Parse("50"), 1);
  facade->WriteFeeTables(tables);
  EXPECT_EQ(CountOf("SMFEESCHEME"), 10);
  EXPECT_EQ(CountOf("SMFEE"), 100);
  EXPECT_EQ(sim.State().Fees[9].Rates[0]->MaxSum, 5000);
  EXPECT_EQ(sim.State().Fees[0].Scheme, 0);

  TFeeTables back;
  facade->ReadFeeTables(back);
  for (int i = 0; i < 9; ++i) EXPECT_EQ(back.Items(i).Fees().Count(), 0) << i;
  ASSERT_EQ(back.Items(9).Fees().Count(), 1);
  EXPECT_DOUBLE_EQ(back.Items(9).Fees().Items(0).FeeValue, 1);
}

// ---- data files ----

TEST_F(FacadeParamsE2e, DataFilesTravelUnchanged) {
  std::string xml = "<?xml version=\"1.0\" encoding=\"windows-1251\"?><a>";
  for (int i = 0; i < 300; ++i) xml += static_cast<char>(i % 256);
  xml += "</a>";
  facade->WriteXmlData(xml);
  EXPECT_EQ(sim.State().XmlData, xml);
  EXPECT_EQ(facade->ReadXmlData(), xml);
  const std::string base(512, '\xC0');  // exactly two packets
  facade->WritePhoneBase(base);
  EXPECT_EQ(sim.State().PhoneBase, base);
  EXPECT_EQ(facade->ReadPhoneBase(), base);
  EXPECT_EQ(CountOf("SAVEXML"), 2);
  EXPECT_EQ(CountOf("SAVEPHONEBASE"), 2);
}

}  // namespace
