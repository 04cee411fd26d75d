#include "watch/site_watch.h"

#include <algorithm>
#include <cstdio>

#include "platform/chinese_text.h"

namespace orv {
namespace {

// What to do where something does not answer: the script tells why in its window.
constexpr char kAdvice[] = "请以管理员身份运行 install.bat，查看它给出的提示。";
constexpr char kAdviceShort[] = "请以管理员身份运行 install.bat";
// The script waits at its end (pause) with its window open, where it tells what went wrong.
constexpr char kScriptRunning[] = "安装脚本仍在运行，请查看它的窗口中给出的提示。";
constexpr char kScriptRunningShort[] = "请查看安装脚本窗口中的提示";

// Small codes as the command processor gives them; a system status (a crash, a missing DLL) in
// the hexadecimal form it is documented in.
std::string ExitCodeText(uint32_t code) {
  if (code < 0x10000)
    return std::to_string(code);
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(code));
  return text;
}

bool WatchesDatabase(const WatchFacts& facts) {
  // A port that another program held before the script answers for that program, not ours.
  return facts.databasePort && !facts.databaseTakenBefore;
}

bool DatabaseSilent(const WatchFacts& facts) {
  return WatchesDatabase(facts) && !facts.databaseAnswers;
}

std::string DatabasePort(const WatchFacts& facts) {
  return std::to_string(facts.databasePort.value_or(0));
}

// That the database's port was taken before the script, and by whom where Windows tells; a
// sentence.
std::string PortTakenText(const WatchFacts& facts) {
  const std::string port = DatabasePort(facts);
  if (facts.databaseHolder.empty()) {  // not known (yet) which program holds it
    return "MySQL 数据库的端口 " + port + " 在安装脚本启动前已被占用" +
           (facts.databaseHolderPending ? "（正在查询是哪个程序…）" : "（无法确定是哪个程序）") +
           "，MySQL 数据库可能无法启动。";
  }
  return JoinWords({"MySQL 数据库的端口 " + port + " 已被", facts.databaseHolder,
                    "占用，MySQL 数据库无法启动。请关闭它，然后以管理员身份运行 install.bat。"});
}

// The port taken, for the status panel.
std::string PortTakenLine(const WatchFacts& facts) {
  const std::string port = DatabasePort(facts);
  if (facts.databaseHolder.empty())
    return "MySQL 数据库的端口 " + port + " 已被占用，可能无法启动";
  return JoinWords({"MySQL 数据库的端口 " + port + " 已被", facts.databaseHolder, "占用"});
}

bool PortTaken(const WatchFacts& facts) {
  return facts.databasePort && facts.databaseTakenBefore;
}

bool ScriptRunning(const WatchFacts& facts) {
  return facts.scriptKnown && !facts.scriptEnded;
}

// What follows a text that says something does not answer: the stopped service, then what to do.
std::string SilentEnding(const WatchFacts& facts) {
  return AsSentence(facts.silence.serviceNote) + (ScriptRunning(facts) ? kScriptRunning : kAdvice);
}

// The short line's action where something does not answer.
std::string ShortAdvice(const WatchFacts& facts) {
  return ScriptRunning(facts) ? kScriptRunningShort : kAdviceShort;
}

// Why the site gave no response, and the script's code where it ended with one other than 0.
std::string SiteDetails(const WatchFacts& facts) {
  std::string details;
  if (facts.siteFailure == FetchFailure::kTimeout)
    details = "请求超时";
  else if (facts.siteFailure == FetchFailure::kConnectTimeout)
    details = "连接超时";
  else if (facts.siteFailure == FetchFailure::kReset)
    details = "连接被断开";
  if (facts.scriptEnded && facts.exitCode && *facts.exitCode != 0)
    details +=
        (details.empty() ? "" : "；") + ("安装脚本的退出代码为 " + ExitCodeText(*facts.exitCode));
  return details.empty() ? "" : "（" + details + "）";
}

// What an error status means to the user; the code follows in parentheses.
std::string StatusMeaning(int32_t status) {
  switch (status) {
    case 401:
      return "需要登录";
    case 403:
      return "禁止访问";
    case 404:
      return "找不到网页";
    case 500:
      return "网站出错";
    case 502:
    case 503:
    case 504:
      return "暂时无法访问";
    default:
      return status >= 500 ? "网站出错" : "网页无法打开";
  }
}

}  // namespace

LinkRequest RequestFor(SiteLink link, int32_t port) {
  LinkRequest request;
  request.port = port;
  request.host = SiteHost(port);
  request.path = std::string(SitePath(link));
  return request;
}

