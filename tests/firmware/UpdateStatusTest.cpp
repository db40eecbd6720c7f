#include "ISPWriter.h"

#include <gtest/gtest.h>

#include <thread>

using namespace quorvel;

TEST(UpdateStatus, FlagsFollowTheRunAndEveryChangeIsReported) {
  TUpdateStatus status;
  int changes = 0;
  status.SetOnChange([&] { ++changes; });
  TUpdateStatus::TSnapshot s = status.Snapshot();
  EXPECT_FALSE(s.Running || s.Done || s.Failed);
  status.BeginWork();
  s = status.Snapshot();
  EXPECT_TRUE(s.Running);
  EXPECT_FALSE(s.Done);
  status.Fail("плохо");
  s = status.Snapshot();
  EXPECT_TRUE(s.Failed && s.Done && !s.Running);
  EXPECT_EQ(s.Text, "плохо");
  status.BeginWork();
  s = status.Snapshot();
  EXPECT_TRUE(s.Running && !s.Failed && !s.Done) << "a new run starts clean";
  status.Succeed("хорошо");
  s = status.Snapshot();
  EXPECT_TRUE(s.Done && !s.Failed && !s.Running);
  EXPECT_EQ(changes, 4);
}

TEST(UpdateStatus, StartResetsTheCountersAndBytesNeedTimeToPass) {
  TUpdateStatus status;
  status.Start(3);
  status.Step();
  status.Step();
  TUpdateStatus::TSnapshot s = status.Snapshot();
  EXPECT_EQ(s.Max, 3);
  EXPECT_EQ(s.Position, 2);
  // Bytes only count once a millisecond has passed since Start, so the rate never divides by 0.
  std::this_thread::sleep_for(std::chrono::milliseconds(5));
  status.AddBytes(1024);
  s = status.Snapshot();
  EXPECT_EQ(s.Bytes, 1024);
  EXPECT_GT(s.Rate, 0);
  EXPECT_LE(s.Rate, 1024 * 1000 / 5);
  status.Start(7);
  s = status.Snapshot();
  EXPECT_EQ(s.Position, 0);
  EXPECT_EQ(s.Bytes, 0);
  EXPECT_EQ(s.Rate, 0);
  EXPECT_EQ(s.Max, 7);
}
