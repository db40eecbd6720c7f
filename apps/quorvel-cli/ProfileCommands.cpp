// The service bench: a profile read from one terminal, written to many.
#include "ProfileCommands.h"

#include "AppDoc.h"
#include "Errors.h"
#include "Ortenas.h"
#include "Profile.h"
#include "ProfileTransfer.h"

#include <fmt/format.h>
#include <CLI/CLI.hpp>

#include <cstdio>
#include <memory>

namespace quorvel::cli {

namespace {

constexpr const char* kGroupSkippedNote = "Группа {} не прочитана: {}\n";

// Result codes that mean the terminal has no such data (8) or does not know the command
// (a plain ERROR, 1000): the group is left out of the profile rather than ending the read.
bool IsMissingData(const EDriverError& e) { return e.ResultCode() == 8 || e.ResultCode() == 1000; }

struct TReadArgs {
  std::string File;
  std::string Groups;
};

void AddProfileRead(CLI::App& command, TCommandRun& run, const TGlobalOptions& options) {
  CLI::App* read = command.add_subcommand("read", "Read the terminal's settings into the profile FILE");
  auto args = std::make_shared<TReadArgs>();
  read->add_option("FILE", args->File, "profile file (XML, the configuration document's schema)")->required();
  read->add_option(
      "--groups", args->Groups,
      "comma-separated groups: paysys,sim,header,trailer,fees,scripts,xmldata,phonebase (default: all)");
  SetContextRun(*read, run, options, [args](TCliContext& c) {
    const TProfileGroups groups = ParseProfileGroups(args->Groups);
    TProfile profile;
    profile.SetActiveSystem(c.Facade().ReadActiveSystem());
    // The terminal cannot list its scripts: the document's list of the system names them.
    if (TPaymentSystem* known = c.Doc().PaymentSystems().FindBySystemID(profile.ActiveSystem()))
      CopyScriptList(known->Scripts(), profile.System().Scripts());
    for (TProfileGroup group : AllProfileGroups()) {
      if (groups.count(group) == 0) continue;
      try {
        ReadProfileGroup(c.Facade(), profile, group);
      } catch (const EDriverError& e) {
        if (!IsMissingData(e)) throw;
        std::fputs(fmt::format(kGroupSkippedNote, ProfileGroupName(group), e.what()).c_str(), stderr);
      }
    }
    if (profile.Groups.empty()) throw Exception("Ни одна группа настроек не прочитана");
    profile.SaveToFile(args->File);
  });
}

}  // namespace

void AddProfileCommands(CLI::App& app, TCommandRun& run, TGlobalOptions& options) {
  CLI::App* profile = app.add_subcommand("profile", "Profiles: the settings of a whole terminal in one file");
  profile->require_subcommand(1);
  AddProfileRead(*profile, run, options);
}

}  // namespace quorvel::cli