FetchFailure FailureOfError(uint32_t code, FetchPhase phase) {
  switch (code) {
    case 12002:  // ERROR_WINHTTP_TIMEOUT
    case 10060:  // WSAETIMEDOUT, as Wine passes it through
      return phase == FetchPhase::kResponse ? FetchFailure::kTimeout
                                            : FetchFailure::kConnectTimeout;
    case 12030:  // ERROR_WINHTTP_CONNECTION_ERROR
    case 12152:  // ERROR_WINHTTP_INVALID_SERVER_RESPONSE
    case 10053:  // WSAECONNABORTED
    case 10054:  // WSAECONNRESET
      return FetchFailure::kReset;
    default:
      return FetchFailure::kRefused;
  }
}

bool IsSilent(WatchState state) {
  return state == WatchState::kSiteSilent || state == WatchState::kDatabaseSilent ||
         state == WatchState::kBothSilent;
}

bool StatusIsFine(int32_t status) {
  return status >= 200 && status < 400;
}

WatchState EndState(const WatchFacts& facts) {
  // The site's own trouble is named too where the database's port was taken: the texts of the
  // site's states name the taken port as well.
  if (!facts.siteAnswers)
    return DatabaseSilent(facts) ? WatchState::kBothSilent : WatchState::kSiteSilent;
  for (const std::optional<int32_t>& status : facts.linkStatus) {
    if (!status || !StatusIsFine(*status))
      return WatchState::kLinkFailed;
  }
  if (PortTaken(facts))
    return WatchState::kDatabasePortTaken;
  if (DatabaseSilent(facts))
    return WatchState::kDatabaseSilent;
  return WatchState::kStarted;
}

namespace {

// What the servers' logs said, after the text of a state that says something does not answer.
std::string WithCauses(const std::string& text, const WatchFacts& facts) {
  std::string whole = text;
  if (!facts.silence.databaseCause.empty())
    whole += "\n\nMySQL 报告：" + facts.silence.databaseCause;
  if (!facts.silence.siteCause.empty())
    whole += "\n\nApache 报告：" + facts.silence.siteCause;
  if (!facts.silence.excerpt.empty())
    whole += "\n\n日志摘录：\n" + facts.silence.excerpt;
  return whole;
}

std::string SilentText(WatchState state, const WatchFacts& facts) {
  const std::string databasePort = DatabasePort(facts);
  switch (state) {
    case WatchState::kDatabaseSilent:
      return "网站已启动，但 MySQL 数据库（端口 " + databasePort + "）没有响应。" +
             SilentEnding(facts);
    case WatchState::kSiteSilent:
      return "网站没有响应" + SiteDetails(facts) + "。" +
             (PortTaken(facts) ? PortTakenText(facts) : "") + SilentEnding(facts);
    default:
      return "网站和 MySQL 数据库（端口 " + databasePort + "）都没有响应" + SiteDetails(facts) +
             "。" + SilentEnding(facts);
  }
}

// The links that do not open: "Brenlit 网站无法打开：找不到网页（HTTP 404）".
std::string FailedLinksText(const WatchFacts& facts) {
  std::string text;
  for (const SiteLink link : kSiteLinks) {
    const std::optional<int32_t>& status = facts.linkStatus[static_cast<size_t>(link)];
    if (status && StatusIsFine(*status))
      continue;
    text +=
        (text.empty() ? "" : "；") + std::string(SiteName(link)) + " 网站" +
        (status ? "无法打开：" + StatusMeaning(*status) + "（HTTP " + std::to_string(*status) + "）"
                : std::string("没有响应"));
  }
  return text;
}

// The links that do not open, for the status panel: their names and what the first one gave.
std::string FailedLinksLine(const WatchFacts& facts) {
  std::string names;
  std::optional<int32_t> first;
  bool silent = false;
  for (const SiteLink link : kSiteLinks) {
    const std::optional<int32_t>& status = facts.linkStatus[static_cast<size_t>(link)];
    if (status && StatusIsFine(*status))
      continue;
    names = JoinWords({names, names.empty() ? "" : "和", SiteName(link)});
    if (!status)
      silent = true;
    else if (!first)
      first = status;
  }
  if (first && !silent)
    return names + " 网站" + StatusMeaning(*first) + "（HTTP " + std::to_string(*first) + "）";
  return names + " 网站无法打开";
}

}  // namespace

