#include "SimCardEntry.h"

#include "Ortenas.h"
#include "SimCard.h"
#include "TextUtils.h"

#include <fmt/printf.h>

namespace quorvel {

void CheckSimEntry(const TSimEntry& entry) {
  if (entry.Pin.empty())
    throw ESimEntryError(fmt::sprintf("%s %d.", kSimPinRequiredMessage, kSimEntrySlot), TSimEntryField::Pin);
  // Characters, not bytes: a Cyrillic letter is one character the user sees.
  if (Utf8Length(entry.Pin) != 4) throw ESimEntryError(kSimPinMessage, TSimEntryField::Pin);
  if (entry.Apn.empty())
    throw ESimEntryError(fmt::sprintf("%s %d.", kSimApnEmptyMessage, kSimEntrySlot), TSimEntryField::Apn);
}

void ApplySimEntry(TSimCards& cards, const TSimEntry& entry) {
  TSimCard& first = cards.FindSlot(kSimEntrySlot);
  first.Enabled = true;
  first.Priority = true;
  first.Pin = entry.Pin;
  first.Apn = entry.Apn;
  first.Login = entry.Login;
  first.Password = entry.Password;
  cards.FindSlot(kSimEntrySlot + 1).Enabled = false;
}

}  // namespace quorvel
