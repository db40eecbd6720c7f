#include "Money.h"

#include "Errors.h"
#include "TextUtils.h"
#include "WireText.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

#include <fmt/printf.h>

namespace quorvel {

namespace {

enum class Rounding { Exact, HalfEven };

constexpr std::int64_t kMaxExactDouble = std::int64_t{1} << 53;

bool MulAdd(std::int64_t& acc, std::int64_t mul, std::int64_t add) {
  return !__builtin_mul_overflow(acc, mul, &acc) && !__builtin_add_overflow(acc, add, &acc);
}

// Reads a plain decimal number (sign, digits, one optional point) into an integer scaled by
// 10^decimals. Digits beyond the kept places must be zero (Exact) or decide the rounding
// (HalfEven). Returns nullptr on success, else the reason for the message.
const char* ParseScaled(std::string_view text, int decimals, Rounding mode, std::int64_t& out) {
  if (text.empty()) return "пустой текст";
  bool negative = false;
  if (text.front() == '-' || text.front() == '+') {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  std::int64_t acc = 0;
  int kept = 0;         // decimal places taken into acc
  int roundDigit = -1;  // first digit beyond the kept places
  bool sticky = false;  // any non-zero digit after roundDigit
  bool point = false, digits = false;
  for (char c : text) {
    if (c == '.') {
      if (point) return "вторая точка";
      point = true;
      continue;
    }
    if (c == ',') return "разделитель дробной части - точка";
    if (c < '0' || c > '9') return "недопустимый символ";
    const int d = c - '0';
    digits = true;
    if (!point || kept < decimals) {
      if (!MulAdd(acc, 10, d)) return "слишком большое значение";
      if (point) ++kept;
    } else if (mode == Rounding::Exact) {
      if (d != 0) return "больше четырех знаков после точки";
    } else if (roundDigit < 0) {
      roundDigit = d;
    } else if (d != 0) {
      sticky = true;
    }
  }
  if (!digits) return "нет цифр";
  for (; kept < decimals; ++kept)
    if (!MulAdd(acc, 10, 0)) return "слишком большое значение";
  const bool roundUp = roundDigit > 5 || (roundDigit == 5 && (sticky || acc % 2 != 0));
  if (roundUp && !MulAdd(acc, 1, 1)) return "слишком большое значение";
  out = negative ? -acc : acc;
  return nullptr;
}

}  // namespace

Money Money::FromKopecks(std::int64_t kopecks) {
  std::int64_t units = 0;
  if (__builtin_mul_overflow(kopecks, kScale / 100, &units))
    throw EConvertError(fmt::sprintf("%d коп. - слишком большая сумма", kopecks));
  return Money(units);
}

Money Money::Parse(std::string_view text) {
  std::int64_t units = 0;
  const std::string trimmed = Trim(text);
  if (const char* reason = ParseScaled(trimmed, 4, Rounding::Exact, units))
    throw EConvertError(fmt::sprintf("'%s' - неверная денежная сумма: %s", ShortValue(text), reason));
  return Money(units);
}

std::optional<Money> Money::TryParse(std::string_view text) {
  std::int64_t units = 0;
  if (ParseScaled(Trim(text), 4, Rounding::Exact, units)) return std::nullopt;
  return Money(units);
}

std::int64_t Money::ToKopecks() const {
  constexpr std::int64_t kStep = kScale / 100;  // units per kopeck
  std::int64_t q = units_ / kStep;
  const std::int64_t r = units_ % kStep;  // same sign as units_
  const std::int64_t half = kStep / 2;
  if (r > half || (r == half && q % 2 != 0)) ++q;
  if (-r > half || (-r == half && q % 2 != 0)) --q;
  return q;
}

Money Money::RoundedToKopecks() const { return Money(ToKopecks() * (kScale / 100)); }

std::string Money::ToString() const {
  const bool negative = units_ < 0;
  const std::uint64_t magnitude =
      negative ? std::uint64_t{0} - static_cast<std::uint64_t>(units_) : static_cast<std::uint64_t>(units_);
  std::string text = (negative ? "-" : "") + std::to_string(magnitude / kScale);
  std::uint64_t frac = magnitude % kScale;
  if (frac != 0) {
    std::string digits = fmt::sprintf("%04d", frac);
    digits.erase(digits.find_last_not_of('0') + 1);
    text += "." + digits;
  }
  return text;
}

Money operator+(Money a, Money b) {
  std::int64_t r = 0;
  if (__builtin_add_overflow(a.units_, b.units_, &r)) throw EConvertError("Переполнение денежной суммы");
  return Money(r);
}

Money operator-(Money a, Money b) {
  std::int64_t r = 0;
  if (__builtin_sub_overflow(a.units_, b.units_, &r)) throw EConvertError("Переполнение денежной суммы");
  return Money(r);
}

std::optional<std::int64_t> ScaledHalfEven(double value, int decimals) {
  if (!std::isfinite(value) || decimals < 0 || decimals > 9) return std::nullopt;
  // Shortest fixed notation: the digits that read back as this double, never an exponent.
  char buffer[512];
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
  if (ec != std::errc()) return std::nullopt;
  std::int64_t scaled = 0;
  if (ParseScaled(std::string_view(buffer, end - buffer), decimals, Rounding::HalfEven, scaled))
    return std::nullopt;
  return scaled;
}

double RoundToHundredths(double value) {
  const auto scaled = ScaledHalfEven(value, 2);
  if (!scaled || *scaled > kMaxExactDouble || *scaled < -kMaxExactDouble) return value;
  // an exact integer divided by 100 is the double nearest to the decimal result
  return static_cast<double>(*scaled) / 100.0;
}

std::optional<Money> MoneyFromDouble(double value) {
  const auto scaled = ScaledHalfEven(value, 4);
  if (!scaled) return std::nullopt;
  return Money::FromUnits(*scaled);
}

}  // namespace quorvel
