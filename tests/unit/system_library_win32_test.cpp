// Where libraries loaded after start come from.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/sized_text_win32.h"
#include "platform/system_library_win32.h"

namespace orv {
namespace {

// What the fake kernel functions were asked, in order; whether each one works.
std::vector<std::wstring> calls;
bool defaultDirectoriesWork = true;

BOOL WINAPI FakeSetDefaultDllDirectories(DWORD flags) {
  calls.push_back(L"SetDefaultDllDirectories " + std::to_wstring(flags));
  return defaultDirectoriesWork;
}

BOOL WINAPI FakeSetDllDirectory(LPCWSTR folder) {
  calls.push_back(L"SetDllDirectory \"" + std::wstring(folder) + L"\"");
  return TRUE;
}

// The system folder only, where the system can; otherwise at least not the current folder (a
// Windows 7 without the update lacks the function or refuses the flag).
TEST(LibrarySearch, AsksForTheSystemFolderFirstAndFallsBackToDroppingTheCurrentFolder) {
  const LibrarySearchCalls full{&FakeSetDefaultDllDirectories, &FakeSetDllDirectory};
  const LibrarySearchCalls old{nullptr, &FakeSetDllDirectory};
  const std::wstring ask = L"SetDefaultDllDirectories 2048";

  calls.clear();
  EXPECT_EQ(RestrictLibrarySearch(full), LibrarySearch::kSystemFolderOnly);
  EXPECT_EQ(calls, std::vector<std::wstring>{ask});

  calls.clear();
  defaultDirectoriesWork = false;
  EXPECT_EQ(RestrictLibrarySearch(full), LibrarySearch::kCurrentFolderRemoved);
  EXPECT_EQ(calls, (std::vector<std::wstring>{ask, L"SetDllDirectory \"\""}));
  defaultDirectoriesWork = true;

  EXPECT_EQ(RestrictLibrarySearch(old), LibrarySearch::kCurrentFolderRemoved);
}

// After the real restriction, the Restart Manager still loads, and from the system folder.
TEST(LibrarySearch, SystemLibraryLoadsFromTheSystemFolderAfterTheRestriction) {
  EXPECT_NE(RestrictLibrarySearch(), LibrarySearch::kUnchanged);
  const UniqueModule library = LoadSystemLibrary(L"rstrtmgr.dll");
  ASSERT_TRUE(library.valid()) << GetLastError();
  wchar_t path[1024] = {};
  ASSERT_GT(GetModuleFileNameW(library.get(), path, 1024), 0u);
  const std::optional<std::wstring> system = SizedText(&GetSystemDirectoryW);
  ASSERT_TRUE(system);
  EXPECT_EQ(_wcsnicmp(path, system->c_str(), system->size()), 0) << path;
}

}  // namespace
}  // namespace orv
