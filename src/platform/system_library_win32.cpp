#include "platform/system_library_win32.h"

#include <optional>
#include <string>

#include "platform/sized_text_win32.h"

#ifndef LOAD_LIBRARY_SEARCH_SYSTEM32
#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800
#endif

namespace orv {

LibrarySearchCalls KernelLibrarySearchCalls() noexcept {
  LibrarySearchCalls calls;
  const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  if (kernel == nullptr)
    return calls;
  calls.setDefaultDllDirectories =
      LibraryFunction<decltype(calls.setDefaultDllDirectories)>(kernel, "SetDefaultDllDirectories");
  calls.setDllDirectory =
      LibraryFunction<decltype(calls.setDllDirectory)>(kernel, "SetDllDirectoryW");
  return calls;
}

LibrarySearch RestrictLibrarySearch(const LibrarySearchCalls& calls) {
  if (calls.setDefaultDllDirectories != nullptr &&
      calls.setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32)) {
    return LibrarySearch::kSystemFolderOnly;
  }
  if (calls.setDllDirectory != nullptr && calls.setDllDirectory(L""))
    return LibrarySearch::kCurrentFolderRemoved;
  return LibrarySearch::kUnchanged;
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
