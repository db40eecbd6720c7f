#include "SimFaults.h"

namespace quorvel::sim {

void TSimFaults::Arm(const std::string& command, const TSimFault& fault) {
  armed_[command].push_back(fault);
}

void TSimFaults::SetRandom(const std::optional<TSimRandomFaults>& random) {
  random_ = random;
  if (random_) rng_.seed(random_->Seed);
}

void TSimFaults::Clear() {
  armed_.clear();
  random_.reset();
}

std::uint32_t TSimFaults::Next(std::uint32_t bound) {
  if (bound == 0) return 0;
  return std::uniform_int_distribution<std::uint32_t>(0, bound - 1)(rng_);
}

// A fault with Count 0 never runs out; any other is erased when its count is used up.
static bool UseOnce(TSimFault& fault) {
  if (fault.Count == 0) return false;
  return --fault.Count <= 0;
}

void TSimFaults::TakeArmed(std::vector<TSimFault>& list, TSimFaultHit& hit) {
  for (auto it = list.begin(); it != list.end();) {
    bool fired = false;
    switch (it->Kind) {
      case TSimFaultKind::Error:
      case TSimFaultKind::SmError:
      case TSimFaultKind::Silence:
        if (!hit.Outcome) {
          hit.Outcome = it->Kind;
          hit.Code = it->Code;
          fired = true;
        }
        break;
      case TSimFaultKind::Split:
        hit.Split = true;
        fired = true;
        break;
      case TSimFaultKind::Delay:
        hit.DelayMs += it->DelayMs;
        fired = true;
        break;
      case TSimFaultKind::BadChecksum:
        break;
    }
    it = (fired && UseOnce(*it)) ? list.erase(it) : it + 1;
  }
}

void TSimFaults::TakeRandom(TSimFaultHit& hit) {
  if (!random_ || random_->Kinds.empty()) return;
  const double draw = std::uniform_real_distribution<double>(0.0, 1.0)(rng_);
  if (draw >= random_->Probability) return;
  const auto kind = random_->Kinds[Next(static_cast<std::uint32_t>(random_->Kinds.size()))];
  switch (kind) {
    case TSimFaultKind::Error:
    case TSimFaultKind::SmError:
    case TSimFaultKind::Silence:
      if (!hit.Outcome) {
        hit.Outcome = kind;
        hit.Code = random_->SmErrorCode;
      }
      break;
    case TSimFaultKind::BadChecksum:
      hit.BadChecksum = true;
      break;
    case TSimFaultKind::Split:
      hit.Split = true;
      break;
    case TSimFaultKind::Delay:
      hit.DelayMs += static_cast<int>(Next(static_cast<std::uint32_t>(random_->MaxDelayMs) + 1));
      break;
  }
}

TSimFaultHit TSimFaults::Take(const std::string& command) {
  TSimFaultHit hit;
  if (auto it = armed_.find(command); it != armed_.end()) TakeArmed(it->second, hit);
  if (auto it = armed_.find("*"); it != armed_.end()) TakeArmed(it->second, hit);
  TakeRandom(hit);
  return hit;
}

bool TSimFaults::TakeBadChecksum(const std::string& command) {
  for (const std::string& key : {command, std::string("*")}) {
    auto found = armed_.find(key);
    if (found == armed_.end()) continue;
    auto& list = found->second;
    for (auto it = list.begin(); it != list.end(); ++it) {
      if (it->Kind != TSimFaultKind::BadChecksum) continue;
      if (UseOnce(*it)) list.erase(it);
      return true;
    }
  }
  return false;
}

}  // namespace quorvel::sim
