// The bundle's mutex under Wine; threads of this process stand in for other instances.

#include "program/single_instance_win32.h"

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
