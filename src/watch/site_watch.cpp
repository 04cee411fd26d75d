#include "watch/site_watch.h"

#include <cstdio>

namespace orv {
namespace {

constexpr char kAdvice[] = "请以管理员身份运行 install.bat 查看提示";

// Small codes as the command processor gives them; a system status (a crash, a missing DLL) in
// the hexadecimal form it is documented in.
std::string ExitCodeText(uint32_t code) {
  if (code < 0x10000)
    return std::to_string(code);
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(code));
  return text;
}

}  // namespace

WatchState EndState(const WatchFacts& facts) {
  if (facts.databasePort && facts.databaseTakenBefore)
    return WatchState::kDatabasePortTaken;
  if (!facts.siteAnswers)
    return WatchState::kSiteSilent;
  if (facts.databasePort && !facts.databaseAnswers)
    return WatchState::kDatabaseSilent;
  return WatchState::kStarted;
}

std::string WatchText(WatchState state, const WatchFacts& facts) {
  const std::string databasePort = facts.databasePort ? std::to_string(*facts.databasePort) : "";
  switch (state) {
    case WatchState::kStarting:
      return facts.databasePort ? "正在启动网站和数据库服务…" : "正在启动网站服务…";
    case WatchState::kStarted:
      return facts.databasePort ? "网站和数据库已启动" : "网站已启动";
    case WatchState::kDatabaseSilent:
      return "网站已启动，数据库（端口 " + databasePort + "）没有响应，" + kAdvice;
    case WatchState::kSiteSilent: {
      std::string text = "网站没有响应";
      if (facts.scriptEnded && facts.exitCode && *facts.exitCode != 0)
        text += "（安装脚本退出码 " + ExitCodeText(*facts.exitCode) + "）";
      return text + "，" + kAdvice;
    }
    case WatchState::kDatabasePortTaken: {
      if (facts.databaseHolder.empty())  // Windows did not say which program holds it
        return "数据库端口 " + databasePort +
               " 在安装脚本启动前已被占用（Windows 没有告知是哪个程序），数据库可能无法启动";
      return "数据库端口 " + databasePort + " 已被 " + facts.databaseHolder +
             " 占用，数据库无法启动";
    }
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
  startMs_ = nowMs;
  watching_ = true;
  view_.ShowWatchText(WatchText(WatchState::kStarting, facts_));
  TryWhatIsSilent();
}

void SiteWatch::ScriptEnded(std::optional<uint32_t> exitCode, int64_t nowMs) {
  if (!watching_ || facts_.scriptEnded)
    return;
  facts_.scriptEnded = true;
  facts_.exitCode = exitCode;
  scriptEndMs_ = nowMs;
}

void SiteWatch::Answered(WatchTarget target, int64_t /*nowMs*/) {
  if (!watching_)
    return;
  if (target == WatchTarget::kSite)
    facts_.siteAnswers = true;
  else if (WatchesDatabase())
    facts_.databaseAnswers = true;
  if (AllAnswered())
    Finish();
}

void SiteWatch::Tick(int64_t nowMs) {
  if (!watching_)
    return;
  const bool late = nowMs - startMs_ >= kWatchLongestMs ||
                    (facts_.scriptEnded && nowMs - scriptEndMs_ >= kWatchAfterScriptMs);
  if (late) {
    Finish();
    return;
  }
  TryWhatIsSilent();
}

void SiteWatch::Stop() noexcept {
  if (watching_)
    connections_.StopAll();
  watching_ = false;
}

bool SiteWatch::WatchesDatabase() const {
  // A port that another program held before the script answers for that program, not ours.
  return facts_.databasePort && !facts_.databaseTakenBefore;
}

bool SiteWatch::AllAnswered() const {
  return facts_.siteAnswers && (!WatchesDatabase() || facts_.databaseAnswers);
}

void SiteWatch::TryWhatIsSilent() {
  if (!facts_.siteAnswers)
    connections_.Try(WatchTarget::kSite, facts_.sitePort);
  if (WatchesDatabase() && !facts_.databaseAnswers)
    connections_.Try(WatchTarget::kDatabase, *facts_.databasePort);
}

void SiteWatch::Finish() {
  Stop();
  view_.ShowWatchText(WatchText(EndState(facts_), facts_));
}

}  // namespace orv
