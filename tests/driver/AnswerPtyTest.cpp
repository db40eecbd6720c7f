#include "Cp1251.h"
#include "DriverFixture.h"
#include "Errors.h"
#include "TextUtils.h"

#include <gtest/gtest.h>

#include <mutex>

using namespace quorvel;
using namespace quorvel::test;

namespace {

// The terminal answers every line with the echo and whatever the test set last.
class CannedTerminal {
 public:
  explicit CannedTerminal(Pty& pty)
      : terminal_(pty, [this](const TWireLine& line) {
          std::lock_guard lock(lock_);
          return line.Raw + "\r\n" + body_;
        }) {}
  void Set(std::string body) {
    std::lock_guard lock(lock_);
    body_ = std::move(body);
  }
  /// A sequenced data line of the base name with these fields (windows-1251 for UTF-8 given).
  void SetData(const std::string& base, const std::string& utf8Fields) { Set(SeqData(base, Utf8ToCp1251(utf8Fields)) + "OK\r\n"); }

 private:
  std::mutex lock_;
  std::string body_;
  ScriptedTerminal terminal_;
};

struct StateRow {
  const char* label;
  std::string fields;  // "" = ERROR line
  bool valid;
  int modemState;
  bool hasVoltage;
  double voltage;
  std::string voltageText;
  std::string queued;
};

}  // namespace

TEST(AnswerPty, DeviceStateFieldsAndVoltage) {
  const std::vector<StateRow> rows = {
      {"full answer", "1,23,5,195,126", true, 1, true, 12.6, "12.6", "5"},
      {"no voltage field: the checksum is not one", "1,23,5,195", true, 1, false, 0, "caller", "5"},
      {"empty voltage field, bad state", "x,23,5,195,", false, 0, false, 0, "caller", "5"},
      {"voltage not a number", "2,23,0,200,abc", true, 2, true, 0, "caller", "0"},
      {"zero voltage", "0,0,,,0", true, 0, true, 0, "0.0", ""},
      {"ERROR", "", false, 0, false, 0, "нет данных", "caller"},
  };
  DriverOnPty fx;
  CannedTerminal terminal(fx.pty);
  for (const StateRow& row : rows) {
    SCOPED_TRACE(row.label);
    if (row.fields.empty()) {
      terminal.Set("ERROR\r\n");
    } else {
      terminal.SetData("SMSTATE", row.fields);
    }
    TDeviceStateRec state;
    state.ModemStateValid = true;
    state.HasVoltage = true;
    state.VoltageText = "caller";
    state.QueuedPayments = "caller";
    const int code = fx.driver->GetDeviceState(state);
    EXPECT_EQ(code, row.fields.empty() ? 1000 : 0);
    EXPECT_EQ(state.ModemStateValid, row.valid);
    if (code == 0) {
      EXPECT_EQ(state.ModemState, row.modemState);
    }
    EXPECT_EQ(state.HasVoltage, row.hasVoltage);
    EXPECT_DOUBLE_EQ(state.Voltage, row.voltage);
    EXPECT_EQ(state.VoltageText, row.voltageText);
    EXPECT_EQ(state.QueuedPayments, row.queued);
  }
  EXPECT_EQ(fx.driver->Command().Timeout(), 1000);
}

TEST(AnswerPty, SimCardReadCutsLongTextsAndNeedsBothFlags) {
  DriverOnPty fx;
  CannedTerminal terminal(fx.pty);
  const std::string apn60 = std::string(40, 'a') + "абвгдежзийклмнопрст";  // 59 characters + 1 below
  terminal.SetData("SMSIMSETUP", "2,1,\"" + apn60 + "у\",\"логин-длиннее-двадцати-знаков\",\"пароль, с запятой\",0");
  TSimCardRec card;
  card.SlotNumber = 2;
  card.Pin = "1234";
  ASSERT_EQ(fx.driver->GetSimCard(card), 0);
  EXPECT_TRUE(card.Enabled);
  EXPECT_FALSE(card.Priority);
  EXPECT_EQ(card.Apn, std::string(40, 'a') + "абвгдежзий");
  EXPECT_EQ(Utf8Length(card.Apn), 50u);
  EXPECT_EQ(card.Login, "логин-длиннее-двадца");
  EXPECT_EQ(card.Password, "пароль, с запятой");
  EXPECT_EQ(card.Pin, "1234");

  // a missing priority field is an error, not the checksum read as a flag
  terminal.SetData("SMSIMSETUP", "2,1,apn,login,pw");
  try {
    fx.driver->GetSimCard(card);
    ADD_FAILURE() << "no error";
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "Неверный индекс параметра, 6");
  }

  // no data: everything the terminal returns is cleared, the PIN stays
  card.Apn = "old";
  card.Enabled = card.Priority = true;
  terminal.Set(SmError(8));
  EXPECT_EQ(fx.driver->GetSimCard(card), 8);
  EXPECT_EQ(card.Apn, "");
  EXPECT_FALSE(card.Enabled || card.Priority);
  EXPECT_EQ(card.Pin, "1234");
}

