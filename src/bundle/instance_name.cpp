#include "bundle/instance_name.h"

#include <cstdint>

namespace orv {
namespace {

constexpr std::string_view kNamePrefix = "Local\\Orvandimex-";
constexpr std::uint64_t kFnvOffsetBasis = 0xcbf29ce484222325ULL;
constexpr std::uint64_t kFnvPrime = 0x100000001b3ULL;
constexpr int kHexDigits = 16;
constexpr int kBitsPerByte = 8;
constexpr int kBitsPerDigit = 4;
constexpr std::uint64_t kByteMask = 0xFF;
constexpr std::uint64_t kDigitMask = 0xF;

}  // namespace

std::string InstanceName(std::u16string_view upperCaseFolder) {
  std::uint64_t hash = kFnvOffsetBasis;
  const auto mix = [&hash](std::uint64_t byte) {
    hash ^= byte;
    hash *= kFnvPrime;
  };
  for (const char16_t unit : upperCaseFolder) {
    mix(unit & kByteMask);
    mix(static_cast<std::uint64_t>(unit) >> kBitsPerByte);
  }
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string name(kNamePrefix);
  for (int digit = kHexDigits - 1; digit >= 0; --digit)
    name += kDigits[(hash >> (digit * kBitsPerDigit)) & kDigitMask];
  return name;
}

}  // namespace orv
