#pragma once
// A second look at a file that could not be opened or replaced: is another program holding it,
// and which one.

#include <string>
#include <string_view>

#include "platform/windows_prelude_win32.h"

namespace orv {

// The error of opening the file for deletion with no sharing, or ERROR_SUCCESS when that works
// (the handle is closed at once). ERROR_SHARING_VIOLATION means that another program has the file
// open; ERROR_ACCESS_DENIED that this user may not delete it.
DWORD OpenForDeletionError(std::string_view path) noexcept;

// The programs that have the file open, as the Restart Manager names them (Windows Vista and
// later), joined by "、"; this program left out. Empty where the system cannot tell. The Restart
// Manager is loaded from the system folder at run time, so the program still starts without it.
std::string ProgramsUsingFile(std::string_view path) noexcept;

}  // namespace orv
