#pragma once

#include "Errors.h"

#include <cstdint>
#include <string>

namespace quorvel {

class TSimCards;

/// Start of the message for an empty PIN; the slot number and a full stop follow.
inline constexpr const char* kSimPinRequiredMessage = "Необходимо ввести PIN-код SIM-карты";
/// The slot that the user edits; the other slot is only ever switched off.
inline constexpr std::int32_t kSimEntrySlot = 1;

/// The SIM card values as the user typed them for slot 1.
struct TSimEntry {
  std::string Pin;
  std::string Apn;
  std::string Login;
  std::string Password;
};

/// The field a SIM card entry was refused for.
enum class TSimEntryField {
  Pin,
  Apn,
};

/// An entry refused before anything is sent; Field names the control to select and focus.
class ESimEntryError : public Exception {
 public:
  ESimEntryError(const std::string& message, TSimEntryField field) : Exception(message), field_(field) {}
  TSimEntryField Field() const noexcept { return field_; }

 private:
  TSimEntryField field_;
};

/// The entry's own rules, in this order: an empty PIN raises "Необходимо ввести PIN-код
/// SIM-карты 1.", a PIN that is not four characters long kSimPinMessage, an empty access point
/// "Не введено имя точки доступа SIM-карты 1.". Raises ESimEntryError naming the field. The
/// remaining limits (digits, lengths, the wire's characters) are the facade's, when writing.
void CheckSimEntry(const TSimEntry& entry);

/// Puts the entry into cards: slot 1 in use and preferred with the four values; slot 2 off
/// (its other values stay). Missing slots are created.
void ApplySimEntry(TSimCards& cards, const TSimEntry& entry);

}  // namespace quorvel
