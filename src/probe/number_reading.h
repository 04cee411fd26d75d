#pragma once
// Lenient reading of numbers typed into text boxes: leading blanks are skipped, the number at the
// start of the text is taken (optional sign, digits, an optional "." and fraction, an optional
// exponent) up to the first character that does not fit, and a text with no number reads as 0.
// Conversion to an integer rounds half-way values to the even neighbour.
//
// Each reader returns nothing when the value does not fit its target type (an overflow); the
// caller decides how to report it.

#include <cstdint>
#include <optional>
#include <string_view>

namespace orv {

// The leading number as a double; nothing when it lies beyond the range of a double.
std::optional<double> ReadNumber(std::string_view text);

// The leading number rounded to the nearest integer, ties to even; nothing when the rounded value
// lies outside the target type.
std::optional<int32_t> ReadInt32(std::string_view text);
std::optional<int16_t> ReadInt16(std::string_view text);

}  // namespace orv