TEST(AnswerPty, NumbersWithTheirDefaultsAndConversionErrors) {
  DriverOnPty fx;
  CannedTerminal terminal(fx.pty);
  int id = 99;
  terminal.Set("+GLOBALOP: abc\r\nOK\r\n");
  EXPECT_EQ(fx.driver->GetPaymentSystem(id), 0);
  EXPECT_EQ(id, -1);
  terminal.Set("+GLOBALOP: 12\r\nOK\r\n");
  EXPECT_EQ(fx.driver->GetPaymentSystem(id), 0);
  EXPECT_EQ(id, 12);
  terminal.Set("ERROR\r\n");
  EXPECT_EQ(fx.driver->GetPaymentSystem(id), 1000);
  EXPECT_EQ(id, 12);  // only read after 0

  int count = 5;
  terminal.Set("+SMTRYCOUNT: many\r\nOK\r\n");
  EXPECT_EQ(fx.driver->GetTryCount(count), 0);
  EXPECT_EQ(count, 0);

  int sum = 1, type = 2, value = 3;
  terminal.SetData("SMFEE", "1,2,100000,1,-150");
  EXPECT_EQ(fx.driver->GetFee(1, 2, sum, type, value), 0);
  EXPECT_EQ(sum, 100000);
  EXPECT_EQ(type, 1);
  EXPECT_EQ(value, -150);
  terminal.SetData("SMFEE", "1,2,1x,1,150");
  EXPECT_THROW(fx.driver->GetFee(1, 2, sum, type, value), EConvertError);
  EXPECT_EQ(sum, 100000);  // a bad answer changes nothing
  terminal.SetData("SMFEE", "1,2,100");
  EXPECT_THROW(fx.driver->GetFee(1, 2, sum, type, value), Exception);

  int scheme = -7;
  terminal.SetData("SMFEESCHEME", "3,2");
  EXPECT_EQ(fx.driver->GetFeeScheme(3, scheme), 0);
  EXPECT_EQ(scheme, 2);
  terminal.Set(SmError(8));
  EXPECT_EQ(fx.driver->GetFeeScheme(3, scheme), 8);
  EXPECT_EQ(scheme, 2);
}

TEST(AnswerPty, TextsReadBackAsUtf8) {
  DriverOnPty fx;
  CannedTerminal terminal(fx.pty);
  std::string text;
  terminal.SetData("SMHEADER", "3,\"Касса №1, зал\"");
  EXPECT_EQ(fx.driver->GetHeaderLine(3, text), 0);
  EXPECT_EQ(text, "Касса №1, зал");

  // the server name is taken although its checksum does not add up
  terminal.Set(Utf8ToCp1251("+SMSERVERNAME: \"Сервер\",17\r\nOK\r\n"));
  EXPECT_EQ(fx.driver->GetServerName(text), 0);
  EXPECT_EQ(text, "Сервер");
  // with the checksum tested the same answer fails
  terminal.Set(Utf8ToCp1251("+SMSERV: \"Сервер\",17\r\nOK\r\n"));
  std::string port;
  EXPECT_EQ(fx.driver->GetServer(text, port), 1001);

  terminal.SetData("SMSERV", "\"pay.example.ru\",8443");
  EXPECT_EQ(fx.driver->GetServer(text, port), 0);
  EXPECT_EQ(text, "pay.example.ru");
  EXPECT_EQ(port, "8443");
  terminal.Set(SmError(8));
  EXPECT_EQ(fx.driver->GetServer(text, port), 8);
  EXPECT_EQ(text, "нет данных");
  EXPECT_EQ(port, "нет данных");

  terminal.SetData("SMSPB", "\"агент 7\"");
  EXPECT_EQ(fx.driver->GetAgentId(TAgentSystem::UbsPay, text), 0);
  EXPECT_EQ(text, "агент 7");
}

TEST(AnswerPty, DataPacketIsCutToItsByteCountAndAShortOneIsAnError) {
  DriverOnPty fx;
  CannedTerminal terminal(fx.pty);
  std::string bytes;
  terminal.SetData("LOADXML", "4,3,x,41424344");
  EXPECT_EQ(fx.driver->LoadDataPacket(TDataFile::Xml, 4, bytes), 0);
  EXPECT_EQ(bytes, "ABC");
  terminal.SetData("LOADXML", "4,3,x,4142");
  EXPECT_THROW(fx.driver->LoadDataPacket(TDataFile::Xml, 4, bytes), Exception);
  terminal.SetData("LOADXML", "4,-1,x,4142");
  EXPECT_THROW(fx.driver->LoadDataPacket(TDataFile::Xml, 4, bytes), Exception);
  terminal.SetData("LOADPHONEBASE", "4,three,x,414243");
  EXPECT_THROW(fx.driver->LoadDataPacket(TDataFile::PhoneBase, 4, bytes), EConvertError);
  EXPECT_EQ(bytes, "ABC");
}
