#include "SimCard.h"

namespace quorvel {

TSimCards::TSimCards() {
  AddSlot(1);
  AddSlot(2);
}

TSimCard& TSimCards::AddSlot(std::int32_t number) {
  auto card = std::make_unique<TSimCard>();
  card->SlotNumber = number;
  items_.push_back(std::move(card));
  return *items_.back();
}

TSimCard& TSimCards::FindSlot(std::int32_t number) {
  for (auto& card : items_)
    if (card->SlotNumber == number) return *card;
  return AddSlot(number);
}

}  // namespace quorvel
