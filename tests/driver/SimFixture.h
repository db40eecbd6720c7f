#pragma once

#include "Cp1251.h"
#include "ModemDriver.h"
#include "TerminalSim.h"

#include <gtest/gtest.h>

#include <iostream>
#include <memory>

namespace quorvel::test {

/// A driver attached to a running simulator. A failed test prints the lines the simulator
/// received, so the transcript of the exchange is kept with the failure.
class SimTest : public ::testing::Test {
 protected:
  SimTest() = default;
  explicit SimTest(sim::TSimOptions options) : sim(std::move(options)) {}

  void SetUp() override {
    sim.Start();
    driver = std::make_unique<TModemDriver>();
    driver->SetPortName(sim.SlavePath());
  }

  void TearDown() override {
    driver.reset();
    if (HasFailure()) {
      std::cout << "--- simulator received:\n";
      for (const auto& line : sim.ReceivedLines()) std::cout << Cp1251ToUtf8(line) << "\n";
    }
    sim.Stop();
  }

  sim::TTerminalSim sim;
  std::unique_ptr<TModemDriver> driver;
};

}  // namespace quorvel::test
