// What a terminal gives back against what was written: the same meaning in the terminal's own
// way of saying it passes, a changed value does not.
#include "Absolutplat.h"
#include "Money.h"
#include "Profile.h"
#include "ProfileTransfer.h"

#include <gtest/gtest.h>

#include <functional>

namespace quorvel {
namespace {

void AddRate(TProfile& profile, int table, std::int64_t kopecks, double value) {
  TFee& fee = profile.FeeTables.Items(table).Fees().Add();
  fee.FeeSum = Money::FromKopecks(kopecks);
  fee.FeeValue = value;
}

struct TReadBackCase {
  const char* name;
  TProfileGroup group;
  std::function<void(TProfile&)> written;
  std::function<void(TProfile&)> read;
  bool same;
};

TEST(ReadBack, TheTerminalsWayOfSayingAValueIsNoDifferenceAChangedValueIs) {
  const auto header = [](std::string text) { return [text](TProfile& p) { p.Header = text; }; };
  const auto trailer = [](std::string text) { return [text](TProfile& p) { p.Trailer = text; }; };
  const auto server = [](std::string address, int port) {
    return [address, port](TProfile& p) {
      p.System().ServerParams().Address = address;
      p.System().ServerParams().Port = port;
      p.System().ServerParams().ServerName = "Pay.Ortena.RU";
    };
  };
  const auto sim = [](std::string pin, std::string apn, std::string login) {
    return [pin, apn, login](TProfile& p) {
      TSimCard& card = p.SimCards.FindSlot(1);
      card.Enabled = true;
      card.Pin = pin;
      card.Apn = apn;
      card.Login = login;
    };
  };
  const auto rates = [](std::vector<std::pair<std::int64_t, double>> list) {
    return [list](TProfile& p) {
      for (const auto& [kopecks, value] : list) AddRate(p, 2, kopecks, value);
    };
  };
  const auto ids = [](std::string agent, std::string device) {
    return [agent, device](TProfile& p) {
      p.SetActiveSystem(8);  // Absolutplat
      auto& system = dynamic_cast<TAbsolutplat&>(p.System());
      system.AgentID = agent;
      system.DeviceID = device;
    };
  };
  using G = TProfileGroup;
  const TReadBackCase cases[] = {
      {"lines kept empty after the text", G::Header, header("A\r\nB\r\n"), header("A\r\nB\r\n\r\n\r\n\r\n"),
       true},
      {"an empty line kept between", G::Header, header("A\r\n\r\nC\r\n"), header("A\r\n\r\nC\r\n\r\n"), true},
      {"an empty line ending the read", G::Header, header("A\r\n\r\nC\r\n"), header("A\r\n"), true},
      {"trailing blanks of a line", G::Trailer, trailer("Реклама  \r\n"), trailer("Реклама\r\n"), true},
      {"a line lost between", G::Header, header("A\r\n\r\nC\r\n"), header("A\r\nC\r\n"), false},
      {"a line changed", G::Trailer, trailer("A\r\nB\r\n"), trailer("A\r\nb\r\n"), false},
      {"a line missing at the end", G::Header, header("A\r\nB\r\n"), header("A\r\n"), false},
      {"a host name's case", G::Paysys, server("Pay.Example.RU", 80), server("pay.example.ru ", 80), true},
      {"another host", G::Paysys, server("pay.example.ru", 80), server("pay.example.com", 80), false},
      {"another port", G::Paysys, server("pay.example.ru", 80), server("pay.example.ru", 81), false},
      {"an access point's case, no PIN read", G::Sim, sim("1234", "Internet.MTS.ru", "mts"),
       sim("", "internet.mts.ru", "mts"), true},
      {"a login's case", G::Sim, sim("1234", "internet", "mts"), sim("", "internet", "MTS"), false},
      {"another access point", G::Sim, sim("1234", "internet", "mts"), sim("", "internet2", "mts"), false},
      {"rates in another order", G::Fees, rates({{500000, 3}, {100000, 1.5}}),
       rates({{100000, 1.5}, {500000, 3}}), true},
      {"a rate changed", G::Fees, rates({{100000, 1.5}, {500000, 3}}), rates({{100000, 1.5}, {500000, 4}}),
       false},
      {"ids with a trailing blank", G::Credentials, ids("AGENT", "DEV-1"), ids("AGENT ", "DEV-1"), true},
      {"another device id", G::Credentials, ids("AGENT", "DEV-1"), ids("AGENT", "DEV-2"), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TProfile written;
    c.written(written);
    written.Groups = {c.group};
    TProfile read;
    c.read(read);
    read.Groups = {c.group};
    EXPECT_EQ(ReadBackMatches(written, read, c.group), c.same);
  }
}

}  // namespace
}  // namespace quorvel
