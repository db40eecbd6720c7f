#include "Errors.h"
#include "ModemDriver.h"
#include "NotifyThread.h"
#include "Version.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>

using namespace quorvel;

TEST(ScriptStrip, CommentsAndLineBreaks) {
  struct Row {
    const char* label;
    std::string in;
    std::string out;
  };
  const std::vector<Row> rows = {
      {"line breaks go everywhere", "A\r\nB\rC\nD", "ABCD"},
      {"comment to the end of the line", "X=1 // set x\r\nY=2", "X=1 Y=2"},
      {"comment at the very end", "X=1//", "X=1"},
      {"single slash kept", "A/B", "A/B"},
      {"slashes in quotes start a comment too", "URL \"http://x\"\nZ", "URL \"http:Z"},
      {"three slashes", "A///B\nC", "AC"},
      {"comment ends at CR alone", "A//x\rB", "AB"},
      {"slashes inside a comment change nothing", "A// b // c\nD", "AD"},
      {"empty", "", ""},
      {"8-bit text untouched", "\xCF\xF0\xE8\xE2\xE5\xF2 \xFF", "\xCF\xF0\xE8\xE2\xE5\xF2 \xFF"},
      {"slash before a line break then slash", "A/\n/B", "A//B"},
  };
  for (const Row& row : rows) EXPECT_EQ(StripScriptText(row.in), row.out) << row.label;
}

TEST(DriverBase64, StandardVectors) {
  const std::vector<std::pair<std::string, std::string>> rows = {
      {"", ""},         {"f", "Zg=="},         {"fo", "Zm8="},         {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"},
      {std::string("\x00\x00", 2), "AAA="}, {"\xFF\xFE\xFD", "//79"},  {"\xFB\xEF", "++8="},
  };
  for (const auto& [in, out] : rows) EXPECT_EQ(DriverBase64(in), out) << out;
}

TEST(DriverStatus, OnlyAChangedTextIsReported) {
  TDriverStatus status;
  std::vector<std::string> seen;
  status.SetText("silent");  // no handler yet: stored, nobody told
  EXPECT_EQ(status.Text(), "silent");
  status.SetOnChange([&](TDriverStatus& s) { seen.push_back(s.Text()); });
  status.SetText("a");
  status.SetText("a");
  status.SetText("");
  status.SetText("b");
  EXPECT_EQ(seen, (std::vector<std::string>{"a", "", "b"}));
}

TEST(DriverCore, MaxRetryCountRange) {
  TModemDriver driver;
  EXPECT_EQ(driver.MaxRetryCount(), 1);
  for (int bad : {0, 6, -1}) {
    try {
      driver.SetMaxRetryCount(bad);
      ADD_FAILURE() << bad << " accepted";
    } catch (const Exception& e) {
      EXPECT_EQ(std::string(e.what()),
                "MaxRetryCount, " + std::to_string(bad) + ". Допустимые значения: 1..5");
    }
    EXPECT_EQ(driver.MaxRetryCount(), 1);
  }
  for (int good : {5, 1, 3, 3}) {
    driver.SetMaxRetryCount(good);
    EXPECT_EQ(driver.MaxRetryCount(), good);
  }
}

TEST(DriverCore, ConstructionWiresTheChain) {
  TModemDriver driver;
  EXPECT_EQ(driver.Ports().Count(), 2u);  // the spare client and the command driver's
  EXPECT_FALSE(driver.Comm().Connected());
  EXPECT_EQ(&driver.Ports().Port(), &driver.Comm());
  EXPECT_EQ(&driver.Command(), &driver.CommandDriver().Command());
  EXPECT_NE(static_cast<ISerialPort*>(&driver.SparePort()), static_cast<ISerialPort*>(&driver.CommandDriver().Client()));
  EXPECT_EQ(driver.Command().SeqNo(), 1);
  EXPECT_NO_THROW(driver.ClosePort());  // closing a closed port is nothing
}

TEST(DriverCore, ChecksWithoutACommandUseTheCodesOwnText) {
  TModemDriver driver;
  try {
    driver.CheckResultStrict(12);
    ADD_FAILURE() << "no error";
  } catch (const EDriverError& e) {
    EXPECT_EQ(e.ResultCode(), 12);
    EXPECT_STREQ(e.what(), "Ortena: Нет доступной памяти");
  }
  EXPECT_TRUE(driver.CheckData(0));
  EXPECT_NO_THROW(driver.CheckResult(8));
  EXPECT_THROW(RaiseDriverError("x", -3), EDriverError);
}

TEST(DriverCore, FileVersionTextHasFourParts) {
  const std::string expected = std::to_string(kVersionMajor) + "." + std::to_string(kVersionMinor) + "." +
                               std::to_string(kVersionPatch) + "." + std::to_string(kVersionTweak);
  EXPECT_EQ(FileVersionText(), expected);
  EXPECT_EQ(std::count(expected.begin(), expected.end(), '.'), 3);
}

TEST(NotifyThread, RunsTheWorkThenTheEndNotification) {
  std::atomic<int> order{0};
  int executeAt = -1, terminateAt = -1;
  std::thread::id worker;
  {
    TNotifyThread thread;
    thread.SetOnExecute([&](TNotifyThread&) {
      worker = std::this_thread::get_id();
      executeAt = order++;
    });
    thread.SetOnTerminate([&](TNotifyThread&) { terminateAt = order++; });
    EXPECT_FALSE(thread.Finished());  // created suspended
    thread.Start();
    EXPECT_THROW(thread.Start(), std::logic_error);
  }  // destruction waits for the end
  EXPECT_EQ(executeAt, 0);
  EXPECT_EQ(terminateAt, 1);
  EXPECT_NE(worker, std::this_thread::get_id());
}

TEST(NotifyThread, AnErrorOfTheWorkIsKeptAndTheEndStillReported) {
  TNotifyThread thread;
  std::atomic<bool> ended{false};
  thread.SetOnExecute([](TNotifyThread&) { throw EDriverError("сбой", 1005); });
  thread.SetOnTerminate([&](TNotifyThread&) { ended = true; });
  thread.Start();
  thread.WaitFor();
  EXPECT_TRUE(thread.Finished());
  EXPECT_TRUE(ended.load());
  ASSERT_TRUE(thread.FatalException());
  try {
    std::rethrow_exception(thread.FatalException());
  } catch (const EDriverError& e) {
    EXPECT_EQ(e.ResultCode(), 1005);
  }
}

TEST(NotifyThread, TerminateIsSeenByTheWork) {
  TNotifyThread thread;
  std::atomic<bool> go{false};
  std::atomic<bool> sawStop{false};
  thread.SetOnExecute([&](TNotifyThread& self) {
    while (!go.load()) std::this_thread::yield();
    sawStop = self.Terminated();
  });
  thread.Start();
  thread.Terminate();
  go = true;
  thread.WaitFor();
  EXPECT_TRUE(sawStop.load());
  TNotifyThread never;  // never started: destruction must not block
  EXPECT_FALSE(never.Finished());
}
