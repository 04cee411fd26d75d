#pragma once
// Text that a Win32 function writes into a caller's buffer, by the convention of
// GetSystemDirectoryW, GetCurrentDirectoryW, GetFullPathNameW and GetLongPathNameW: the result is
// the length written (without the terminating zero) when the buffer was large enough, the size
// needed (with it) when it was not, and 0 on failure.

#include <optional>
#include <string>

#include "platform/windows_prelude_win32.h"

namespace orv {

// Calls `fill(buffer, size)` with a buffer of MAX_PATH characters, and again with the size it
// asks for, until the text fits. Empty on failure, with the system's error in GetLastError().
template <typename Fill>
std::optional<std::wstring> SizedText(Fill fill) {
  std::wstring text(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = fill(text.data(), static_cast<DWORD>(text.size()));
    if (length == 0)
      return std::nullopt;
    if (length < text.size()) {
      text.resize(length);
      return text;
    }
    text.resize(length);  // too small: `length` is the size needed, terminating zero included
  }
}

}  // namespace orv
