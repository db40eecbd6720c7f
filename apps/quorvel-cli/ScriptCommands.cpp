#include "ScriptCommands.h"

#include "CliContext.h"
#include "Errors.h"
#include "FileText.h"
#include "ScriptDef.h"
#include "ScriptText.h"
#include "TextFiles.h"

#include <fmt/printf.h>
#include <CLI/CLI.hpp>

#include <cstdio>
#include <memory>
#include <string_view>

namespace quorvel::cli {

namespace {

constexpr const char* kNoErrors = "Ошибок нет";
constexpr const char* kErrorLine = "[Error] (%d), %s";
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

// An empty script is a script without errors, not an unreadable file.
std::string ReadScriptFile(const std::string& fileName) {
  try {
    return ReadFileText(fileName);
  } catch (const Exception& e) {
    if (std::string_view(e.what()) == kEmptyFileMessage) return {};
    throw;
  }
}

// The checker counts lines by CR, as the script editor keeps them (CR LF). Files written on
// Linux end lines with LF alone; they get CR LF so that the reported lines are right.
std::string ToEditorText(std::string text) {
  if (text.starts_with(kUtf8Bom)) text.erase(0, kUtf8Bom.size());
  return ScriptTextToCrLf(text);
}

}  // namespace

int CheckScriptFile(const std::string& fileName) {
  TScriptDefs defs;
  TScriptDef* def = defs.First();
  bool ok = false;
  std::string text;
  try {
    const std::string bytes = ReadScriptFile(fileName);
    CheckUtf8Text(bytes, fileName);
    text = ToEditorText(bytes);
  } catch (const Exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return kExitError;
  }
  try {
    ok = def->Check(text);
  } catch (const EEncodingError& e) {
    std::fprintf(stderr, "%s: %s\n", fileName.c_str(), e.what());
    return kExitError;
  }
  if (ok) {
    std::puts(kNoErrors);
    return 0;
  }
  for (int i = 0; i < def->Errors().Count(); ++i) {
    const TScriptError* error = def->Errors().Items(i);
    std::puts(fmt::sprintf(kErrorLine, error->Line, error->Message).c_str());
  }
  return 1;
}

void AddScriptCommands(CLI::App& app, TCommandRun& run) {
  CLI::App* script = app.add_subcommand("script", "Input scripts");
  script->require_subcommand(1);
  CLI::App* check = script->add_subcommand(
      "check", "Check a UTF-8 script file; exit status 1 when it has errors or cannot be read");
  auto fileName = std::make_shared<std::string>();
  check->add_option("FILE", *fileName, "the script file")->required();
  check->callback([&run, fileName] { run = [fileName] { return CheckScriptFile(*fileName); }; });
}

}  // namespace quorvel::cli
