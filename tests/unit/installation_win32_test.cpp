// The completion marker against real files: what the start-up check counts as a marker, and the
// exact bytes the writer leaves behind.

#include "bundle/installation_win32.h"

#include <gtest/gtest.h>

#include <string>

#include "bundle/app_folder.h"
#include "platform/text_win32.h"
#include "platform/unique_handle_win32.h"

namespace orv {
namespace {

// A fresh folder under the system's temporary folder, removed with everything in it at the end.
class TempFolder {
 public:
  TempFolder() {
    wchar_t base[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, base);
    path_ = std::wstring(base) + L"orv-installation-" + std::to_wstring(GetCurrentProcessId()) +
            L"-" + std::to_wstring(counter_++);
    if (!CreateDirectoryW(path_.c_str(), nullptr))
      ADD_FAILURE() << "cannot create " << WideToUtf8(path_) << ": " << GetLastError();
  }
  ~TempFolder() { RemoveTree(path_); }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  // As AppFolder spells it: with one trailing "\".
  std::string AppFolder() const { return AppFolderFrom(WideToUtf8(path_)); }
  std::wstring File(const std::wstring& name) const { return path_ + L"\\" + name; }

 private:
  static void RemoveTree(const std::wstring& folder) {
    WIN32_FIND_DATAW found{};
    UniqueFindHandle search(FindFirstFileW((folder + L"\\*").c_str(), &found));
    if (search) {
      do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..")
          continue;
        const std::wstring path = folder + L"\\" + name;
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
          RemoveTree(path);
        } else {
          DeleteFileW(path.c_str());
        }
      } while (FindNextFileW(search.get(), &found));
    }
    search.reset();
    RemoveDirectoryW(folder.c_str());
  }

  static inline int counter_ = 0;
  std::wstring path_;
};

void WriteFile(const std::wstring& path, const std::string& bytes) {
  UniqueFileHandle file(
      CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  ASSERT_TRUE(file.valid()) << "cannot create " << WideToUtf8(path);
  DWORD written = 0;
  ASSERT_TRUE(
      ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
  ASSERT_EQ(written, bytes.size());
}

// The file's bytes, or "<missing>" when it cannot be opened.
std::string ReadFile(const std::wstring& path) {
  UniqueFileHandle file(
      CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file)
    return "<missing>";
  std::string bytes(4096, '\0');
  DWORD read = 0;
  ::ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
  bytes.resize(read);
  return bytes;
}

const std::string kMarkerBytes = "\xD2\xD1\xBE\xAD\xB0\xB2\xD7\xB0\xA3\xA1\r\n";

TEST(MarkerLookup, FindsMarkerUnderAnySpellingAndContent) {
  for (const std::wstring name : {L"Finish.txt", L"finish.txt", L"FINISH.TXT"}) {
    for (const std::string& content : {std::string("already configured\r\n"), std::string()}) {
      TempFolder folder;
      WriteFile(folder.File(name), content);
      EXPECT_TRUE(IsInstalledIn(folder.AppFolder()))
          << WideToUtf8(name) << " with " << content.size() << " bytes";
    }
  }
}

TEST(MarkerLookup, NoMarkerMeansNotInstalled) {
  TempFolder folder;
  WriteFile(folder.File(L"finish.txt.bak"), "x");
  WriteFile(folder.File(L"finish"), "x");
  EXPECT_FALSE(IsInstalledIn(folder.AppFolder()));
}

TEST(MarkerLookup, ReadOnlyAndArchiveMarkersCount) {
  for (const DWORD attributes : {DWORD{FILE_ATTRIBUTE_READONLY}, DWORD{FILE_ATTRIBUTE_ARCHIVE},
                                 DWORD{FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE}}) {
    TempFolder folder;
    WriteFile(folder.File(L"Finish.txt"), "x");
    ASSERT_TRUE(SetFileAttributesW(folder.File(L"Finish.txt").c_str(), attributes));
    EXPECT_TRUE(IsInstalledIn(folder.AppFolder())) << "attributes " << attributes;
  }
}

TEST(MarkerLookup, HiddenOrSystemMarkersAndDirectoriesDoNotCount) {
  for (const DWORD attributes :
       {DWORD{FILE_ATTRIBUTE_HIDDEN}, DWORD{FILE_ATTRIBUTE_SYSTEM},
        DWORD{FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY}}) {
    TempFolder folder;
    const std::wstring marker = folder.File(L"Finish.txt");
    WriteFile(marker, "x");
    ASSERT_TRUE(SetFileAttributesW(marker.c_str(), attributes));
    ASSERT_EQ(GetFileAttributesW(marker.c_str()) & attributes, attributes)
        << "the file system did not keep the attributes";
    EXPECT_FALSE(IsInstalledIn(folder.AppFolder())) << "attributes " << attributes;
  }
  TempFolder folder;
  ASSERT_TRUE(CreateDirectoryW(folder.File(L"finish.txt").c_str(), nullptr));
  EXPECT_FALSE(IsInstalledIn(folder.AppFolder())) << "a directory named finish.txt";
}

TEST(MarkerWriter, WritesTheMarkerLineInCodePage936WithCrLf) {
  ASSERT_EQ(GetACP(), 936u) << "run under LC_ALL=zh_CN.UTF-8";
  TempFolder folder;
  WriteFinishMarkerIn(folder.AppFolder());
  EXPECT_EQ(ReadFile(folder.File(L"Finish.txt")), kMarkerBytes);
  EXPECT_TRUE(IsInstalledIn(folder.AppFolder())) << "the written marker is not found";
}

TEST(MarkerWriter, ReplacesAnOlderLongerMarkerWhole) {
  TempFolder folder;
  WriteFile(folder.File(L"FINISH.TXT"), std::string(100, 'x'));
  WriteFinishMarkerIn(folder.AppFolder());
  EXPECT_EQ(ReadFile(folder.File(L"finish.txt")), kMarkerBytes);
}

TEST(MarkerWriter, FailureIsSwallowedAndLeavesNothingBehind) {
  TempFolder folder;
  const std::string missing = folder.AppFolder() + "does-not-exist\\";
  EXPECT_NO_THROW(WriteFinishMarkerIn(missing));
  EXPECT_EQ(GetFileAttributesW(Utf8ToWide(missing).c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_FALSE(IsInstalledIn(missing));
}

TEST(MarkerWriter, ReadOnlyMarkerIsLeftAsItWas) {
  TempFolder folder;
  const std::wstring marker = folder.File(L"Finish.txt");
  WriteFile(marker, "old");
  ASSERT_TRUE(SetFileAttributesW(marker.c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_NO_THROW(WriteFinishMarkerIn(folder.AppFolder()));
  EXPECT_EQ(ReadFile(marker), "old");
  EXPECT_TRUE(IsInstalledIn(folder.AppFolder()));
}

}  // namespace
}  // namespace orv
