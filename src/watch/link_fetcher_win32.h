#pragma once
// The watch's HTTP requests for the site's links, made with the system's HTTP client (WinHTTP in
// its asynchronous mode, no proxy) so that the window's thread never waits on the network: a
// request runs on WinHTTP's own threads, with bounded timeouts, and posts its outcome to the
// window as one message. Cancelling closes the request's handle, which ends it; nothing is waited
// for. What a request's callbacks use lives until WinHTTP says that its handle is gone, whatever
// becomes of the fetcher or the window meanwhile; an outcome posted before the cancel is
// recognised as stale.

#include <array>
#include <memory>
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

  // Starts a request for the link (one at a time per link: an earlier one is cancelled first).
  // Every call leads to exactly one posted outcome, a failure to start included, unless CancelAll
  // or another Fetch for the link comes first. Never throws, never waits.
  void Fetch(SiteLink link, const LinkRequest& request) noexcept;
  // The outcome that a message of ours carries; none for a stale one.
  std::optional<std::pair<SiteLink, FetchOutcome>> Take(WPARAM wParam, LPARAM lParam) noexcept;
  // Ends every request in progress without waiting for it; no outcome of theirs is taken later.
  void CancelAll() noexcept;

 private:
  struct Request;
  // WinHTTP's status callback (WINHTTP_STATUS_CALLBACK; the handle is an HINTERNET).
  static void CALLBACK OnStatus(void* handle, DWORD_PTR context, DWORD status, void* information,
                                DWORD length) noexcept;
  // Opens, sets up and sends the request; a failure to do so is posted as its outcome.
  void Start(const std::shared_ptr<Request>& request, const LinkRequest& link) noexcept;
  static void Cancel(std::shared_ptr<Request>& request) noexcept;

  HWND window_;
  UINT message_;
  void* session_ = nullptr;  // HINTERNET, opened (asynchronous) with the first request
  std::array<std::shared_ptr<Request>, 2> requests_;  // by SiteLink
  uint32_t serial_ = 0;                               // of the last request started
};

}  // namespace orv
