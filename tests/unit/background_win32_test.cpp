// Facts gathered off the window's thread: the window takes the result of its latest start only, a
// cancel never waits for the work, and the work runs without the system's critical-error boxes.
#include "platform/background_win32.h"

#include <gtest/gtest.h>

#include <atomic>

namespace orv {
namespace {

constexpr UINT kLearnt = WM_APP + 7;

class BackgroundFactsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window_.reset(
        CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr));
    ASSERT_TRUE(window_);
    release_.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    ASSERT_TRUE(release_);
  }

  // The tag of the next announcement within `ms`; 0 where none comes.
  WPARAM NextAnnouncement(DWORD ms) {
    const ULONGLONG deadline = GetTickCount64() + ms;
    MSG message{};
    while (GetTickCount64() < deadline) {
      if (PeekMessageW(&message, window_.get(), kLearnt, kLearnt, PM_REMOVE))
        return message.wParam;
      Sleep(5);
    }
    return 0;
  }

  // Work that waits until the test releases it, then gives `value`.
  std::function<int()> HeldWork(int value) {
    HANDLE release = release_.get();
    return [release, value] {
      WaitForSingleObject(release, INFINITE);
      return value;
    };
  }

  UniqueWindow window_;
  UniqueKernelHandle release_;
};

TEST_F(BackgroundFactsTest, OnlyTheLatestStartIsTaken) {
  BackgroundFacts<int> facts(window_.get(), kLearnt);
  ASSERT_TRUE(facts.Start(HeldWork(1)));
  ASSERT_TRUE(facts.Start([] { return 2; }));
  const WPARAM second = NextAnnouncement(5000);
  ASSERT_NE(second, 0u);
  EXPECT_EQ(facts.Take(second), 2);
  EXPECT_FALSE(facts.Take(second).has_value());  // taken once
  SetEvent(release_.get());
  EXPECT_EQ(NextAnnouncement(300), 0u);  // the first start's result is stale: not announced

  // A work that throws gives no facts, but is announced: the window does not wait for ever.
  ASSERT_TRUE(facts.Start([]() -> int { throw std::runtime_error("gone"); }));
  const WPARAM failed = NextAnnouncement(5000);
  ASSERT_NE(failed, 0u);
  EXPECT_EQ(facts.Take(failed), 0);
}

TEST_F(BackgroundFactsTest, CancelDoesNotWaitForTheWork) {
  auto facts = std::make_unique<BackgroundFacts<int>>(window_.get(), kLearnt);
  ASSERT_TRUE(facts->Start(HeldWork(3)));
  const ULONGLONG before = GetTickCount64();
  facts.reset();  // the window closes while the work still waits on a drive
  EXPECT_LT(GetTickCount64() - before, 1000u);
  SetEvent(release_.get());
  EXPECT_EQ(NextAnnouncement(300), 0u);
}

TEST_F(BackgroundFactsTest, TheWorkRunsWithoutCriticalErrorBoxes) {
  BackgroundFacts<int> facts(window_.get(), kLearnt);
  ASSERT_TRUE(facts.Start([] { return static_cast<int>(GetThreadErrorMode()); }));
  const WPARAM tag = NextAnnouncement(5000);
  ASSERT_NE(tag, 0u);
  const std::optional<int> mode = facts.Take(tag);
  ASSERT_TRUE(mode.has_value());
  EXPECT_NE(*mode & SEM_FAILCRITICALERRORS, 0);
}

}  // namespace
}  // namespace orv
