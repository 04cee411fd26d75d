#pragma once
// How text is converted from UTF-16 to a code page without losing a character unnoticed.
// WideCharToMultiByte refuses its best-fit flag and its default-character arguments for some code
// pages, and accepts WC_ERR_INVALID_CHARS only for UTF-8 and GB18030; this module makes that
// choice from the code page's number alone, so that it can be checked on any system.

namespace orv {

// How a conversion finds out that a character has no form in the code page.
enum class LossDetection {
  // WC_NO_BEST_FIT_CHARS with lpUsedDefaultChar: the call reports that it used the default
  // character. Every code page the system takes as its ANSI code page, except UTF-8.
  kUsedDefaultChar,
  // WC_ERR_INVALID_CHARS and no default-character arguments: the call fails on a character it
  // cannot write (for UTF-8, an unpaired surrogate). UTF-8 (65001) and GB18030 (54936).
  kInvalidCharsError,
  // No flags and no default-character arguments, which is all the system accepts for these code
  // pages; converting the result back must give the text again. ISO-2022 (50220 to 50229),
  // HZ-GB2312 (52936), ISCII (57002 to 57011), UTF-7 (65000) and Symbol (42).
  kRoundTrip,
};

// The conversion mode for a code page number (not CP_ACP: the caller resolves that first).
LossDetection LossDetectionFor(unsigned codePage) noexcept;

// Whether WC_NO_BEST_FIT_CHARS may be given for the code page. Only with it does a character
// without an exact form become the default character instead of a look-alike.
inline bool AllowsNoBestFit(LossDetection mode) noexcept {
  return mode == LossDetection::kUsedDefaultChar;
}

}  // namespace orv
