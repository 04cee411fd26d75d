// Buffers filled by Win32 functions of both counting conventions, at the boundary: a result that
// just fits the first buffer of MAX_PATH characters, one that fills it exactly, and a longer one.
#include "platform/sized_text_win32.h"

#include <gtest/gtest.h>

#include <string>

namespace orv {
namespace {

constexpr size_t kFirstBuffer = MAX_PATH;

// The lengths around the first buffer's size: the text and its zero fit, the text alone fits,
// neither fits, and far more.
constexpr size_t kLengths[] = {kFirstBuffer - 2, kFirstBuffer - 1, kFirstBuffer, kFirstBuffer + 1,
                               600};

TEST(SizedText, ExpandEnvironmentStringsCountsItsZeroAtEveryBoundary) {
  for (const size_t length : kLengths) {
    const std::wstring value(length - 2, L'x');
    ASSERT_TRUE(SetEnvironmentVariableW(L"ORV_SIZED", value.c_str()));
    const auto text = SizedText<SizedCount::kWithZero>([](wchar_t* buffer, DWORD size) {
      return ExpandEnvironmentStringsW(L"<%ORV_SIZED%>", buffer, size);
    });
    ASSERT_TRUE(text.has_value()) << length;
    EXPECT_EQ(*text, L"<" + value + L">") << length;
  }
}

TEST(SizedText, FullPathNameAtEveryBoundary) {
  for (const size_t length : kLengths) {
    const std::wstring path = L"C:\\" + std::wstring(length - 3, L'y');
    const auto text = SizedText([&path](wchar_t* buffer, DWORD size) {
      return GetFullPathNameW(path.c_str(), size, buffer, nullptr);
    });
    ASSERT_TRUE(text.has_value()) << length;
    EXPECT_EQ(*text, path) << length;
  }
}

// A function of the other convention, or one that breaks both, is refused instead of asked again
// forever with the size it already had.
TEST(SizedText, AFunctionThatAsksForTheSizeItHadEnds) {
  const auto text = SizedText([](wchar_t*, DWORD size) { return size; });
  EXPECT_FALSE(text.has_value());
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_DATA));
  EXPECT_FALSE(SizedText([](wchar_t*, DWORD size) { return size * 4; }).has_value());
}

}  // namespace
}  // namespace orv
