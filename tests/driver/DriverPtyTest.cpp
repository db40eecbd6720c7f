#include "DriverFixture.h"

#include "Errors.h"

#include <gtest/gtest.h>

#include <atomic>

using namespace quorvel;
using namespace quorvel::test;

namespace {

std::string SerialReply(const TWireLine& line, const std::string& fields, bool goodCrc) {
  std::string data = SeqData("SMSN", fields);
  if (!goodCrc) data = "+SMSN: " + fields + ",999\r\n";
  return line.Raw + "\r\n" + data + "OK\r\n";
}

}  // namespace

TEST(DriverRetryPty, TimeoutOnEveryAttemptRaisesNoLinkWithTheRetryTexts) {
  DriverOnPty fx;
  ScriptedTerminal terminal(fx.pty, [](const TWireLine&) { return std::string(); });
  fx.driver->SetMaxRetryCount(3);
  fx.Configure("SMSN", true, 100, "Проба");
  try {
    fx.driver->Run();
    FAIL() << "no error";
  } catch (const EDriverError& e) {
    EXPECT_EQ(e.ResultCode(), 1005);
    EXPECT_EQ(std::string(e.what()), kNoLinkText);
  }
  EXPECT_EQ(fx.texts, (std::vector<std::string>{"Проба...", "Проба, retry 2...", "Проба, retry 3..."}));
  auto lines = WaitForLines(terminal, 3);
  ASSERT_EQ(lines.size(), 3u);
  // no reply means no sequence step: every attempt repeats the same line
  for (const auto& line : lines) EXPECT_EQ(line.Raw, "AT+SMSN=1,93");
}

TEST(DriverRetryPty, OneAttemptRaisesAtOnceWithoutRetryText) {
  DriverOnPty fx;
  ScriptedTerminal terminal(fx.pty, [](const TWireLine&) { return std::string(); });
  fx.Configure("SMSN", true, 100, "Проба");
  EXPECT_THROW(fx.driver->Run(), EDriverError);
  EXPECT_EQ(fx.texts, (std::vector<std::string>{"Проба..."}));
  EXPECT_EQ(WaitForLines(terminal, 1).size(), 1u);
}

TEST(DriverRetryPty, BadChecksumThenGoodReplySucceedsWithTheNextSequenceNumber) {
  DriverOnPty fx;
  std::atomic<int> calls{0};
  ScriptedTerminal terminal(fx.pty, [&](const TWireLine& line) {
    return SerialReply(line, "00012345", calls.fetch_add(1) > 0);
  });
  fx.driver->SetMaxRetryCount(2);
  std::string serial;
  EXPECT_EQ(fx.driver->GetSerialNumber(serial), 0);
  EXPECT_EQ(serial, "00012345");
  auto lines = terminal.Lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].SeqNo, 1);
  EXPECT_EQ(lines[1].SeqNo, 2);
  EXPECT_TRUE(lines[0].CrcOk && lines[1].CrcOk);
  EXPECT_EQ(fx.texts.back(), "Запрос серийного номера, retry 2...");
}

TEST(DriverRetryPty, BadChecksumOnEveryAttemptIsReturnedForTheCallersCheck) {
  DriverOnPty fx;
  ScriptedTerminal terminal(fx.pty, [&](const TWireLine& line) { return SerialReply(line, "1", false); });
  fx.driver->SetMaxRetryCount(2);
  std::string serial;
  const int code = fx.driver->GetSerialNumber(serial);
  EXPECT_EQ(code, 1001);
  EXPECT_EQ(terminal.Lines().size(), 2u);
  try {
    fx.driver->CheckResultStrict(code);
    FAIL() << "no error";
  } catch (const EDriverError& e) {
    EXPECT_EQ(e.ResultCode(), 1001);
    EXPECT_STREQ(e.what(), "Неверная CRC принятого кадра");
  }
  EXPECT_THROW(fx.driver->CheckResult(code), EDriverError);
  EXPECT_THROW(fx.driver->CheckData(code), EDriverError);
}

