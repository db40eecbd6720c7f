// The factory number a simulator reports by default: the terminal's 15 digits, and never the
// same for two processes that run at once.
#include "FactoryNumber.h"

#include <gtest/gtest.h>

#include <set>

#include "Errors.h"

namespace quorvel::sim {
namespace {

TEST(FactoryNumber, ProcessesRunningAtOnceGetNumbersOfTheirOwnInTheTerminalsForm) {
  std::set<std::string> numbers;
  // Neighbouring pids, pids far apart and the largest a Linux system hands out, at one moment.
  const std::int64_t pids[] = {1, 2, 99, 100, 1000, 1001, 65536, 4194303, 4194304};
  for (std::int64_t pid : pids) {
    const std::string number = UniqueFactoryNumber(pid, 1765370000);
    EXPECT_EQ(number.size(), kFactoryNumberDigits) << number;
    EXPECT_TRUE(IsFactoryNumber(number)) << number;
    numbers.insert(number);
  }
  EXPECT_EQ(numbers.size(), std::size(pids));
  // A pid used again later is told apart by the clock.
  EXPECT_NE(UniqueFactoryNumber(4242, 1765370000), UniqueFactoryNumber(4242, 1765370001));
}

TEST(FactoryNumber, OnlyDigitsUpToFifteenAreANumber) {
  const struct {
    const char* text;
    bool ok;
  } cases[] = {
      {"354360000012345", true},
      {"1", true},
      {"", false},
      {"3543600000123456", false},
      {"35436000001234a", false},
      {" 354360000012345", false},
      {"-12", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsFactoryNumber(c.text), c.ok) << c.text;
}

// The terminal that replaces one on a bench has the next number, in the same form.
TEST(FactoryNumber, TheNextNumberCarriesKeepsItsWidthAndWrapsAtFifteenDigits) {
  const struct {
    const char* number;
    const char* next;
  } cases[] = {
      {"354360000012345", "354360000012346"},
      {"354360000012349", "354360000012350"},
      {"354369999999999", "354370000000000"},  // the carry crosses every digit but the first
      {"000000000000000", "000000000000001"},  // leading zeros are digits of the number
      {"0099", "0100"},
      {"0", "1"},
      {"9", "10"},
      {"99999999999999", "100000000000000"},   // fourteen nines: one more digit still fits
      {"999999999999999", "000000000000000"},  // fifteen: the count starts over
  };
  for (const auto& c : cases) {
    const std::string next = NextFactoryNumber(c.number);
    EXPECT_EQ(next, c.next) << c.number;
    EXPECT_TRUE(IsFactoryNumber(next)) << c.number;
  }
}

TEST(FactoryNumber, NoNextNumberAfterATextThatIsNoNumber) {
  for (const char* wrong : {"", "35436000001234a", "3543600000123456", "-1"}) {
    EXPECT_THROW(NextFactoryNumber(wrong), quorvel::Exception) << wrong;
  }
}

}  // namespace
}  // namespace quorvel::sim
