#include "platform/system_library_win32.h"

// After the prelude: the delay-load helper's notification hook (cmake/delay-load.cmake).
#include <delayimp.h>

#include <optional>
#include <string>

#include "platform/sized_text_win32.h"

#ifndef LOAD_LIBRARY_SEARCH_SYSTEM32
#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800
#endif

namespace orv {

void RestrictLibrarySearch() noexcept {
  const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  if (kernel == nullptr)
    return;
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD flags);
  const auto setDefault =
      LibraryFunction<SetDefaultDllDirectoriesFn>(kernel, "SetDefaultDllDirectories");
  if (setDefault != nullptr && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32))
    return;
  SetDllDirectoryW(L"");
}

UniqueModule LoadSystemLibrary(const wchar_t* name) {
  // LOAD_LIBRARY_SEARCH_SYSTEM32 is known where AddDllDirectory is; a Windows 7 without its update
  // refuses the flag, and there the full path does the same.
  const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  if (kernel != nullptr && GetProcAddress(kernel, "AddDllDirectory") != nullptr)
    return UniqueModule(LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
  const std::optional<std::wstring> folder = SizedText(&GetSystemDirectoryW);
  if (!folder)
    return UniqueModule();
  const std::wstring path = *folder + L"\\" + name;
  return UniqueModule(LoadLibraryExW(path.c_str(), nullptr, 0));
}

namespace {

// The delay-load helper asks this hook before it loads a delay-loaded DLL on the first call of one
// of its functions. The DLL is taken from the system folder, as LoadSystemLibrary does; the
// helper's own LoadLibraryA would look in the program's folder first wherever the system lacks
// SetDefaultDllDirectories (a Windows 7 without its update). The helper keeps the module for
// the rest of the process (it stores it for the later calls and never frees it), so the owner
// hands it over. Where the system folder does not give the DLL, the call fails as the helper
// fails it (a delay-load exception), rather than letting the helper search elsewhere.
FARPROC WINAPI LoadDelayedLibrary(unsigned notice, PDelayLoadInfo info) {
  if (notice != dliNotePreLoadLibrary || info == nullptr || info->szDll == nullptr)
    return nullptr;
  // No C++ exception may cross the helper, which is C: running out of memory fails the call too.
  UniqueModule module;
  try {
    std::wstring name;
    for (const char* c = info->szDll; *c != '\0'; ++c)
      name += static_cast<wchar_t>(static_cast<unsigned char>(*c));  // DLL names are ASCII
    module = LoadSystemLibrary(name.c_str());
  } catch (const std::exception&) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  }
  if (!module) {
    info->dwLastError = GetLastError();
    ULONG_PTR argument = reinterpret_cast<ULONG_PTR>(info);
    RaiseException(VcppException(ERROR_SEVERITY_ERROR, ERROR_MOD_NOT_FOUND), 0, 1, &argument);
    return nullptr;
  }
  return reinterpret_cast<FARPROC>(module.release());
}

}  // namespace
}  // namespace orv

// Read by the CRT's __delayLoadHelper2 (declared extern "C" in <delayimp.h>); defined here, so
// the CRT's empty default is not linked.
PfnDliHook __pfnDliNotifyHook2 = orv::LoadDelayedLibrary;
