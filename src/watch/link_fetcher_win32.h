#pragma once
// The watch's HTTP requests for the site's links, made with the system's HTTP client (WinHTTP,
// no proxy) off the window's thread: each request runs on a small worker thread of its own, with
// bounded timeouts, and posts its outcome to the window as one message. Cancelling closes the
// requests' handles, which ends a request in progress, and waits for the workers to end, so that
// nothing runs on once the window is gone; an outcome posted before that is recognised as stale.

#include <array>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>

#include "platform/windows_prelude_win32.h"
#include "watch/site_watch.h"

namespace orv {

class LinkFetcher {
 public:
  // Outcomes are posted to `window` as `message`.
  LinkFetcher(HWND window, UINT message);
  ~LinkFetcher();
  LinkFetcher(const LinkFetcher&) = delete;
  LinkFetcher& operator=(const LinkFetcher&) = delete;

  // Starts a request for the link (one at a time per link: a finished one not yet taken is ended
  // first). Every call leads to exactly one posted outcome, a failure to start included, unless
  // CancelAll comes first. Never throws.
  void Fetch(SiteLink link, const LinkRequest& request) noexcept;
  // The outcome that a message of ours carries; none for a stale one.
  std::optional<std::pair<SiteLink, FetchOutcome>> Take(WPARAM wParam, LPARAM lParam) noexcept;
  // Ends every request in progress and waits for its worker; no outcome of theirs is taken later.
  void CancelAll() noexcept;

 private:
  struct Job;
  static DWORD WINAPI Run(void* job) noexcept;
  void Post(const Job& job, LPARAM result) const noexcept;
  void End(std::unique_ptr<Job>& job) noexcept;

  HWND window_;
  UINT message_;
  void* session_ = nullptr;  // HINTERNET, opened with the first request
  // Guards the making and the closing of request handles and each job's cancel mark: once
  // CancelAll has closed a request, no worker makes a new handle that could take its value.
  std::mutex handles_;
  std::array<std::unique_ptr<Job>, 2> jobs_;  // by SiteLink
  uint32_t generation_ = 0;
};

}  // namespace orv
