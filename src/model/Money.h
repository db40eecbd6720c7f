#pragma once

#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quorvel {

/// An amount of money in rubles, held exactly as a count of ten-thousandths of a ruble
/// (four decimal places). No floating point is involved in parsing, formatting or
/// arithmetic. The text form always uses "." as the decimal separator.
/// Threads: a value type; copies may be used on any thread.
class Money {
 public:
  /// Ten-thousandths per ruble.
  static constexpr std::int64_t kScale = 10000;

  /// Zero rubles.
  constexpr Money() = default;

  /// The amount of exactly `units` ten-thousandths of a ruble.
  static constexpr Money FromUnits(std::int64_t units) { return Money(units); }

  /// The amount of `kopecks` hundredths of a ruble. Raises EConvertError when the amount does
  /// not fit the range of Money.
  static Money FromKopecks(std::int64_t kopecks);

  /// Parses a decimal text: optional blanks around, an optional sign, digits with at most one
  /// "." among or after them (".5" and "5." are accepted), no exponent, no group separators.
  /// Digits after the fourth decimal place must be zeros, so the result is always exact.
  /// Raises EConvertError naming the text and the reason otherwise (also on overflow).
  static Money Parse(std::string_view text);

  /// As Parse, without raising: nullopt for a text Parse refuses.
  static std::optional<Money> TryParse(std::string_view text);

  /// Count of ten-thousandths.
  constexpr std::int64_t Units() const { return units_; }

  /// The amount in kopecks, rounded to the nearest kopeck with halves to even
  /// (10.005 -> 1000, 10.015 -> 1002, -10.005 -> -1000).
  std::int64_t ToKopecks() const;

  /// The amount rounded to whole kopecks (halves to even), as Money.
  Money RoundedToKopecks() const;

  /// Shortest decimal text: no trailing zeros after the point, no point for whole rubles,
  /// "-" for negative amounts ("1000", "1.5", "0.0001", "-2.25", "0").
  std::string ToString() const;

  friend constexpr auto operator<=>(Money a, Money b) = default;

  /// Sum and difference; raise EConvertError on overflow instead of wrapping.
  friend Money operator+(Money a, Money b);
  friend Money operator-(Money a, Money b);

 private:
  constexpr explicit Money(std::int64_t units) : units_(units) {}

  std::int64_t units_ = 0;
};

/// Rounds a double-precision number to `decimals` decimal places (0..9) with halves to even
/// and returns the result scaled by 10^decimals, or nullopt when the value is not finite or
/// the result does not fit 64 bits. The number is taken at its shortest decimal form (the
/// digits a person typed: 1.005 is a half, although the nearest double lies below it), so
/// ScaledHalfEven(0.125, 2) == 12 and ScaledHalfEven(0.375, 2) == 38.
std::optional<std::int64_t> ScaledHalfEven(double value, int decimals);

/// The value rounded to two decimal places with halves to even (as ScaledHalfEven); a value
/// that is not finite or too large for that is returned unchanged.
double RoundToHundredths(double value);

/// The value at four decimal places as Money (halves to even, as ScaledHalfEven), or
/// nullopt when it is not finite or outside the range of Money.
std::optional<Money> MoneyFromDouble(double value);

}  // namespace quorvel
