#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace quorvel::sim {

/// What a fault does to one command's reply.
enum class TSimFaultKind {
  Error,        ///< echo, then ERROR; the command is not carried out
  SmError,      ///< echo, then +SMERROR with TSimFault::Code; not carried out
  BadChecksum,  ///< carried out; the first reply line with a checksum gets a wrong one
  Silence,      ///< no reply at all; the command is not carried out (the line was lost)
  Split,        ///< the reply goes out in chunks cut at random bytes, with short gaps
  Delay,        ///< the reply waits TSimFault::DelayMs before its first byte
};

/// One armed fault. Count is how many commands it hits (0: every one, for ever).
/// A BadChecksum fault counts only replies that carry a checksum.
struct TSimFault {
  TSimFaultKind Kind = TSimFaultKind::Error;
  std::int32_t Code = 2;    ///< SmError: the code sent
  int Count = 1;
  int DelayMs = 0;          ///< Delay: milliseconds
};

/// Faults hitting commands at random: each command is hit with the probability by one kind
/// drawn from Kinds (SmError with SmErrorCode, Delay up to MaxDelayMs, Silence once).
/// The same seed and the same commands give the same faults.
struct TSimRandomFaults {
  std::uint32_t Seed = 1;
  double Probability = 0.1;
  std::vector<TSimFaultKind> Kinds = {TSimFaultKind::Error, TSimFaultKind::BadChecksum,
                                      TSimFaultKind::Silence, TSimFaultKind::Split,
                                      TSimFaultKind::Delay};
  std::int32_t SmErrorCode = 2;
  int MaxDelayMs = 300;
};

/// The faults that hit one command, decided by TSimFaults::Take.
struct TSimFaultHit {
  std::optional<TSimFaultKind> Outcome;  ///< Error, SmError or Silence; unset: carried out
  std::int32_t Code = 0;                 ///< SmError code
  bool BadChecksum = false;
  bool Split = false;
  int DelayMs = 0;
};

/// The armed faults of a simulator. Not thread-safe: the simulator guards it.
class TSimFaults {
 public:
  /// Arms a fault for a command name as it stands on the wire without "AT+" (SMHEADER,
  /// CCLK?); "*" hits every command. Faults of one name fire in arming order.
  void Arm(const std::string& command, const TSimFault& fault);
  /// Turns random faults on (or off with nullopt), reseeding the generator.
  void SetRandom(const std::optional<TSimRandomFaults>& random);
  /// Restarts the generator from a seed.
  void Reseed(std::uint32_t seed) { rng_.seed(seed); }
  /// Disarms every fault, random ones included.
  void Clear();
  /// Disarms the faults armed for commands; random ones stay.
  void DisarmCommands() { armed_.clear(); }

  /// Decides the faults for one command before it is carried out and uses up their
  /// counts; armed BadChecksum faults are left for TakeBadChecksum.
  TSimFaultHit Take(const std::string& command);
  /// For a reply that carries a checksum: true when an armed BadChecksum fault hits it
  /// (using up one of its count).
  bool TakeBadChecksum(const std::string& command);

  /// Random numbers for the split points and noise lines, from the same seeded generator.
  std::uint32_t Next(std::uint32_t bound);

 private:
  void TakeArmed(std::vector<TSimFault>& list, TSimFaultHit& hit);
  void TakeRandom(TSimFaultHit& hit);

  std::map<std::string, std::vector<TSimFault>> armed_;
  std::optional<TSimRandomFaults> random_;
  std::mt19937 rng_{1};
};

}  // namespace quorvel::sim
