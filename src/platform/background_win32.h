#pragma once
// Facts gathered off the window's thread. What may wait on the machine (the service manager, a
// file on a slow, absent or unreachable drive) runs on a thread of its own, which posts a message
// to the window when it is done; the window takes the result from there. A result of an earlier
// start, or of one cancelled since, is recognised by its tag and dropped.
//
// The thread is not waited for: cancelling, or destroying the owner, only makes its result
// stale, so that closing the window never waits on a drive that takes 20 s to answer. The thread
// owns everything it touches (its work, with copies of its inputs, and the shared mailbox), and
// the process's end ends it. It runs with the system's critical-error boxes off ("There is no disk
// in the drive"), so that a path on an empty drive fails instead of asking the user.

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>

#include "platform/unique_handle_win32.h"
#include "platform/windows_prelude_win32.h"

namespace orv {

template <typename Result>
class BackgroundFacts {
 public:
  // Results are announced to `window` as `message`, with the start's tag as WPARAM.
  BackgroundFacts(HWND window, UINT message)
      : window_(window), message_(message), mailbox_(std::make_shared<Mailbox>()) {}
  ~BackgroundFacts() { Cancel(); }
  BackgroundFacts(const BackgroundFacts&) = delete;
  BackgroundFacts& operator=(const BackgroundFacts&) = delete;

  // Starts `work` on a new thread; a result of an earlier start is stale from now on. False where
  // no thread could be started: then no message comes, and the caller decides without the facts.
  bool Start(std::function<Result()> work) noexcept {
    try {
      auto job = std::make_unique<Job>();
      job->window = window_;
      job->message = message_;
      job->mailbox = mailbox_;
      job->work = std::move(work);
      {
        const std::lock_guard lock(mailbox_->lock);
        job->tag = ++mailbox_->latest;
        mailbox_->result.reset();
      }
      const UniqueKernelHandle thread(CreateThread(nullptr, 0, &Run, job.get(), 0, nullptr));
      if (!thread)
        return false;
      job.release();  // the thread owns it now
      return true;
    } catch (...) {
      return false;  // out of memory: no thread
    }
  }

  // The result that a message of ours announces (Result's default where the work threw: no facts);
  // none where it is stale.
  std::optional<Result> Take(WPARAM tag) noexcept {
    const std::lock_guard lock(mailbox_->lock);
    if (static_cast<uint32_t>(tag) != mailbox_->latest || !mailbox_->result)
      return std::nullopt;
    return std::exchange(mailbox_->result, std::nullopt);
  }

  // No result of a start made before is taken later. Does not wait.
  void Cancel() noexcept {
    const std::lock_guard lock(mailbox_->lock);
    ++mailbox_->latest;
    mailbox_->result.reset();
  }

 private:
  struct Mailbox {
    std::mutex lock;
    uint32_t latest = 0;  // the tag of the start whose result is still wanted
    std::optional<Result> result;
  };
  struct Job {
    HWND window = nullptr;
    UINT message = 0;
    uint32_t tag = 0;
    std::shared_ptr<Mailbox> mailbox;
    std::function<Result()> work;
  };

  static DWORD WINAPI Run(void* parameter) noexcept {
    const std::unique_ptr<Job> job(static_cast<Job*>(parameter));
    SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, nullptr);
    std::optional<Result> result;
    try {
      result = job->work();
    } catch (...) {
      result.emplace();  // the work's own failure: no facts, and the window goes on without them
    }
    {
      const std::lock_guard lock(job->mailbox->lock);
      if (job->tag != job->mailbox->latest)
        return 0;  // stale: nobody waits for it
      job->mailbox->result = std::move(result);
    }
    // A window that is gone meanwhile takes no message; that is harmless.
    PostMessageW(job->window, job->message, job->tag, 0);
    return 0;
  }

  HWND window_;
  UINT message_;
  std::shared_ptr<Mailbox> mailbox_;
};

}  // namespace orv
