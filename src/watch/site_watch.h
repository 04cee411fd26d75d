#pragma once
// After the result, the scan window watches the configured bundle come up: it tries the web
// site's port (and the database's) every half second until they accept a connection or the time
// is up, and learns when the install script ends. The rules (what is tried when, when the watch
// is over, which end state and text) are here; the window gives the connections, the script's
// end and the clock.

#include <cstdint>
#include <optional>
#include <string>

namespace orv {

inline constexpr int64_t kWatchIntervalMs = 500;
// The watch ends this long after the install script ended...
inline constexpr int64_t kWatchAfterScriptMs = 15000;
// ...and this long after the result at the latest (also where the script's end is not known).
inline constexpr int64_t kWatchLongestMs = 120000;

enum class WatchTarget : int16_t { kSite = 1, kDatabase = 2 };

struct WatchFacts {
  int32_t sitePort = 0;
  std::optional<int32_t> databasePort;  // none: the bundle configures no database
  bool databaseTakenBefore = false;     // something accepted on it before the script started
  std::string databaseHolder;           // who holds it then, as the user is told
  bool scriptEnded = false;
  std::optional<uint32_t> exitCode;  // once ended, where the system tells
  bool siteAnswers = false;
  bool databaseAnswers = false;
};

enum class WatchState {
  kStarting,           // still watching
  kStarted,            // the site answers, and the database where there is one
  kDatabaseSilent,     // the site answers, the database does not
  kSiteSilent,         // the site does not answer
  kDatabasePortTaken,  // another program held the database's port before the script
};

// The end state once the watch is over.
WatchState EndState(const WatchFacts& facts);

// The status bar's text for a state (Simplified Chinese, UTF-8).
std::string WatchText(WatchState state, const WatchFacts& facts);

// The connections the watch tries: each Try starts a new attempt to 127.0.0.1:port (an attempt
// still in flight for the target is dropped); a later Answered call on the watch reports an
// accepted one. Refused attempts need no report.
class WatchConnections {
 public:
  virtual ~WatchConnections() = default;
  virtual void Try(WatchTarget target, int32_t port) = 0;
  virtual void StopAll() noexcept = 0;
};

class WatchView {
 public:
  virtual ~WatchView() = default;
  virtual void ShowWatchText(const std::string& text) = 0;
};

class SiteWatch {
 public:
  SiteWatch(WatchConnections& connections, WatchView& view)
      : connections_(connections), view_(view) {}

  // From the result on (a watch in progress is dropped): shows that the services are starting and
  // tries the site, and the database unless it was taken before the script. `facts` holds the
  // ports and what was found before the script.
  void Start(const WatchFacts& facts, int64_t nowMs);
  void ScriptEnded(std::optional<uint32_t> exitCode, int64_t nowMs);
  void Answered(WatchTarget target, int64_t nowMs);
  // Every kWatchIntervalMs: ends the watch when its time is up, otherwise tries again whatever
  // has not answered yet.
  void Tick(int64_t nowMs);
  // Stops the connections; nothing more is shown.
  void Stop() noexcept;

  bool Watching() const { return watching_; }
  const WatchFacts& Facts() const { return facts_; }

 private:
  bool WatchesDatabase() const;
  bool AllAnswered() const;
  void TryWhatIsSilent();
  void Finish();

  WatchConnections& connections_;
  WatchView& view_;
  WatchFacts facts_;
  bool watching_ = false;
  int64_t startMs_ = 0;
  int64_t scriptEndMs_ = 0;
};

}  // namespace orv
