#include "LowLatency.h"

#include "Pty.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/serial.h>
#include <unistd.h>

#include <cerrno>

using namespace quorvel;

namespace {

// A driver played by the test: the flags it reports, what it answers, what it was told.
struct TFakeDriver {
  int Flags = 0;
  int GetErrno = 0;  // 0: the call succeeds
  int SetErrno = 0;
  int Sets = 0;
  int SetFlags = 0;
};
TFakeDriver fake;

int FakeGet(int, serial_struct* info) {
  if (fake.GetErrno != 0) {
    errno = fake.GetErrno;
    return -1;
  }
  info->flags = fake.Flags;
  info->baud_base = 24000000;
  return 0;
}

int FakeSet(int, const serial_struct* info) {
  ++fake.Sets;
  fake.SetFlags = info->flags;
  if (fake.SetErrno != 0) {
    errno = fake.SetErrno;
    return -1;
  }
  return 0;
}

constexpr TSerialInfoCalls kFake = {&FakeGet, &FakeSet};

}  // namespace

TEST(LowLatency, TheFlagIsAddedToWhatTheDriverReports) {
  const struct {
    const char* What;
    int Flags;
    int GetErrno;
    int SetErrno;
    bool On;
    int Sets;
  } rows[] = {
      {"a USB adapter", ASYNC_SKIP_TEST, 0, 0, true, 1},
      {"already on", ASYNC_LOW_LATENCY, 0, 0, true, 0},
      {"a pty", 0, ENOTTY, 0, false, 0},
      {"no such setting", 0, EINVAL, 0, false, 0},
      {"the driver refuses the change", 0, 0, EPERM, false, 1},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.What);
    fake = {row.Flags, row.GetErrno, row.SetErrno, 0, 0};
    errno = 1234;
    EXPECT_EQ(RequestLowLatency(7, kFake), row.On);
    EXPECT_EQ(errno, 1234) << "errno is kept";
    EXPECT_EQ(fake.Sets, row.Sets);
    if (row.Sets > 0) {
      EXPECT_EQ(fake.SetFlags, row.Flags | ASYNC_LOW_LATENCY) << "the other flags stay";
    }
  }
}

TEST(LowLatency, APtyRefusesSilentlyAndStaysUsable) {
  test::Pty pty;
  const int fd = ::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  EXPECT_FALSE(RequestLowLatency(fd));
  ASSERT_EQ(::write(fd, "ok", 2), 2);
  EXPECT_EQ(pty.Read(2), "ok");
  ::close(fd);
  EXPECT_FALSE(RequestLowLatency(-1)) << "a closed descriptor is a refusal too";
}
