#pragma once
// Libraries loaded after start come from the system folder, never from the program's folder or
// the current one (where a downloaded bundle may hold a DLL of the same name as a system one).

#include "platform/unique_handle_win32.h"

namespace orv {

// The first thing the program does: every library loaded after this (by the program or by a
// system DLL on its behalf) is looked for in the system folder only, through
// SetDefaultDllDirectories (Windows 8 and later, and Windows 7 with its update KB2533623, looked up
// at run time); where the system cannot do that, at least the current folder is taken out of the
// search with SetDllDirectoryW(L""). Never fails the start.
void RestrictLibrarySearch() noexcept;

// A DLL of the system folder by its name, never one of the same name elsewhere: with
// LOAD_LIBRARY_SEARCH_SYSTEM32 where the system knows it, by its full path otherwise. Empty when
// it cannot be loaded (GetLastError() tells why).
UniqueModule LoadSystemLibrary(const wchar_t* name);

// A function of a loaded library as the pointer type `Fn`; null when the library lacks it.
template <typename Fn>
Fn LibraryFunction(HMODULE module, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace orv
