#pragma once
// The watch of the configured bundle on the scan window's thread: the site's link requests run on
// worker threads (LinkFetcher) and post their outcomes to the window, the database's connections
// are probe sockets whose results come back as window messages, its clock is a window timer of
// half a second, and at each tick it also asks whether the install script's process has ended
// (WaitForSingleObject with no wait). Stopping it (or closing the window) kills the timer, cancels
// the requests and the background jobs without waiting for them, closes the sockets and the
// process handle; no later message is taken for the watch.

#include <string>
#include <vector>

#include "platform/background_win32.h"
#include "platform/unique_handle_win32.h"
#include "probe/probe_sockets_win32.h"
#include "watch/link_fetcher_win32.h"
#include "watch/port_holder.h"
#include "watch/server_logs_win32.h"
#include "watch/site_watch.h"

namespace orv {

// What is known just before the install script starts, for the bundle in the application folder:
// the database's port from the written my.ini as the bundle's database service reads it (from
// `services`, as listed at the window's load: its option file, its group and its server's version;
// none without the file or a group the server reads), and whether something holds it already (an
// exclusive bind on the wildcards; the table of listening sockets only where that fails). Who
// listens there is asked later, off the window's thread, by the watch. It runs on the window's
// thread, between configuring's own file writes and the script's start, and reads my.ini, its
// includes and the server's version resource there: small local files of the bundle. Never throws.
WatchFacts FactsBeforeScript(const std::vector<ServiceFacts>& services) noexcept;

class SiteWatcher final : private WatchConnections {
 public:
  // The watch posts its results to `window` in [firstMessage, firstMessage + count) (the last three
  // for the link requests, the stopped services' note and the port's holder, the others for the
  // sockets) and ticks with the window timer `timerId`.
  // Throws a Failure when Winsock cannot be started.
  SiteWatcher(HWND window, UINT firstMessage, UINT messageCount, UINT_PTR timerId, WatchView& view);
  ~SiteWatcher() override;
  SiteWatcher(const SiteWatcher&) = delete;
  SiteWatcher& operator=(const SiteWatcher&) = delete;

  // Watches from now on, replacing a watch in progress; `script` is the install script's
  // process (may be empty: its end is then not known).
  void Start(const WatchFacts& facts, UniqueKernelHandle script);
  // The window's handlers: a tick of the timer, and a message of the range.
  void OnTimer() noexcept;
  void OnMessage(UINT message, WPARAM wParam, LPARAM lParam) noexcept;
  void Stop() noexcept;

 private:
  void Try(WatchTarget target, int32_t port) override;
  void Fetch(SiteLink link, const LinkRequest& request) override;
  void StopAll() noexcept override;
  void AskWhySilent() override;
  void CheckScriptEnd() noexcept;

  HWND window_;
  UINT_PTR timerId_;
  UINT fetchMessage_;
  UINT whyMessage_;
  UINT holderMessage_;
  WinsockProbeSockets sockets_;
  LinkFetcher fetcher_;
  BackgroundFacts<SilenceFacts> why_;
  BackgroundFacts<PortHolder> holder_;
  SiteWatch watch_;
  UniqueKernelHandle script_;
  LogMoment scriptStart_;  // when the watch started: the servers' log lines since then count
};

}  // namespace orv
