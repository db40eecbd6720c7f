// WaitResult and Fail across threads (run these under TSan too: preset tsan).
#include "Command.h"

#include "CommandTestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using namespace quorvel;

namespace {

void Configure(TCommand& c, std::int32_t timeoutMs) {
  c.Reset();
  c.SetName("SMSTATE");
  c.SetSequenced(true);
  c.SetTimeout(timeoutMs);
  c.Prepare();
}

}  // namespace

TEST(CommandWait, NoReplyGives1005AfterTheTimeout) {
  TCommand c;
  Configure(c, 50);
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(c.WaitResult(), 1005);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(50));
  EXPECT_EQ(c.ResultCode(), 1005);
  EXPECT_EQ(c.ResultText(),
            "Нет связи с устройством.\r\nТерминал не подключен или находится в неверном режиме.\r\n"
            "Перезапустите терминал, переведите его в режим связи с ПК и повторите операцию.");
  EXPECT_FALSE(c.Done());
}

TEST(CommandWait, CompleteExchangeReturnsItsResult) {
  TCommand c;
  Configure(c, 50);
  c.Feed("ERROR\r\n");
  EXPECT_EQ(c.WaitResult(), 1000);
  EXPECT_EQ(c.ResultText(), "Устройство вернуло ошибку: ERROR");
}

TEST(CommandWait, WakesWhenFeedCompletesOnAnotherThread) {
  TCommand c;
  Configure(c, 60000);  // a wake-up that never came would show as 1005 after a minute
  const std::string reply =
      c.CommandLine() + "\r\n" + quorvel::test::DataLine("SMSTATE", "1,0,5,") + "\r\nOK\r\n";
  std::thread receiver([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    for (char ch : reply) c.Feed(std::string_view(&ch, 1));
  });
  EXPECT_EQ(c.WaitResult(), 0);
  // Done is published last: the fields are complete when the waiter wakes
  EXPECT_EQ(c.AnswerField(2), "5");
  EXPECT_EQ(c.SeqNo(), 2);
  receiver.join();
}

TEST(CommandWait, FailEndsAWaitingExchange) {
  TCommand c;
  Configure(c, 60000);
  std::thread receiver([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    c.Fail(1005, "Связь с устройством потеряна");
  });
  EXPECT_EQ(c.WaitResult(), 1005);
  EXPECT_EQ(c.ResultText(), "Связь с устройством потеряна");
  EXPECT_TRUE(c.Done());
  receiver.join();
  // later lines change nothing; the next Prepare opens a fresh exchange
  c.Feed(c.CommandLine() + "\r\nERROR\r\n");
  EXPECT_EQ(c.ResultCode(), 1005);
  c.Prepare();
  EXPECT_FALSE(c.Done());
  EXPECT_EQ(c.ResultCode(), 0);
}

TEST(CommandWait, FailAfterDoneOrTimeoutChangesNothing) {
  TCommand c;
  Configure(c, 1);
  c.Feed("ERROR\r\n");
  c.Fail(1005, "lost");
  EXPECT_EQ(c.WaitResult(), 1000);
  Configure(c, 1);
  EXPECT_EQ(c.WaitResult(), 1005);
  c.Fail(1234, "lost");
  EXPECT_EQ(c.ResultCode(), 1005);
  EXPECT_EQ(c.ResultText(), kNoLinkText);
}

TEST(CommandWait, FailBeforeWaitResultReturnsAtOnce) {
  TCommand c;
  Configure(c, 60000);
  c.Fail(1005, "lost");
  EXPECT_EQ(c.WaitResult(), 1005);
  EXPECT_EQ(c.ResultText(), "lost");
}

TEST(CommandWait, ManyExchangesAgainstAFeedingThread) {
  // The receiving thread feeds replies while the caller prepares, waits and reads; the
  // sequence number runs on and every exchange gets its own answer.
  TCommand c;
  for (int i = 1; i <= 200; ++i) {
    c.Reset();
    c.SetName("SMHEADER");
    c.SetSequenced(true);
    c.Params().AppendInt(i);
    c.SetTimeout(60000);
    c.Prepare();
    const std::string text = std::to_string(i) + ",\"line " + std::to_string(i) + "\",";
    const std::string reply =
        c.CommandLine() + "\r\n" + quorvel::test::DataLine("SMHEADER", text) + "\r\nOK\r\n";
    std::thread receiver([&] {
      for (std::size_t k = 0; k < reply.size(); k += 5) c.Feed(std::string_view(reply).substr(k, 5));
    });
    ASSERT_EQ(c.WaitResult(), 0) << i;
    EXPECT_EQ(c.AnswerField(1), "line " + std::to_string(i));
    receiver.join();
  }
  EXPECT_EQ(c.SeqNo(), 200 % 99 + 1);
}