std::string WatchLine(WatchState state, const WatchFacts& facts) {
  const SilenceFacts& why = facts.silence;
  // The servers' own words name the cause; otherwise the line says what to do.
  switch (state) {
    case WatchState::kDatabaseSilent:
      if (!why.databaseCause.empty())
        return "数据库没有响应：MySQL 报告 " + why.databaseCause;
      return "MySQL 数据库没有响应，" + ShortAdvice(facts);
    case WatchState::kSiteSilent:
      if (!why.siteCause.empty())
        return "网站没有响应：Apache 报告 " + why.siteCause;
      return "网站没有响应，" + ShortAdvice(facts);
    case WatchState::kBothSilent:
      if (!why.databaseCause.empty())
        return "网站和数据库都没有响应：MySQL 报告 " + why.databaseCause;
      if (!why.siteCause.empty())
        return "网站和数据库都没有响应：Apache 报告 " + why.siteCause;
      return "网站和 MySQL 没有响应，" + ShortAdvice(facts);
    case WatchState::kLinkFailed:
      if (DatabaseSilent(facts)) {
        if (!why.databaseCause.empty())
          return "数据库没有响应：MySQL 报告 " + why.databaseCause;
        return FailedLinksLine(facts) + "，MySQL 数据库没有响应";
      }
      return FailedLinksLine(facts) + "，请检查 httpd.conf";
    case WatchState::kDatabasePortTaken:
      return PortTakenLine(facts);
    case WatchState::kStarting:
    case WatchState::kStarted:
      break;
  }
  return WatchText(state, facts);
}

std::string WatchText(WatchState state, const WatchFacts& facts) {
  if (IsSilent(state))
    return WithCauses(SilentText(state, facts), facts);
  switch (state) {
    case WatchState::kStarting:
      return facts.databasePort ? "正在启动网站和 MySQL 数据库…" : "正在启动网站…";
    case WatchState::kStarted:
      return facts.databasePort ? "网站和 MySQL 数据库已启动" : "网站已启动";
    case WatchState::kDatabaseSilent:
    case WatchState::kSiteSilent:
    case WatchState::kBothSilent:
      break;  // above
    case WatchState::kLinkFailed: {
      const std::string links = FailedLinksText(facts);
      if (DatabaseSilent(facts))
        return WithCauses(links + "；MySQL 数据库（端口 " + DatabasePort(facts) + "）没有响应。" +
                              SilentEnding(facts),
                          facts);
      return links + "。" + (PortTaken(facts) ? PortTakenText(facts) : "") +
             "请检查 httpd.conf 中该网站的设置。";
    }
    case WatchState::kDatabasePortTaken:
      return PortTakenText(facts);
  }
  return {};
}

void SiteWatch::Start(const WatchFacts& facts, int64_t nowMs) {
  Stop();
  facts_ = facts;
  facts_.scriptEnded = false;
  facts_.exitCode.reset();
  facts_.siteAnswers = false;
  facts_.databaseAnswers = false;
  facts_.siteFailure = FetchFailure::kNone;
  facts_.linkStatus = {};
  facts_.silence = {};
  fetching_ = {};
  shownState_ = WatchState::kStarting;
  startMs_ = nowMs;
  phase_ = Phase::kFast;
  shown_ = Display(WatchState::kStarting);
  view_.ShowWatchText(shown_);
  TryWhatIsSilent();
}

void SiteWatch::ScriptEnded(std::optional<uint32_t> exitCode, int64_t nowMs) {
  if (!Watching() || facts_.scriptEnded)
    return;
  facts_.scriptEnded = true;
  facts_.exitCode = exitCode;
  scriptEndMs_ = nowMs;
}

void SiteWatch::Answered(WatchTarget target, int64_t nowMs) {
  if (!Watching() || target != WatchTarget::kDatabase || !WatchesDatabase())
    return;
  facts_.databaseAnswers = true;
  AfterAnswer(nowMs);
}

void SiteWatch::Fetched(SiteLink link, const FetchOutcome& outcome, int64_t nowMs) {
  const auto index = static_cast<size_t>(link);
  if (!Watching() || index >= fetching_.size() || !fetching_[index])
    return;
  fetching_[index] = false;
  if (outcome.status) {
    facts_.linkStatus[index] = outcome.status;
    facts_.siteAnswers = true;
    facts_.siteFailure = FetchFailure::kNone;
    for (const SiteLink other : kSiteLinks) {
      if (!facts_.linkStatus[static_cast<size_t>(other)])
        FetchLink(other);  // once the site answers, each link is fetched
    }
  } else if (!facts_.siteAnswers) {
    facts_.siteFailure = outcome.failure;
  }
  AfterAnswer(nowMs);
}

void SiteWatch::WhySilentLearnt(const SilenceFacts& silence) {
  if (!Watching())
    return;
  facts_.silence = silence;
  if (EndShown())
    Show(shownState_);
}

WatchDisplay SiteWatch::Display(WatchState state) const {
  WatchDisplay display{WatchLine(state, facts_), WatchText(state, facts_), {}};
  if (IsSilent(state))
    display.logPath = facts_.silence.logPath;
  return display;
}