namespace {

// How each check treats one terminal answer; "raise" rows carry the message.
struct CheckRow {
  const char* label;
  std::string reply;  // after the echo
  int code;
  bool lenientRaises;
  int data;  // 1 true, 0 false, -1 raises
  const char* message;
};

}  // namespace

TEST(DriverChecksPty, EachCheckAcceptsOnlyItsCodes) {
  const std::vector<CheckRow> rows = {
      {"ok", SeqData("SMSN", "00000001"), 0, false, 1, ""},
      {"no data", SmError(8), 8, false, 0, "Ortena: Нет запрошенных данных"},
      {"ERROR line", "ERROR\r\n", 1000, false, -1, "Устройство вернуло ошибку: ERROR"},
      {"flash error", SmError(9), 9, true, -1, "Ortena: Ошибка записи во флеш память"},
      {"unknown code", SmError(77), 77, true, -1, "Ortena: неизвестный код ошибки, 77"},
  };
  DriverOnPty fx;
  std::atomic<std::size_t> row{0};
  ScriptedTerminal terminal(fx.pty, [&](const TWireLine& line) { return line.Raw + "\r\n" + rows[row.load()].reply; });
  for (; row.load() < rows.size(); ++row) {
    const CheckRow& r = rows[row.load()];
    SCOPED_TRACE(r.label);
    std::string serial = "unchanged";
    const int code = fx.driver->GetSerialNumber(serial);
    ASSERT_EQ(code, r.code);
    // the serial number is read whatever the result: "нет данных" after 8 and 1000
    if (code == 8 || code == 1000) {
      EXPECT_EQ(serial, "нет данных");
    } else if (code == 0) {
      EXPECT_EQ(serial, "00000001");
    }
    EXPECT_EQ(TModemDriver::Succeeded(code), code == 0);
    if (r.lenientRaises) {
      EXPECT_THROW(fx.driver->CheckResult(code), EDriverError);
    } else {
      EXPECT_NO_THROW(fx.driver->CheckResult(code));
    }
    if (r.data >= 0) {
      EXPECT_EQ(fx.driver->CheckData(code), r.data == 1);
    } else {
      EXPECT_THROW(fx.driver->CheckData(code), EDriverError);
    }
    if (code == 0) {
      EXPECT_NO_THROW(fx.driver->CheckResultStrict(code));
      continue;
    }
    try {
      fx.driver->CheckResultStrict(code);
      ADD_FAILURE() << "strict check passed";
    } catch (const EDriverError& e) {
      EXPECT_EQ(e.ResultCode(), code);
      EXPECT_STREQ(e.what(), r.message);
    }
  }
}

TEST(DriverPortPty, DestroyingADriverWithAnOpenPortClosesIt) {
  DriverOnPty fx;
  ScriptedTerminal terminal(fx.pty, AcceptAll);
  EXPECT_EQ(fx.driver->RestoreBackup(), 0);
  EXPECT_TRUE(fx.driver->Comm().Connected());
  TComm other;
  other.SetPortName(fx.pty.SlavePath());
  EXPECT_THROW(other.Open(), Exception);  // held by the driver
  fx.driver.reset();
  EXPECT_NO_THROW(other.Open());
  EXPECT_TRUE(other.Connected());
  other.Close();
}

TEST(DriverPortPty, PortNumberAndNameCloseThePortWhenChanged) {
  DriverOnPty fx;
  fx.driver->EnsureOpen();
  EXPECT_TRUE(fx.driver->Comm().Connected());
  EXPECT_EQ(fx.driver->PortName(), fx.pty.SlavePath());
  fx.driver->SetPortName(fx.pty.SlavePath());  // same path: stays open
  EXPECT_TRUE(fx.driver->Comm().Connected());
  fx.driver->SetPortNumber(4);
  EXPECT_FALSE(fx.driver->Comm().Connected());
  EXPECT_EQ(fx.driver->PortNumber(), 4);
  EXPECT_EQ(fx.driver->DevicePath(), "/dev/ttyS3");
  EXPECT_THROW(fx.driver->SetPortNumber(0), Exception);
  EXPECT_EQ(fx.driver->PortNumber(), 4);
}

