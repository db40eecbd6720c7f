// What the bench programs share: a profile as a service bench takes it, and the host's CPU
// time.
#pragma once

#include "DemoTerminal.h"
#include "OSMP.h"
#include "Ortenas.h"
#include "Profile.h"
#include "ProfileTransfer.h"
#include "Scripts.h"
#include "TerminalSim.h"

#include <sys/resource.h>

#include <string>

namespace quorvel {

inline double CpuSeconds() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

inline std::string ProviderFile(std::size_t size) {
  std::string text = "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\r\n<providers>\r\n";
  for (int i = 0; text.size() < size; ++i)
    text += "  <provider id=\"" + std::to_string(i) + "\" name=\"\xCE\xEF\xE5\xF0\xE0\xF2\xEE\xF0 " +
            std::to_string(i) + "\"/>\r\n";
  text.resize(size);
  return text;
}

// The profile as a bench would take it: read from a terminal in service, three scripts added.
inline std::string MakeProfile() {
  sim::TTerminalSim source;
  source.Update([](sim::TSimState& s) {
    sim::SeedDemoTerminal(s);
    s.ActiveSystem = 4;  // OSMP: credentials a bench sets per terminal
    s.Trailer[0] = "Спасибо за покупку";
    s.XmlData = ProviderFile(64 * 1024);
  });
  source.Start();
  TOrtena facade;
  facade.Driver().SetPortName(source.SlavePath());
  TProfile profile;
  for (TProfileGroup group : {TProfileGroup::Paysys, TProfileGroup::Sim, TProfileGroup::Header,
                              TProfileGroup::Trailer, TProfileGroup::Fees, TProfileGroup::XmlData})
    ReadProfileGroup(facade, profile, group);
  for (int number = 10; number < 13; ++number) {
    TScript& script = profile.System().Scripts().AddNew();
    script.SetNumber(number);
    script.SetName("Ввод " + std::to_string(number));
    std::string text;
    while (text.size() < 900) text += "ACCOUNT = MASKEDIT(0,0,120,20,'9999999999',1);\r\n";
    script.SetText(text);
  }
  profile.Groups.insert(TProfileGroup::Scripts);
  auto& osmp = dynamic_cast<TOSMP&>(profile.System());
  osmp.Login = "bench";
  osmp.Password = "secret";
  profile.Groups.insert(TProfileGroup::Credentials);
  facade.Driver().ClosePort();
  source.Stop();
  return profile.SaveToText();
}

}  // namespace quorvel
