#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace quorvel {

/// One SIM card slot of the terminal. The limits (PIN of four digits, access point 1..50
/// characters, login and password at most 20) are checked when the card is written to the
/// terminal, not here.
/// Threads: model objects are used by one thread at a time.
class TSimCard {
 public:
  TSimCard() = default;
  TSimCard(const TSimCard&) = delete;
  TSimCard& operator=(const TSimCard&) = delete;

  /// The SIM card's PIN code.
  std::string Pin;
  /// The terminal's slot, 1 or 2 (0 for a card not yet numbered).
  std::int32_t SlotNumber = 0;
  /// Access point name for GPRS.
  std::string Apn;
  /// User name for the access point.
  std::string Login;
  /// Password for the access point.
  std::string Password;
  /// The slot is in use.
  bool Enabled = false;
  /// The slot is the preferred one.
  bool Priority = false;
};

/// The terminal's SIM card slots, owned, in creation order.
/// Threads: model objects are used by one thread at a time.
class TSimCards {
 public:
  /// Two cards, slot numbers 1 and 2, in that order.
  TSimCards();
  TSimCards(const TSimCards&) = delete;
  TSimCards& operator=(const TSimCards&) = delete;

  int Count() const { return static_cast<int>(items_.size()); }
  /// The card at position index (std::out_of_range for a position outside 0..Count-1).
  TSimCard& Items(int index) const { return *items_.at(static_cast<std::size_t>(index)); }

  /// Appends a new card with that slot number and returns it.
  TSimCard& AddSlot(std::int32_t number);
  /// The first card with that slot number; when there is none, a new card with that number
  /// is appended and returned.
  TSimCard& FindSlot(std::int32_t number);

 private:
  std::vector<std::unique_ptr<TSimCard>> items_;
};

}  // namespace quorvel