TEST(DriverPortPty, PortGoneMidOperationIsAClearErrorAndNotRetried) {
  DriverOnPty fx;
  ScriptedTerminal terminal(fx.pty, [&](const TWireLine& line) {
    fx.pty.Write(line.Raw + "\r\n");
    fx.pty.CloseMaster();
    return std::string();
  });
  fx.driver->SetMaxRetryCount(3);
  // The long timeout makes sure the lost port ends the exchange, not the clock.
  fx.Configure("SMSTATE", true, 60000, "Запрос состояния модема");
  try {
    fx.driver->Run();
    FAIL() << "no error";
  } catch (const EDriverError& e) {
    EXPECT_EQ(e.ResultCode(), 1005);
    EXPECT_NE(std::string(e.what()).find("потеряна"), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find(fx.pty.SlavePath()), std::string::npos) << e.what();
  }
  EXPECT_EQ(terminal.Lines().size(), 1u);
  EXPECT_EQ(fx.texts, (std::vector<std::string>{"Запрос состояния модема..."}));
  std::string serial;
  EXPECT_THROW(fx.driver->GetSerialNumber(serial), Exception);
}

TEST(DriverPortPty, MissingDeviceGivesThePortsMessage) {
  TModemDriver driver;
  driver.SetPortName("/dev/quorvel-no-such-port");
  std::string serial;
  try {
    driver.GetSerialNumber(serial);
    FAIL() << "no error";
  } catch (const Exception& e) {
    EXPECT_EQ(std::string(e.what()), "Порт /dev/quorvel-no-such-port недоступен: нет такого устройства");
  }
}

TEST(DriverStatusPty, HardwareVersionKeepsThePreviousProgressText) {
  DriverOnPty fx;
  ScriptedTerminal terminal(fx.pty, [](const TWireLine& line) {
    if (line.Name == "WHWV") return line.Raw + "\r\n+WHWV: HW 2.1\r\nOK\r\n";
    return line.Raw + "\r\n" + SeqData("SMSN", "00012345") + "OK\r\n";
  });
  std::string text;
  ASSERT_EQ(fx.driver->GetSerialNumber(text), 0);
  ASSERT_EQ(fx.texts, (std::vector<std::string>{"Запрос серийного номера..."}));
  EXPECT_EQ(fx.driver->GetHardwareVersion(text), 0);
  EXPECT_EQ(text, "HW 2.1");
  EXPECT_EQ(fx.driver->Status().Text(), "Запрос серийного номера...");
  EXPECT_EQ(fx.texts.size(), 1u);  // an equal text is no change
}

TEST(DriverCommandsPty, ClockWaitsForTheFinalOkWhereOtherPlainCommandsDoNot) {
  DriverOnPty fx;
  std::atomic<bool> sendOk{false};
  ScriptedTerminal terminal(fx.pty, [&](const TWireLine& line) {
    const std::string base = line.Name == "CCLK?" ? "CCLK" : line.Name;
    return line.Raw + "\r\n+" + base + ": 26/12/09,06:00:00\r\n" + (sendOk.load() ? "OK\r\n" : "");
  });
  std::string text;
  EXPECT_EQ(fx.driver->GetManufacturer(text), 0);  // complete at the data line
  EXPECT_EQ(text, "26/12/09");                      // the comma splits fields
  try {
    fx.driver->GetDateTime(text);
    ADD_FAILURE() << "completed without OK";
  } catch (const EDriverError& e) {
    EXPECT_EQ(e.ResultCode(), 1005);
  }
  sendOk.store(true);
  EXPECT_EQ(fx.driver->GetDateTime(text), 0);
  EXPECT_EQ(text, "26/12/09");
  EXPECT_EQ(fx.driver->Command().AnswerField(1), "06:00:00");
}
