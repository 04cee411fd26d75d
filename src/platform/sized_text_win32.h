#pragma once
// Text that a Win32 function writes into a caller's buffer of a given size. Two conventions exist,
// and a helper written for one loops or keeps a stray zero with the other:
//  - kWithoutZero (GetSystemDirectoryW, GetCurrentDirectoryW, GetFullPathNameW, GetLongPathNameW,
//    GetFinalPathNameByHandleW): the length written, without the terminating zero, when the buffer
//    was large enough; the size needed, with it, when it was not.
//  - kWithZero (ExpandEnvironmentStringsW): the count written, the terminating zero included, when
//    the buffer was large enough; the size needed, with it, when it was not.
// Both give 0 on failure.

#include <optional>
#include <string>

#include "platform/windows_prelude_win32.h"

namespace orv {

enum class SizedCount { kWithoutZero, kWithZero };

// Calls `fill(buffer, size)` with a buffer of MAX_PATH characters, and again with the size it asks
// for, until the text fits. Empty on failure, with the system's error in GetLastError(), and empty
// where the function keeps asking for a size it was already given (outside both conventions),
// rather than asking again forever.
template <SizedCount counts = SizedCount::kWithoutZero, typename Fill>
std::optional<std::wstring> SizedText(Fill fill) {
  // Far beyond any path or command line (32767 characters and its zero), for a function that
  // asks for more and more.
  constexpr size_t kLargest = 1 << 20;
  std::wstring text(MAX_PATH, L'\0');
  for (;;) {
    const size_t size = text.size();
    const DWORD result = fill(text.data(), static_cast<DWORD>(size));
    if (result == 0)
      return std::nullopt;
    const bool fitted = counts == SizedCount::kWithZero ? result <= size : result < size;
    if (fitted) {
      text.resize(counts == SizedCount::kWithZero ? result - 1 : result);
      return text;
    }
    // Too small: `result` is the size needed, terminating zero included, and must be larger.
    if (result <= size || result > kLargest) {
      SetLastError(ERROR_INVALID_DATA);
      return std::nullopt;
    }
    text.assign(result, L'\0');
  }
}

}  // namespace orv
