// The conversion modes asked of the system itself: for every code page it has, the flags that
// the mode chooses are accepted, and a character that the code page lacks is refused rather than
// written as a look-alike or a '?'.
#include "platform/code_page_conversion.h"

#include <gtest/gtest.h>

#include "platform/failure.h"
#include "platform/text_win32.h"

namespace orv {
namespace {

// ANSI and OEM code pages of the systems the bundle meets, the special ranges, and their
// neighbours.
constexpr UINT kCodePages[] = {936,   950,   932,   949,   1250,  1251,  1252,  437,   850,
                               866,   65001, 54936, 50220, 50221, 50222, 50225, 50227, 50229,
                               52936, 57002, 57011, 65000, 42,    50223, 57001, 57012};

TEST(CodePageConversion, TheSystemAcceptsTheChosenFlagsForEveryCodePageItHas) {
  int asked = 0;
  for (const UINT codePage : kCodePages) {
    if (!IsValidCodePage(codePage))
      continue;  // not installed here
    ++asked;
    EXPECT_NO_THROW(Utf8ToAnsiStrict("D:\\web 1\\", "folder", codePage)) << codePage;
  }
  EXPECT_GE(asked, 10);
}

TEST(CodePageConversion, ACharacterTheCodePageLacksIsRefused) {
  for (const UINT codePage : {1252u, 437u, 1251u}) {
    if (IsValidCodePage(codePage)) {
      EXPECT_THROW(Utf8ToAnsiStrict("D:\\功\\", "folder", codePage), Failure) << codePage;
    }
  }
  // A code page of the round-trip mode: ISO-2022-JP has no "ř".
  if (IsValidCodePage(50220)) {
    EXPECT_THROW(Utf8ToAnsiStrict("D:\\ř\\", "folder", 50220), Failure);
  }
  EXPECT_EQ(Utf8ToAnsiStrict("功", "folder", 936), "\xB9\xA6");
}

}  // namespace
}  // namespace orv
