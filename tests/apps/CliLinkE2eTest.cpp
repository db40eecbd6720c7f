// quorvel-cli against a terminal whose replies go wrong on the line: a reply with a wrong
// checksum is retried, and a reply that comes after its command was given up is not taken
// for the next command's.
#include "CliFixture.h"

namespace {

using quorvel::sim::TSimFault;
using quorvel::sim::TSimFaultKind;
using quorvel::sim::TSimState;

class CliLink : public quorvel::test::CliTest {};

TEST_F(CliLink, AReplyWithAWrongChecksumIsRetriedAndFailsWhenNoAttemptIsLeft) {
  sim.ArmFault("SMSN", TSimFault{TSimFaultKind::BadChecksum, 0, 1, 0});
  auto r = Cli("--retries 2 serial read");
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(r.Out, "00012345\n");
  EXPECT_EQ(CountOf("SMSN="), 2);

  sim.ClearReceivedLines();
  sim.ArmFault("SMSN", TSimFault{TSimFaultKind::BadChecksum, 0, 1, 0});
  r = Cli("--retries 1 serial read");
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(r.Out, "");
  EXPECT_NE(r.Err.find("Неверная CRC принятого кадра"), std::string::npos) << r.Err;
  EXPECT_EQ(CountOf("SMSN="), 1);
}

TEST_F(CliLink, AnAnswerToAGivenUpAttemptIsNotTakenForTheNextLine) {
  sim.Update([](TSimState& s) {
    for (int i = 0; i < 10; ++i) s.Header[static_cast<std::size_t>(i)] = "Строка " + std::to_string(i + 1);
  });
  // Line 1 and its retry each answer 2.5 s late (the simulator answers in order): the retry
  // is taken by the first answer, line 2 times out and is retried, and the retry's answer
  // to line 1 arrives while line 2's second attempt waits.
  sim.ArmFault("SMHEADER", TSimFault{TSimFaultKind::Delay, 0, 2, 2500});
  const auto r = Cli("--retries 2 header read");
  EXPECT_EQ(r.Status, 0) << r.Err;
  std::string expected;
  for (int i = 1; i <= 10; ++i) expected += "Строка " + std::to_string(i) + "\n";
  EXPECT_EQ(r.Out, expected);
  EXPECT_EQ(CountOf("SMHEADER="), 12) << "lines 1 and 2 twice, then each line once";
}

}  // namespace
