#include "platform/code_page_conversion.h"

namespace orv {
namespace {

constexpr unsigned kUtf8 = 65001;
constexpr unsigned kGb18030 = 54936;

constexpr unsigned kUtf7 = 65000;
constexpr unsigned kSymbol = 42;
constexpr unsigned kHzGb2312 = 52936;
// ISO-2022 Japanese and Korean, and ISO-2022 Simplified and Traditional Chinese.
constexpr unsigned kIso2022[] = {50220, 50221, 50222, 50225, 50227, 50229};
// ISCII: the Indian scripts.
constexpr unsigned kIsciiFirst = 57002;
constexpr unsigned kIsciiLast = 57011;

}  // namespace

LossDetection LossDetectionFor(unsigned codePage) noexcept {
  if (codePage == kUtf8 || codePage == kGb18030)
    return LossDetection::kInvalidCharsError;
  if (codePage == kUtf7 || codePage == kSymbol || codePage == kHzGb2312 ||
      (codePage >= kIsciiFirst && codePage <= kIsciiLast)) {
    return LossDetection::kRoundTrip;
  }
  for (const unsigned iso2022 : kIso2022) {
    if (codePage == iso2022)
      return LossDetection::kRoundTrip;
  }
  return LossDetection::kUsedDefaultChar;
}

}  // namespace orv
