#include "probe/number_reading.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace orv {
namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// The extent of the leading number, already split into its parts so that an out-of-range result
// can be told apart: overflow (a huge magnitude) or underflow (a tiny one, which reads as 0).
struct NumberText {
  bool negative = false;
  std::string mantissa;  // digits with an optional ".", no sign, never empty when found
  std::string exponent;  // "e" followed by an optional sign and digits, or empty
  bool allZero = true;   // every digit of the mantissa is 0
  // Decimal place of the first non-zero mantissa digit relative to the point, before the exponent
  // is applied: 1 for "5", 2 for "12.3", 0 for "0.5", -1 for "0.05".
  int64_t leadingPlace = 0;
  int64_t exponentValue = 0;  // saturated far beyond any double's range
};

std::optional<NumberText> ScanNumber(std::string_view text) {
  size_t at = 0;
  while (at < text.size() && IsBlank(text[at]))
    ++at;
  NumberText number;
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
    number.negative = text[at] == '-';
    ++at;
  }
  size_t digits = 0;
  int64_t integerDigits = 0;  // significant integer digits (after leading zeros)
  int64_t fractionZeros = 0;  // zeros after the point before the first non-zero digit
  bool seenPoint = false;
  for (; at < text.size(); ++at) {
    const char c = text[at];
    if (IsDigit(c)) {
      ++digits;
      number.mantissa += c;
      if (c != '0')
        number.allZero = false;
      if (!seenPoint && !number.allZero)
        ++integerDigits;
      if (seenPoint && number.allZero)
        ++fractionZeros;
    } else if (c == '.' && !seenPoint) {
      seenPoint = true;
      number.mantissa += c;
    } else {
      break;
    }
  }
  if (digits == 0)
    return std::nullopt;
  number.leadingPlace = integerDigits > 0 ? integerDigits : -fractionZeros;

  // An exponent counts only when at least one digit follows the "e" and its sign.
  if (at < text.size() && (text[at] == 'e' || text[at] == 'E')) {
    size_t e = at + 1;
    bool negativeExponent = false;
    if (e < text.size() && (text[e] == '+' || text[e] == '-')) {
      negativeExponent = text[e] == '-';
      ++e;
    }
    if (e < text.size() && IsDigit(text[e])) {
      number.exponent = "e";
      if (negativeExponent)
        number.exponent += '-';
      int64_t value = 0;
      for (; e < text.size() && IsDigit(text[e]); ++e) {
        number.exponent += text[e];
        value = std::min<int64_t>(value * 10 + (text[e] - '0'), int64_t{1} << 40);
      }
      number.exponentValue = negativeExponent ? -value : value;
    }
  }
  return number;
}

template <typename Integer>
std::optional<Integer> ReadInteger(std::string_view text) {
  const std::optional<double> value = ReadNumber(text);
  if (!value)
    return std::nullopt;
  // The default floating-point rounding mode rounds half-way cases to even.
  const double rounded = std::nearbyint(*value);
  if (rounded < static_cast<double>(std::numeric_limits<Integer>::min()) ||
      rounded > static_cast<double>(std::numeric_limits<Integer>::max())) {
    return std::nullopt;
  }
  return static_cast<Integer>(rounded);
}

}  // namespace

std::optional<double> ReadNumber(std::string_view text) {
  const std::optional<NumberText> number = ScanNumber(text);
  if (!number)
    return 0.0;
  if (number->allZero)
    return 0.0;
  // from_chars reads the digits in the "C" manner whatever the process locale.
  const std::string digits = number->mantissa + number->exponent;
  double value = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value,
                                            std::chars_format::general);
  if (error == std::errc::result_out_of_range) {
    if (number->leadingPlace + number->exponentValue > 0)
      return std::nullopt;  // too large for a double
    value = 0.0;            // too small: reads as zero
  } else if (error != std::errc() || end != digits.data() + digits.size()) {
    return 0.0;  // cannot happen for the text built above
  }
  return number->negative ? -value : value;
}

std::optional<int32_t> ReadInt32(std::string_view text) {
  return ReadInteger<int32_t>(text);
}

std::optional<int16_t> ReadInt16(std::string_view text) {
  return ReadInteger<int16_t>(text);
}

}  // namespace orv
