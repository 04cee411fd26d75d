#include "platform/system_library_win32.h"

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

}  // namespace orv
