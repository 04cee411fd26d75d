// The bundle's mutex under Wine; threads of this process stand in for other instances.

#include "startup/single_instance_win32.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <thread>

#include "platform/text_win32.h"

namespace orv {
namespace {

// Whether an instance started now for `folder`, on a thread of its own, would hold the mutex.
bool TakenOnAnotherThread(const std::string& folder) {
  bool owned = false;
  std::thread([&] { owned = SingleInstance(folder).owned(); }).join();
  return owned;
}

TEST(SingleInstance, OneNameForEverySpellingOfOneFolder) {
  // "D:\Ünïcode 配置\" in two letter cases.
  EXPECT_EQ(InstanceNameOf("D:\\\xC3\x9Cn\xC3\xAF"
                           "code \xE9\x85\x8D\xE7\xBD\xAE\\"),
            InstanceNameOf("d:\\\xC3\xBCN\xC3\x8F"
                           "CODE \xE9\x85\x8D\xE7\xBD\xAE\\"));
  const std::filesystem::path folder = std::filesystem::temp_directory_path() / "orv long name";
  std::filesystem::create_directories(folder);
  wchar_t shortForm[MAX_PATH] = {};
  const DWORD length = GetShortPathNameW(folder.c_str(), shortForm, MAX_PATH);
  if (length > 0 && length < MAX_PATH && folder.wstring() != shortForm) {
    EXPECT_EQ(InstanceNameOf(WideToUtf8(std::wstring(shortForm) + L"\\")),
              InstanceNameOf(WideToUtf8(folder.wstring() + L"\\")));
  }
  std::filesystem::remove(folder);
}

// A folder reached through a symbolic link is the same bundle (where the system can make one).
TEST(SingleInstance, OneNameThroughALinkToTheFolder) {
  const std::filesystem::path base = std::filesystem::temp_directory_path();
  const std::filesystem::path real = base / "orv real", link = base / "orv link";
  std::filesystem::create_directories(real);
  std::filesystem::remove(link);
  // Wine 8 makes the link but cannot follow it.
  if (!CreateSymbolicLinkW(link.c_str(), real.c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY) ||
      GetFileAttributesW(link.c_str()) == INVALID_FILE_ATTRIBUTES) {
    RemoveDirectoryW(link.c_str());
    std::filesystem::remove(real);
    GTEST_SKIP() << "no symbolic link to a folder can be followed here";
  }
  EXPECT_EQ(InstanceNameOf(WideToUtf8(link.wstring() + L"\\")),
            InstanceNameOf(WideToUtf8(real.wstring() + L"\\")));
  EXPECT_NE(InstanceNameOf(WideToUtf8(link.wstring() + L"\\")), InstanceNameOf("D:\\other\\"));
  RemoveDirectoryW(link.c_str());
  std::filesystem::remove(real);
}

// The handle stays open, so the mutex outlives its holder, as when a holder crashes while another
// instance has it open.
TEST(SingleInstance, MutexOfAHolderThatEndedWithoutReleasingItIsTakenOver) {
  UniqueKernelHandle kept;
  DWORD taken = WAIT_FAILED;
  std::thread([&] {
    kept.reset(CreateMutexW(nullptr, FALSE, InstanceNameOf("D:\\crashed\\").c_str()));
    taken = WaitForSingleObject(kept.get(), 0);
  }).join();
  ASSERT_EQ(taken, WAIT_OBJECT_0);
  EXPECT_TRUE(TakenOnAnotherThread("D:\\crashed\\"));
}

}  // namespace
}  // namespace orv
