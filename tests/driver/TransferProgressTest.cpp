// Steps of a transfer as the command line and the pages count them from the status texts,
// and the listeners that let a page follow them beside the status line.
#include "DriverStatus.h"
#include "ModemDriver.h"
#include "TransferProgress.h"

#include <fmt/printf.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace quorvel;

TEST(TransferProgress, CountsNewTextsButNotRetriesEmptyTextsOrTextsOutsideATransfer) {
  TTransferProgress progress;
  EXPECT_FALSE(progress.OnStatus("Чтение серийного номера...")) << "closed: nothing counts";
  progress.Begin(3);
  struct Row {
    std::string text;
    bool changed;
    int step;
    int done;
  };
  const std::string first = "Запись данных XML файла, пакет 0";
  const Row rows[] = {
      {first + "...", true, 1, 0},
      {fmt::sprintf(kRetryFmt, first, 2), true, 1, 0},
      {"", false, 1, 0},
      {"Запись данных XML файла, пакет 1...", true, 2, 1},
      {"Запись данных XML файла, пакет 2...", true, 3, 2},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(progress.OnStatus(row.text), row.changed) << row.text;
    EXPECT_EQ(progress.Snapshot().Step, row.step) << row.text;
    EXPECT_EQ(progress.Snapshot().Done, row.done) << row.text;
  }
  TTransferProgress::TSnapshot s = progress.Snapshot();
  EXPECT_EQ(s.Total, 3);
  EXPECT_EQ(s.Text, "Запись данных XML файла, пакет 2");
  progress.End();
  EXPECT_FALSE(progress.OnStatus("Запись данных XML файла, пакет 3..."));
  s = progress.Snapshot();
  EXPECT_FALSE(s.Open);
  EXPECT_EQ(s.Step, 3) << "the counts stay readable after the end";
  EXPECT_EQ(s.Done, 2) << "a transfer cut short did not finish its last step";
  progress.Complete();
  EXPECT_EQ(progress.Snapshot().Done, 3);

  progress.Begin(-5);
  s = progress.Snapshot();
  EXPECT_EQ(s.Step, 0);
  EXPECT_EQ(s.Total, 0) << "an unknown total";
}

TEST(TransferProgress, PacketsOfADataFileMatchWhatTheDriverSends) {
  EXPECT_EQ(DataFilePackets(0), 1) << "an empty file is one empty packet";
  EXPECT_EQ(DataFilePackets(kDataPacketSize), 1);
  EXPECT_EQ(DataFilePackets(kDataPacketSize + 1), 2);
  EXPECT_EQ(DataFilePackets(600), 3);
  EXPECT_EQ(DataFilePackets(64 * 1024), 256);
}

TEST(DriverStatusListeners, EachListenerHearsEveryChangeAfterTheHandlerUntilRemoved) {
  TDriverStatus status;
  std::vector<std::string> heard;
  status.SetOnChange([&](TDriverStatus& s) { heard.push_back("line:" + s.Text()); });
  const int a = status.AddListener([&](TDriverStatus& s) { heard.push_back("a:" + s.Text()); });
  const int b = status.AddListener([&](TDriverStatus& s) { heard.push_back("b:" + s.Text()); });
  EXPECT_NE(a, b);
  status.SetText("x");
  status.SetText("x");  // unchanged: nobody is called
  status.RemoveListener(a);
  status.SetText("y");
  status.RemoveListener(12345);
  status.RemoveListener(b);
  status.SetText("z");
  const std::vector<std::string> expected = {"line:x", "a:x", "b:x", "line:y", "b:y", "line:z"};
  EXPECT_EQ(heard, expected);
}
