#pragma once
// Libraries loaded after start come from the system folder, never from the program's folder or
// the current one (where a downloaded bundle may hold a DLL of the same name as a system one).

#include "platform/unique_handle_win32.h"

namespace orv {

// The two kernel32 functions that set where the process looks for libraries, as looked up at run
// time (null where the system lacks one).
struct LibrarySearchCalls {
  BOOL(WINAPI* setDefaultDllDirectories)(DWORD flags) = nullptr;
  BOOL(WINAPI* setDllDirectory)(LPCWSTR folder) = nullptr;
};

// kernel32's own functions: SetDefaultDllDirectories exists on Windows 8 and later, and on
// Windows 7 with its update (KB2533623); SetDllDirectoryW everywhere the program runs.
LibrarySearchCalls KernelLibrarySearchCalls() noexcept;

// How the search was narrowed.
enum class LibrarySearch {
  kSystemFolderOnly,      // SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32)
  kCurrentFolderRemoved,  // without it: SetDllDirectoryW(L"") takes the current folder out
  kUnchanged,             // neither call was there or worked
};

// The first thing the program does: every library loaded after this (by the program or by a
// system DLL on its behalf) is looked for in the system folder only; where the system cannot do
// that, at least the current folder is taken out of the search. Never fails the start.
LibrarySearch RestrictLibrarySearch(const LibrarySearchCalls& calls = KernelLibrarySearchCalls());

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
