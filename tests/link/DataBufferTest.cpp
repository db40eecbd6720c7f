#include "DataBuffer.h"

#include <gtest/gtest.h>

#include <thread>

using namespace quorvel;

TEST(DataBuffer, BytesComeOutInOrderAndClearEmpties) {
  TDataBuffer buf;
  unsigned char b = 0;
  EXPECT_FALSE(buf.ReadByte(b));
  buf.Append(std::string("\x01\xFF", 2));
  buf.Append("");
  buf.Append("z");
  EXPECT_EQ(buf.Size(), 3u);
  ASSERT_TRUE(buf.ReadByte(b));
  EXPECT_EQ(b, 0x01);
  ASSERT_TRUE(buf.WaitByte(b, 0));  // a queued byte comes at once, even with timeout 0
  EXPECT_EQ(b, 0xFF);
  buf.Clear();
  EXPECT_FALSE(buf.ReadByte(b));
  EXPECT_FALSE(buf.WaitByte(b, 0));
}

TEST(DataBuffer, WaitByteTimesOutOnAnEmptyBufferAndWakesOnAppend) {
  TDataBuffer buf;
  unsigned char b = 0;
  EXPECT_FALSE(buf.WaitByte(b, 20));

  std::thread producer([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    buf.Append("Q");
  });
  // generous bound: the byte arrives long before it
  EXPECT_TRUE(buf.WaitByte(b, 10000));
  EXPECT_EQ(b, 'Q');
  producer.join();
}

TEST(DataBuffer, ConcurrentProducerAndConsumerLoseNothing) {
  TDataBuffer buf;
  constexpr int kBytes = 20000;
  std::thread producer([&] {
    for (int i = 0; i < kBytes; ++i) buf.Append(std::string(1, static_cast<char>(i & 0xFF)));
  });
  int received = 0;
  unsigned char b = 0;
  while (received < kBytes && buf.WaitByte(b, 5000)) {
    ASSERT_EQ(b, received & 0xFF);
    ++received;
  }
  producer.join();
  EXPECT_EQ(received, kBytes);
}

TEST(DataBuffer, AnInterruptedBufferHandsOutWhatItHoldsThenNoLongerWaits) {
  TDataBuffer buf;
  buf.Append("A");
  unsigned char b = 0;
  std::thread reader([&] {
    ASSERT_TRUE(buf.WaitByte(b, 10000));
    // The port is gone: a reader waiting with the longest timeout a caller may give must
    // not sit it out (it would hang this test far beyond the suite's limit otherwise).
    EXPECT_FALSE(buf.WaitByte(b, 24 * 3600 * 1000));
  });
  buf.Interrupt();
  reader.join();
  EXPECT_EQ(b, 'A');
  buf.Clear();
  EXPECT_FALSE(buf.WaitByte(b, 24 * 3600 * 1000)) << "Clear does not undo it";
}
