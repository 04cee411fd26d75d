#include "watch/site_watch_win32.h"

#include "bundle/bundle_services_win32.h"
#include "bundle/installation_win32.h"
#include "configure/configure_bundle.h"
#include "configure/placeholder.h"
#include "platform/ascii_text.h"
#include "platform/failure.h"
#include "platform/file_system_win32.h"
#include "platform/system_error_win32.h"
#include "platform/text_win32.h"
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

// A log's lines since the script's start that say why its server does not answer; its most telling
// line (UTF-8) into `cause` and its lines into `excerpt`. False where the log says no cause.
bool ReadCause(const std::string& bytes, const LogSince& since, std::string& cause,
               std::string& excerpt) {
  const LogExcerpt found = ExcerptOfLog(bytes, since, LeadBytes::From(IsAnsiLeadByte));
  if (found.cause.empty())
    return false;
  cause = WideToUtf8(AnsiToWide(found.cause)) + (found.causeCut ? "…" : "");
  for (const std::string& line : found.lines)
    excerpt += (excerpt.empty() ? "" : "\n") + WideToUtf8(AnsiToWide(line));
  return true;
}

// The cause in a log file written since `start`; the file's path where it named one.
std::optional<std::string> CauseInLog(const std::optional<std::string>& path,
                                      const LogMoment& start, std::string& cause,
                                      std::string& excerpt) {
  if (!path)
    return std::nullopt;
  try {
    const std::optional<LogTail> tail = ReadLogTail(*path);
    if (!tail)
      return std::nullopt;
    const LogSince since{start.local, start.utc, std::nullopt, tail->offset};
    if (ReadCause(tail->bytes, since, cause, excerpt))
      return path;
  } catch (const Failure&) {
    // A log that cannot be read names no cause; the texts say what to do all the same.
  }
  return std::nullopt;
}

// The names the web server's service writes the Application event log under: its service name
// and its display name, for the bundle's services whose executable is the web server's.
std::vector<std::string> WebServerSources(const std::vector<ServiceFacts>& services) {
  std::vector<std::string> sources;
  for (const ServiceFacts& service : services) {
    const std::string& path = service.binaryPath;
    const size_t name = path.find_last_of("\\/");
    const std::string_view file =
        std::string_view(path).substr(name == std::string::npos ? 0 : name + 1);
    if (service.insideBundle && StartsWithIgnoringAsciiCase(file, "httpd")) {
      sources.push_back(service.name);
      sources.push_back(service.displayName);
    }
  }
  return sources;
}

// Why the bundle's servers do not answer: a stopped service of the bundle, and what the servers
// wrote since the script started (the database's and the web server's error logs, the web
// server's service's entries in the Application event log). Runs off the window's thread.
SilenceFacts WhySilent(const std::string& folder, const LogMoment& start) {
  SilenceFacts why;
  const std::vector<ServiceFacts> services = ListServices(folder);  // as the script left them
  why.serviceNote = StoppedBundleServiceNote(services);
  std::string excerpt;
  const std::optional<std::string> databaseLog =
      CauseInLog(BundleDatabaseLogPath(folder, services), start, why.databaseCause, excerpt);
  std::optional<std::string> webLog =
      CauseInLog(BundleWebLogPath(folder), start, why.siteCause, excerpt);
  if (!webLog) {
    const std::vector<std::string> sources = WebServerSources(services);
    try {
      if (!sources.empty())
        ReadCause(EventLogText(ApplicationEventsSince(sources, start.unixSeconds)), {},
                  why.siteCause, excerpt);
    } catch (const Failure&) {
      // The event log cannot be read here: the web server's own log was all there was.
    }
  }
  why.excerpt = excerpt;
  why.logPath = databaseLog ? *databaseLog : webLog.value_or(std::string());
  return why;
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
      whyMessage_(firstMessage + messageCount - 2),
      holderMessage_(firstMessage + messageCount - 3),
      sockets_(window, firstMessage, messageCount - 3),
      fetcher_(window, fetchMessage_),
      why_(window, whyMessage_),
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
  scriptStart_ = LogMomentNow();
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
  if (message == whyMessage_ || message == holderMessage_) {
    try {
      if (message == whyMessage_) {
        if (const std::optional<SilenceFacts> why = why_.Take(wParam))
          watch_.WhySilentLearnt(*why);
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
  why_.Cancel();
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

void SiteWatcher::AskWhySilent() {
  // Where no thread can be started, the texts go without the causes.
  why_.Start([folder = AppFolder(), start = scriptStart_] { return WhySilent(folder, start); });
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
