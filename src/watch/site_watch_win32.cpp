#include "watch/site_watch_win32.h"

#include "bundle/bundle_services_win32.h"
#include "bundle/installation_win32.h"
#include "configure/configure_bundle.h"
#include "platform/failure.h"
#include "platform/file_system_win32.h"
#include "probe/tcp_connect_win32.h"
#include "watch/my_ini_port_win32.h"
#include "watch/port_holder_win32.h"

namespace orv {
namespace {

// How long the check of the database's port before the script may take: a loopback connect is
// answered at once; only one whose packets are dropped would wait this long.
constexpr DWORD kPortCheckLimitMs = 200;

int64_t Now() {
  return static_cast<int64_t>(GetTickCount64());
}

}  // namespace

WatchFacts FactsBeforeScript(const std::vector<ServiceFacts>& services) noexcept {
  WatchFacts facts;
  try {
    const std::string folder = AppFolder();
    facts.databasePort = DatabasePortToWatch(BundleDatabaseEndpoint(folder, services));
    // A port that both wildcards can be bound on with exclusive use is held by nothing: the quick
    // answer, and the common one. Only where it cannot be bound are the listening sockets read
    // (under Wine that takes about 0.2 s with a thousand listeners), to tell a listener from a
    // port merely held by a connection.
    bool free = false;
    try {
      free = !facts.databasePort || PortCanBeBoundExclusively(*facts.databasePort);
    } catch (const Failure&) {
      // No socket to try with: the table tells.
    }
    if (!free) {
      const TcpListeners listeners = ListeningTcpPorts();
      facts.databaseTakenBefore =
          TableListensOn(listeners.sockets, *facts.databasePort) ||
          (!listeners.complete && LoopbackPortAccepts(*facts.databasePort, kPortCheckLimitMs));
    }
  } catch (...) {
    // Without my.ini there is no database to watch; the site is watched all the same.
    facts.databasePort.reset();
  }
  return facts;
}

SiteWatcher::SiteWatcher(HWND window, UINT firstMessage, UINT messageCount, UINT_PTR timerId,
                         WatchView& view)
    : window_(window),
      timerId_(timerId),
      fetchMessage_(firstMessage + messageCount - 1),
      noteMessage_(firstMessage + messageCount - 2),
      holderMessage_(firstMessage + messageCount - 3),
      sockets_(window, firstMessage, messageCount - 3),
      fetcher_(window, fetchMessage_),
      note_(window, noteMessage_),
      holder_(window, holderMessage_),
      watch_(*this, view) {}

SiteWatcher::~SiteWatcher() {
  Stop();
}

void SiteWatcher::Start(const WatchFacts& facts, UniqueKernelHandle script) {
  Stop();
  script_ = std::move(script);
  WatchFacts known = facts;
  known.scriptKnown = static_cast<bool>(script_);
  // Who holds a port taken before the script: the owners' table and the services take long to
  // read on a busy machine.
  if (known.databasePort && known.databaseTakenBefore) {
    try {
      known.databaseHolderPending =
          holder_.Start([port = *known.databasePort, folder = AppFolder()] {
            return HolderOfPort(port, folder);
          });
    } catch (const Failure&) {
      // Without the folder the holder is not asked for, and stays unnamed.
    }
  }
  watch_.Start(known, Now());
  if (watch_.Watching())
    SetTimer(window_, timerId_, static_cast<UINT>(kWatchIntervalMs), nullptr);
}

void SiteWatcher::OnTimer() noexcept {
  CheckScriptEnd();
  try {
    watch_.Tick(Now());
  } catch (...) {
    // Try does not throw; the watch goes on with the next tick.
  }
  if (!watch_.Watching())
    Stop();
}

void SiteWatcher::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) noexcept {
  if (message == noteMessage_ || message == holderMessage_) {
    try {
      if (message == noteMessage_) {
        if (const std::optional<std::string> note = note_.Take(wParam))
          watch_.ServiceNoteLearnt(*note);
      } else if (const std::optional<PortHolder> holder = holder_.Take(wParam)) {
        watch_.HolderLearnt(holder->kind == HolderKind::kOwnBundle, HolderName(*holder), Now());
      }
    } catch (...) {
      // Out of memory for a text: the watch goes on without it.
    }
    if (!watch_.Watching())
      Stop();
    return;
  }
  if (message == fetchMessage_) {
    const auto fetched = fetcher_.Take(wParam, lParam);
    if (!fetched)
      return;  // a request of a watch that was stopped
    try {
      watch_.Fetched(fetched->first, fetched->second, Now());
    } catch (...) {
      // Out of memory for a text: the state is shown again at the next tick.
    }
    if (!watch_.Watching())
      Stop();
    return;
  }
  const std::optional<SocketEvent> event = sockets_.TakeEvent(message, wParam, lParam);
  if (!event || !event->connected)
    return;  // refused: the next tick tries again
  sockets_.Close(event->index);
  try {
    watch_.Answered(static_cast<WatchTarget>(event->index), Now());
  } catch (...) {
    // Out of memory for a text: the state is shown again at the next tick.
  }
  if (!watch_.Watching())
    Stop();
}

void SiteWatcher::Stop() noexcept {
  KillTimer(window_, timerId_);
  watch_.Stop();
  sockets_.CloseAll();
  fetcher_.CancelAll();
  note_.Cancel();
  holder_.Cancel();
  script_.reset();
}

void SiteWatcher::Try(WatchTarget target, int32_t port) {
  const auto index = static_cast<int16_t>(target);
  try {
    if (!sockets_.Exists(index))
      sockets_.Create(index);
    sockets_.Connect(index, "127.0.0.1", port);
  } catch (const Failure&) {
    // No socket now: this attempt counts as refused, and the next tick tries again.
    sockets_.Close(index);
  }
}

void SiteWatcher::Fetch(SiteLink link, const LinkRequest& request) {
  fetcher_.Fetch(link, request);
}

void SiteWatcher::AskServiceNote() {
  // Where no thread can be started, the texts go without the note.
  note_.Start([folder = AppFolder()] { return StoppedBundleServiceNote(folder); });
}

void SiteWatcher::StopAll() noexcept {
  sockets_.CloseAll();
  fetcher_.CancelAll();
}

void SiteWatcher::CheckScriptEnd() noexcept {
  if (!script_ || WaitForSingleObject(script_.get(), 0) != WAIT_OBJECT_0)
    return;
  DWORD code = 0;
  std::optional<uint32_t> exitCode;
  if (GetExitCodeProcess(script_.get(), &code))
    exitCode = code;
  script_.reset();
  watch_.ScriptEnded(exitCode, Now());
}

}  // namespace orv
