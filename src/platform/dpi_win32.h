#pragma once
// The window's density and its font, with the per-monitor functions of Windows 10 looked up at run
// time, so that the program still starts on Windows 7 (which gets the system's density instead).

#include "platform/windows_prelude_win32.h"

namespace orv {

// The density of `window` (GetDpiForWindow), or of the screen where that function is missing or
// no window is given; 96 where the system tells nothing.
UINT WindowDpi(HWND window);

// The window rectangle for a client area of `width` by `height` pixels at `dpi`, for a window of
// `style` and `exStyle` without a menu.
RECT WindowRectForClient(int width, int height, DWORD style, DWORD exStyle, UINT dpi);

// The system's message font at `dpi`; null where the system does not give its metrics.
HFONT CreateMessageFont(UINT dpi);

}  // namespace orv
