#pragma once
// After the result, the scan window watches the configured bundle come up. The site counts as
// started when an HTTP request to it gets a response (a port that accepts a connection may still
// belong to a web server whose worker died); then each of the two links the window shows is
// fetched once and must give a success or a redirect. The database speaks no HTTP: its port is
// tried with a connect. The rules (what is tried when, when an end state is shown, which text) are
// here; the window gives the requests, the connections, the script's end and the clock.

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "bundle/site_addresses.h"

namespace orv {

inline constexpr int64_t kWatchIntervalMs = 500;
// Where the install script ended with a code other than 0, the end state is shown this long
// after its end...
inline constexpr int64_t kWatchAfterScriptMs = 15000;
// ...otherwise this long after the result (a first start of the database, or a start of the web
// server held up by a virus scanner, can take over a minute).
inline constexpr int64_t kWatchLongestMs = 120000;
// After an end state that says something does not answer, it is tried again this often for as
// long as the window stays open.
inline constexpr int64_t kWatchSlowIntervalMs = 5000;

enum class WatchTarget : int16_t { kSite = 1, kDatabase = 2 };

// A request for one link: connect to 127.0.0.1:port, ask for `path` with `host` as the host
// header (as the link is written: "localhost", or "localhost:81").
struct LinkRequest {
  int32_t port = 0;
  std::string host;
  std::string path;
};
LinkRequest RequestFor(SiteLink link, int32_t port);

// Why a request got no response.
enum class FetchFailure : int16_t {
  kNone,
  kRefused,         // nothing listens (or the request could not be made)
  kTimeout,         // the request was sent, but no response came in time
  kReset,           // the connection was reset or closed without a response
  kConnectTimeout,  // the connection or the sending of the request did not complete in time (a
                    // security suite that drops loopback packets, a lost first handshake)
};
// Where a request failed: while it connected and sent the request (WinHttpSendRequest), or while
// it waited for the response (WinHttpReceiveResponse and after).
enum class FetchPhase : int16_t { kSend, kResponse };
// From the system's error code of a failed request (WinHTTP's, or the Winsock code that Wine
// passes through) and the phase it failed in: only a timeout while waiting for the response means
// a server that accepts and never answers.
FetchFailure FailureOfError(uint32_t code, FetchPhase phase);

// What a request gave: a response's status code, or why there was none.
struct FetchOutcome {
  std::optional<int32_t> status;
  FetchFailure failure = FetchFailure::kRefused;
};

// A success (2xx) or a redirect (3xx, such as a folder's missing final slash).
bool StatusIsFine(int32_t status);

// Why the bundle's servers do not answer, as the system and the servers' own logs tell; asked off
// the window's thread when a state that says so is first shown (text in UTF-8).
struct SilenceFacts {
  std::string serviceNote;    // a stopped service of the bundle, with its exit code; "": none
  std::string siteCause;      // the web server's own words (its error log, or the Application
                              // event log of its service): one line; "": not known
  std::string databaseCause;  // the database server's own words (its error log): one line
  std::string excerpt;        // the lines that say the causes, for the whole text
  std::string logPath;        // the log of the first cause named, which a button opens; "": none
};

struct WatchFacts {
  int32_t sitePort = 0;
  std::optional<int32_t> databasePort;  // none: the bundle configures no database
  bool databaseTakenBefore = false;     // something accepted on it before the script started
  std::string databaseHolder;           // who holds it then, as the user is told
  bool databaseHolderPending = false;   // who holds it is still being asked (HolderLearnt)
  bool scriptKnown = false;             // the script's process is watched: its end will be learnt
  bool scriptEnded = false;
  std::optional<uint32_t> exitCode;  // once ended, where the system tells
  bool siteAnswers = false;          // an HTTP response came back
  bool databaseAnswers = false;
  FetchFailure siteFailure = FetchFailure::kNone;      // the last request's, while it does not
  std::array<std::optional<int32_t>, 2> linkStatus{};  // by SiteLink, once fetched
  // Why the site or the database does not answer, once learnt (the texts that say so name it).
  SilenceFacts silence;
};

enum class WatchState {
  kStarting,           // still watching
  kStarted,            // the site and its links answer, and the database where there is one
  kDatabaseSilent,     // the site answers, the database does not
  kSiteSilent,         // the site does not answer (the database does, or there is none)
  kBothSilent,         // neither the site nor the database answers
  kLinkFailed,         // the site answers, but a link gives an error status
  kDatabasePortTaken,  // another program held the database's port before the script
};

// A state that says the site or the database does not answer.
bool IsSilent(WatchState state);

// The state once the end state is due (the links proven where the site answers).
WatchState EndState(const WatchFacts& facts);

// The whole text for a state (Simplified Chinese, UTF-8): the panel's tooltip, and the box that a
// click on the panel opens.
std::string WatchText(WatchState state, const WatchFacts& facts);
// The status panel's line for a state: the result and what to do first, short enough for the
// panel (about 27 Chinese characters at 96 dpi).
std::string WatchLine(WatchState state, const WatchFacts& facts);

// What the window shows of the watch.
struct WatchDisplay {
  std::string line;     // the status panel
  std::string whole;    // its tooltip, and the box a click on it opens
  std::string logPath;  // the log that the button opens; "": no button
  bool operator==(const WatchDisplay&) const = default;
};

// The requests and connections the watch makes. Try starts a new connect to 127.0.0.1:port (an
// attempt still in flight for the target is dropped), and a later Answered call on the watch
// reports an accepted one; refused attempts need no report. Fetch starts a request for a link
// (the watch never starts a second one for a link before the first is reported), and a later
// Fetched call reports its outcome, whatever it is.
class WatchConnections {
 public:
  virtual ~WatchConnections() = default;
  virtual void Try(WatchTarget target, int32_t port) = 0;
  virtual void Fetch(SiteLink link, const LinkRequest& request) = 0;
  virtual void StopAll() noexcept = 0;
  // Starts learning, off the window's thread, why the site or the database does not answer: what
  // the system says of the bundle's services that have stopped, and what the servers wrote into
  // their logs since the install script started; the answer comes later through
  // SiteWatch::WhySilentLearnt, unless the watch is stopped or started anew first.
  virtual void AskWhySilent() = 0;
};

class WatchView {
 public:
  virtual ~WatchView() = default;
  virtual void ShowWatchText(const WatchDisplay& display) = 0;
};

class SiteWatch {
 public:
  SiteWatch(WatchConnections& connections, WatchView& view)
      : connections_(connections), view_(view) {}

