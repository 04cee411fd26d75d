// The bundle's mutex under Wine: its name for spellings of one folder, and who holds it when
// instances on other threads (standing in for other processes) take it.

#include "startup/single_instance_win32.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <thread>

#include "platform/text_win32.h"

namespace orv {
namespace {

namespace fs = std::filesystem;

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
  EXPECT_NE(InstanceNameOf("D:\\web\\"), InstanceNameOf("D:\\web2\\"));

  const fs::path folder = fs::temp_directory_path() / "orv long folder name";
  fs::create_directories(folder);
  wchar_t shortForm[MAX_PATH] = {};
  const DWORD length = GetShortPathNameW(folder.c_str(), shortForm, MAX_PATH);
  const std::wstring longForm = folder.wstring();
  if (length > 0 && length < MAX_PATH && longForm != shortForm) {
    EXPECT_EQ(InstanceNameOf(WideToUtf8(std::wstring(shortForm) + L"\\")),
              InstanceNameOf(WideToUtf8(longForm + L"\\")));
  }
  fs::remove(folder);
}

TEST(SingleInstance, HeldUntilItsHolderEndsAndOnlyForItsOwnBundle) {
  {
    const SingleInstance first("D:\\web\\");
    ASSERT_TRUE(first.owned());
    EXPECT_FALSE(TakenOnAnotherThread("d:\\WEB\\"));
    EXPECT_TRUE(TakenOnAnotherThread("D:\\web2\\"));
  }
  EXPECT_TRUE(TakenOnAnotherThread("D:\\web\\"));
}

TEST(SingleInstance, MutexOfAHolderThatEndedWithoutReleasingItIsTakenOver) {
  const std::wstring name = InstanceNameOf("D:\\crashed\\");
  // The handle stays open, so the mutex outlives its holder, as when a holder process crashes
  // while a second one waits.
  UniqueKernelHandle kept;
  DWORD taken = WAIT_FAILED;
  std::thread([&] {
    kept.reset(CreateMutexW(nullptr, FALSE, name.c_str()));
    taken = WaitForSingleObject(kept.get(), 0);
  }).join();
  ASSERT_EQ(taken, WAIT_OBJECT_0);
  EXPECT_TRUE(TakenOnAnotherThread("D:\\crashed\\"));
}

}  // namespace
}  // namespace orv