void SiteWatch::Show(WatchState state) {
  WatchDisplay display = Display(state);
  if (display == shown_)
    return;
  shown_ = std::move(display);
  view_.ShowWatchText(shown_);
}

void SiteWatch::HolderLearnt(bool ownBundle, const std::string& name, int64_t nowMs) {
  if (!Watching() || !facts_.databaseHolderPending)
    return;
  facts_.databaseHolderPending = false;
  if (ownBundle) {
    facts_.databaseTakenBefore = false;
    facts_.databaseHolder.clear();
    if (!facts_.databaseAnswers)
      connections_.Try(WatchTarget::kDatabase, *facts_.databasePort);
    return;  // the database's answer, or the next tick, shows what follows
  }
  facts_.databaseHolder = name;
  if (EndShown())
    ShowEnd(nowMs);
}

void SiteWatch::Tick(int64_t nowMs) {
  if (phase_ == Phase::kFast) {
    if (nowMs >= DueMs() && !AwaitingLinks())
      ShowEnd(nowMs);
    else
      TryWhatIsSilent();
    return;
  }
  if (phase_ != Phase::kSlow)
    return;
  if (!AwaitingLinks())
    ShowEnd(nowMs);  // the script may have ended meanwhile
  if (phase_ == Phase::kSlow && nowMs >= nextSlowTryMs_) {
    nextSlowTryMs_ = nowMs + kWatchSlowIntervalMs;
    TryWhatIsSilent();
  }
}

void SiteWatch::Stop() noexcept {
  if (phase_ != Phase::kOver)
    connections_.StopAll();
  phase_ = Phase::kOver;
  fetching_ = {};
}

bool SiteWatch::WatchesDatabase() const {
  return orv::WatchesDatabase(facts_);
}

bool SiteWatch::LinksProven() const {
  return std::ranges::all_of(
      facts_.linkStatus, [](const std::optional<int32_t>& status) { return status.has_value(); });
}

// The site answers and a link's request is in flight: it ends in bounded time, and the state is
// shown with its outcome.
bool SiteWatch::AwaitingLinks() const {
  return facts_.siteAnswers && std::ranges::count(fetching_, true) > 0;
}

bool SiteWatch::AllAnswered() const {
  return facts_.siteAnswers && LinksProven() && (!WatchesDatabase() || facts_.databaseAnswers);
}

int64_t SiteWatch::DueMs() const {
  int64_t due = startMs_ + kWatchLongestMs;
  if (facts_.scriptEnded && facts_.exitCode && *facts_.exitCode != 0)
    due = std::min(due, scriptEndMs_ + kWatchAfterScriptMs);
  return due;
}

void SiteWatch::TryWhatIsSilent() {
  if (!facts_.siteAnswers) {
    // The first link is the site's proof; the other is fetched once the site answers.
    FetchLink(SiteLink::kQorn);
  } else {
    for (const SiteLink link : kSiteLinks) {
      if (!facts_.linkStatus[static_cast<size_t>(link)])
        FetchLink(link);
    }
  }
  if (WatchesDatabase() && !facts_.databaseAnswers)
    connections_.Try(WatchTarget::kDatabase, *facts_.databasePort);
}

void SiteWatch::FetchLink(SiteLink link) {
  bool& fetching = fetching_[static_cast<size_t>(link)];
  if (fetching)
    return;
  fetching = true;
  connections_.Fetch(link, RequestFor(link, facts_.sitePort));
}

void SiteWatch::AfterAnswer(int64_t nowMs) {
  if (phase_ == Phase::kFast ? AllAnswered() : !AwaitingLinks())
    ShowEnd(nowMs);
}

void SiteWatch::ShowEnd(int64_t nowMs) {
  const WatchState state = EndState(facts_);
  // Where something does not answer, a stopped service of the bundle may tell why: asked when
  // such a state is first shown, not at every tick after; the text names it once it is learnt.
  const bool askWhy = IsSilent(state) && (phase_ == Phase::kFast || state != shownState_);
  if (askWhy)
    facts_.silence = {};
  shownState_ = state;
  Show(state);
  // A link's error status is its answer; only silence is tried again.
  // A taken port is final once its holder is known (the bundle's own would be watched after all).
  const bool final = state == WatchState::kStarted ||
                     (state == WatchState::kDatabasePortTaken && !facts_.databaseHolderPending) ||
                     (state == WatchState::kLinkFailed && LinksProven() && !DatabaseSilent(facts_));
  if (final) {
    Stop();
    return;
  }
  if (phase_ == Phase::kFast) {
    phase_ = Phase::kSlow;
    nextSlowTryMs_ = nowMs + kWatchSlowIntervalMs;
  }
  if (askWhy)
    connections_.AskWhySilent();
}

}  // namespace orv