  // From the result on (a watch in progress is dropped): shows that the services are starting and
  // tries the site, and the database unless it was taken before the script. `facts` holds the
  // ports, whether the script's end will be learnt, and what was found before the script.
  void Start(const WatchFacts& facts, int64_t nowMs);
  void ScriptEnded(std::optional<uint32_t> exitCode, int64_t nowMs);
  // The database's port accepted a connection (a kSite report is taken as no proof of the site).
  void Answered(WatchTarget target, int64_t nowMs);
  void Fetched(SiteLink link, const FetchOutcome& outcome, int64_t nowMs);
  // The answer to AskWhySilent: named in the texts shown while something does not answer.
  void WhySilentLearnt(const SilenceFacts& silence);
  // Who held the database's port before the script, asked off the window's thread: the bundle's
  // own server of an earlier configuration (no conflict: the database is watched after all), or
  // another, named as the user is told ("" where Windows does not say).
  void HolderLearnt(bool ownBundle, const std::string& name, int64_t nowMs);
  // Every kWatchIntervalMs: shows the end state when it is due, otherwise tries again what has
  // not answered yet; after an end state that leaves something silent, tries every
  // kWatchSlowIntervalMs and shows the new state when it changes.
  void Tick(int64_t nowMs);
  // Stops the requests and connections; nothing more is shown.
  void Stop() noexcept;

  bool Watching() const { return phase_ != Phase::kOver; }
  // An end state is shown (the watch may still go on, less often).
  bool EndShown() const { return phase_ == Phase::kSlow || phase_ == Phase::kOver; }

 private:
  enum class Phase { kOver, kFast, kSlow };

  bool WatchesDatabase() const;
  bool LinksProven() const;
  bool AwaitingLinks() const;
  bool AllAnswered() const;
  int64_t DueMs() const;
  void TryWhatIsSilent();
  void FetchLink(SiteLink link);
  void AfterAnswer(int64_t nowMs);
  void ShowEnd(int64_t nowMs);
  WatchDisplay Display(WatchState state) const;
  void Show(WatchState state);

  WatchConnections& connections_;
  WatchView& view_;
  WatchFacts facts_;
  Phase phase_ = Phase::kOver;
  std::array<bool, 2> fetching_{};
  WatchDisplay shown_;
  WatchState shownState_ = WatchState::kStarting;
  int64_t startMs_ = 0;
  int64_t scriptEndMs_ = 0;
  int64_t nextSlowTryMs_ = 0;
};

}  // namespace orv
