#pragma once
// The program's start: the completion-marker check, the notice, or the scan window and its
// message loop.

#include "platform/windows_prelude_win32.h"

namespace orv {

// Returns the program's exit code: 0 after the notice or after the window has closed.
int Main(HINSTANCE instance);

}  // namespace orv
