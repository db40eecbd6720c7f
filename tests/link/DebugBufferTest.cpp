#include "DebugBuffer.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

namespace quorvel {
namespace {

TEST(DebugBuffer, KeepsTheNewestCharactersUpToTheCap) {
  TDebugBuffer buffer;
  const std::string head(TDebugBuffer::kDebugBufferSize - 3, 'a');
  buffer.Append(head);
  buffer.Append("bcdef");  // five more: the first two 'a' fall out
  std::string text;
  ASSERT_TRUE(buffer.Take(text));
  EXPECT_EQ(text.size(), TDebugBuffer::kDebugBufferSize);
  EXPECT_EQ(text.substr(text.size() - 5), "bcdef");
  EXPECT_EQ(text.substr(0, 3), "aaa");

  // One chunk larger than the cap keeps only its own tail.
  std::string big(TDebugBuffer::kDebugBufferSize + 10, 'x');
  big.back() = 'z';
  buffer.Append(big);
  ASSERT_TRUE(buffer.Take(text));
  EXPECT_EQ(text.size(), TDebugBuffer::kDebugBufferSize);
  EXPECT_EQ(text.back(), 'z');
}

TEST(DebugBuffer, TakeReportsChangesOnceAndSkipsALoneCrOrBackspace) {
  TDebugBuffer buffer;
  std::string text = "untouched";
  EXPECT_FALSE(buffer.Take(text));
  buffer.Append("\r");
  EXPECT_FALSE(buffer.Take(text));
  EXPECT_EQ(text, "untouched");
  buffer.Clear();
  buffer.Append("\b");
  EXPECT_FALSE(buffer.Take(text));
  buffer.Append("OK\r\n");
  ASSERT_TRUE(buffer.Take(text));
  EXPECT_EQ(text, "\bOK\r\n");
  EXPECT_FALSE(buffer.Take(text)) << "nothing new since the last take";
  buffer.Clear();
  EXPECT_EQ(buffer.Size(), 0u);
  EXPECT_FALSE(buffer.Take(text));
}

TEST(DebugBuffer, AppendsFromAnotherThreadStayWhole) {
  TDebugBuffer buffer;
  std::thread writer([&] {
    for (int i = 0; i < 2000; ++i) buffer.Append("0123456789");
  });
  std::string text;
  for (int i = 0; i < 200; ++i) buffer.Take(text);
  writer.join();
  buffer.Append("0123456789");
  ASSERT_TRUE(buffer.Take(text));
  ASSERT_EQ(text.size(), 20010u);
  for (std::size_t i = 0; i < text.size(); ++i) ASSERT_EQ(text[i], static_cast<char>('0' + i % 10)) << i;
}

}  // namespace
}  // namespace quorvel
