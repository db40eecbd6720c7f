#pragma once

// quorvel-cli run as the real program against a simulated terminal on a pty of the test
// process, with a fresh program folder (--home) per test.

#include "AppDoc.h"
#include "Cp1251.h"
#include "SimWireFormat.h"
#include "TempDir.h"
#include "TerminalSim.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace quorvel::test {

/// What one run of the program left.
struct TCliResult {
  int Status = -1;
  std::string Out;
  std::string Err;
};

class CliTest : public ::testing::Test {
 protected:
  /// The simulator is made with options (a test that watches the lines it receives).
  explicit CliTest(sim::TSimOptions options = {}) : sim(std::move(options)) {}

  void SetUp() override {
#ifndef QUORVEL_CLI_PATH
    GTEST_SKIP() << "quorvel-cli is not built in this configuration";
#endif
    sim.Start();
  }

  void TearDown() override {
    if (HasFailure()) {
      std::cout << "--- simulator received:\n";
      for (const auto& line : sim.ReceivedLines()) std::cout << Cp1251ToUtf8(line) << "\n";
    }
    sim.Stop();
  }

  /// A shell word holding text as it is.
  static std::string Quote(const std::string& text) {
    std::string out = "'";
    for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
  }

  /// The built program's path; empty when it is not built (the test is skipped then).
  static std::string CliPath() {
#ifdef QUORVEL_CLI_PATH
    return QUORVEL_CLI_PATH;
#else
    return {};
#endif
  }

  /// Runs "quorvel-cli --home <dir> --port <simulator> <args>" with stdin from input.
  TCliResult Cli(const std::string& args, const std::string& input = "/dev/null") {
    return CliRaw("--port " + Quote(sim.SlavePath()) + " " + args, input);
  }

  /// Runs "quorvel-cli --home <dir> <args>".
  TCliResult CliRaw(const std::string& args, const std::string& input = "/dev/null") {
    TCliResult result;
    const std::string errFile = dir.File("stderr.txt");
#ifdef QUORVEL_CLI_PATH
    result.Out = RunCommand(Quote(QUORVEL_CLI_PATH) + " --home " + Quote(dir.Path()) + " " + args + " < " +
                                Quote(input) + " 2> " + Quote(errFile),
                            &result.Status);
#endif
    result.Err = ReadFile(errFile);
    return result;
  }

  std::string WriteFile(const std::string& name, const std::string& bytes) {
    const std::string path = dir.File(name);
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }

  static std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  /// The configuration document the program left in its folder.
  std::unique_ptr<TAppDoc> Document() const { return std::make_unique<TAppDoc>(dir.File(kAppDocFileName)); }

  /// The names of the commands the simulator received since the last ClearReceivedLines, in
  /// order ("SMSN", "GLOBALOP?", ...).
  std::vector<std::string> Commands() const {
    std::vector<std::string> names;
    for (const auto& line : sim.ReceivedLines()) {
      sim::TSimCommandLine command;
      if (sim::SplitCommandLine(line, command))
        names.push_back(command.Name + (command.HasParams ? "=" : ""));
    }
    return names;
  }

  /// How many of the received commands have this name ("SMSN=" counts the write forms).
  int CountOf(const std::string& name) const {
    int count = 0;
    for (const auto& n : Commands()) count += n == name;
    return count;
  }

  TempDir dir;
  sim::TTerminalSim sim;
};

}  // namespace quorvel::test
