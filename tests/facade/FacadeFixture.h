#pragma once

#include "Cp1251.h"
#include "Errors.h"
#include "Ortenas.h"
#include "SimWireFormat.h"
#include "TerminalSim.h"

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <iostream>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace quorvel::test {

/// Answers questions from a script and keeps every question asked. A question beyond the
/// script is answered No.
class TScriptedPrompt final : public IPrompt {
 public:
  explicit TScriptedPrompt(std::deque<bool> answers = {}) : answers_(std::move(answers)) {}
  bool Confirm(const std::string& question) override {
    Questions.push_back(question);
    if (answers_.empty()) return false;
    const bool answer = answers_.front();
    answers_.pop_front();
    return answer;
  }
  std::vector<std::string> Questions;

 private:
  std::deque<bool> answers_;
};

/// The message of the Exception the action raises; a test failure when it raises none.
inline std::string ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const Exception& e) {
    return e.what();
  }
  ADD_FAILURE() << "no error raised";
  return {};
}

/// A facade attached to a running simulator, with a scripted prompt and a record of every
/// status text. A failed test prints the lines the simulator received.
class FacadeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sim.Start();
    facade = std::make_unique<TOrtena>();
    facade->SetPortName(sim.SlavePath());
    facade->SetPrompt(&prompt);
    facade->DriverStatus().SetOnChange([this](TDriverStatus& status) {
      std::lock_guard lk(statusLock_);
      statusTexts_.push_back(status.Text());
    });
  }

  void TearDown() override {
    facade.reset();
    if (HasFailure()) {
      std::cout << "--- simulator received:\n";
      for (const auto& line : sim.ReceivedLines()) std::cout << Cp1251ToUtf8(line) << "\n";
    }
    sim.Stop();
  }

  /// The names of the commands received so far, in order ("GLOBALOP?", "SMSERV", ...).
  std::vector<std::string> Commands() const {
    std::vector<std::string> names;
    for (const auto& line : sim.ReceivedLines()) {
      sim::TSimCommandLine command;
      if (sim::SplitCommandLine(line, command)) names.push_back(command.Name);
    }
    return names;
  }

  /// How many received commands had that name.
  int CountOf(const std::string& name) const {
    int count = 0;
    for (const auto& n : Commands()) count += n == name;
    return count;
  }

  /// The parameters (UTF-8, sequence number and checksum removed) of every received
  /// sequenced command of that name, in order.
  std::vector<std::vector<std::string>> ArgsOf(const std::string& name) const {
    std::vector<std::vector<std::string>> all;
    for (const auto& line : sim.ReceivedLines()) {
      sim::TSimCommandLine command;
      if (!sim::SplitCommandLine(line, command) || command.Name != name) continue;
      int seq = 0;
      std::vector<sim::TSimArg> args;
      std::vector<std::string> texts;
      if (sim::ParseSequenced(command.Params, seq, args))
        for (const auto& a : args) texts.push_back(Cp1251ToUtf8(a.Text));
      all.push_back(texts);
    }
    return all;
  }

  /// Status texts shown so far.
  std::vector<std::string> StatusTexts() {
    std::lock_guard lk(statusLock_);
    return statusTexts_;
  }

  sim::TTerminalSim sim;
  TScriptedPrompt prompt;
  std::unique_ptr<TOrtena> facade;

 private:
  std::mutex statusLock_;
  std::vector<std::string> statusTexts_;
};

}  // namespace quorvel::test
