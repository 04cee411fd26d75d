#include "watch/site_watch.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace orv {
namespace {

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

WatchFacts Facts(bool site, bool database, std::optional<int32_t> databasePort = 3306) {
  WatchFacts facts;
  facts.sitePort = 81;
  facts.databasePort = databasePort;
  facts.siteAnswers = site;
  facts.databaseAnswers = database;
  return facts;
}

TEST(WatchEndState, FollowsWhatAnswered) {
  EXPECT_EQ(EndState(Facts(true, true)), WatchState::kStarted);
  EXPECT_EQ(EndState(Facts(true, false, std::nullopt)), WatchState::kStarted);
  EXPECT_EQ(EndState(Facts(true, false)), WatchState::kDatabaseSilent);
  EXPECT_EQ(EndState(Facts(false, true)), WatchState::kSiteSilent);
  WatchFacts taken = Facts(true, false);
  taken.databaseTakenBefore = true;
  EXPECT_EQ(EndState(taken), WatchState::kDatabasePortTaken);
  taken.siteAnswers = false;
  EXPECT_EQ(EndState(taken), WatchState::kDatabasePortTaken);
}

TEST(WatchEndState, TextsSayWhatHappened) {
  EXPECT_TRUE(Has(WatchText(WatchState::kStarted, Facts(true, true)), "已启动"));
  const std::string silentDatabase = WatchText(WatchState::kDatabaseSilent, Facts(true, false));
  for (const char* part : {"已启动", "数据库", "没有响应", "3306"})
    EXPECT_TRUE(Has(silentDatabase, part)) << part;

  WatchFacts ended = Facts(false, false);
  ended.scriptEnded = true;
  ended.exitCode = 3;
  std::string silentSite = WatchText(WatchState::kSiteSilent, ended);
  for (const char* part : {"没有响应", "退出码 3", "以管理员身份运行 install.bat"})
    EXPECT_TRUE(Has(silentSite, part)) << part;
  EXPECT_FALSE(Has(silentSite, "已启动"));
  ended.exitCode = 0;  // a script that ended well has no code to tell
  EXPECT_FALSE(Has(WatchText(WatchState::kSiteSilent, ended), "退出码"));
  ended.exitCode = 0xC0000135;
  EXPECT_TRUE(Has(WatchText(WatchState::kSiteSilent, ended), "退出码 0xC0000135"));

  WatchFacts taken = Facts(true, false, 3307);
  taken.databaseTakenBefore = true;
  taken.databaseHolder = "mysqld.exe";
  EXPECT_TRUE(Has(WatchText(WatchState::kDatabasePortTaken, taken), "3307 已被 mysqld.exe 占用"));
  // A holder that Windows does not name is not called another program.
  taken.databaseHolder.clear();
  const std::string unnamed = WatchText(WatchState::kDatabasePortTaken, taken);
  EXPECT_TRUE(Has(unnamed, "3307 在安装脚本启动前已被占用（Windows 没有告知是哪个程序）"))
      << unnamed;
  EXPECT_FALSE(Has(unnamed, "另一个程序")) << unnamed;
}

class FakeWatchMachine : public WatchConnections, public WatchView {
 public:
  void Try(WatchTarget target, int32_t port) override {
    tries.push_back((target == WatchTarget::kSite ? "site " : "database ") + std::to_string(port));
  }
  void StopAll() noexcept override { ++stops; }
  void ShowWatchText(const std::string& text) override { shown.push_back(text); }

  std::vector<std::string> tries;
  std::vector<std::string> shown;
  int stops = 0;
};

TEST(SiteWatch, TriesEveryTickUntilBothAnswer) {
  FakeWatchMachine machine;
  SiteWatch watch(machine, machine);
  watch.Start(Facts(false, false), 0);
  EXPECT_EQ(machine.shown, std::vector<std::string>{"正在启动网站和数据库服务…"});
  EXPECT_EQ(machine.tries, (std::vector<std::string>{"site 81", "database 3306"}));

  watch.Answered(WatchTarget::kSite, 300);
  watch.Tick(500);
  EXPECT_EQ(machine.tries.back(), "database 3306");
  EXPECT_EQ(machine.tries.size(), 3u);
  watch.Answered(WatchTarget::kDatabase, 700);
  EXPECT_FALSE(watch.Watching());
  EXPECT_EQ(machine.shown.back(), "网站和数据库已启动");
  EXPECT_EQ(machine.stops, 1);
  watch.Tick(1000);  // over: nothing more is tried or shown
  EXPECT_EQ(machine.tries.size(), 3u);
  EXPECT_EQ(machine.shown.size(), 2u);
}

TEST(SiteWatch, EndsFifteenSecondsAfterTheScriptOrAfterTwoMinutes) {
  FakeWatchMachine machine;
  SiteWatch watch(machine, machine);
  watch.Start(Facts(false, false), 1000);
  watch.ScriptEnded(3, 2000);
  watch.Tick(2000 + kWatchAfterScriptMs - 1);
  EXPECT_TRUE(watch.Watching());
  watch.Tick(2000 + kWatchAfterScriptMs);
  EXPECT_FALSE(watch.Watching());
  EXPECT_TRUE(Has(machine.shown.back(), "退出码 3"));

  // A script whose end is never learnt: two minutes.
  watch.Start(Facts(true, false), 0);
  watch.Answered(WatchTarget::kSite, 10);
  watch.Tick(kWatchLongestMs - 1);
  EXPECT_TRUE(watch.Watching());
  watch.Tick(kWatchLongestMs);
  EXPECT_EQ(EndState(watch.Facts()), WatchState::kDatabaseSilent);
}

TEST(SiteWatch, LeavesADatabasePortTakenBeforeTheScriptAlone) {
  FakeWatchMachine machine;
  SiteWatch watch(machine, machine);
  WatchFacts facts = Facts(false, false);
  facts.databaseTakenBefore = true;
  facts.databaseHolder = "另一个程序";
  watch.Start(facts, 0);
  EXPECT_EQ(machine.tries, std::vector<std::string>{"site 81"});
  watch.Answered(WatchTarget::kDatabase, 100);  // the other program's answer counts for nothing
  EXPECT_TRUE(watch.Watching());
  watch.Answered(WatchTarget::kSite, 200);
  EXPECT_FALSE(watch.Watching());
  EXPECT_TRUE(Has(machine.shown.back(), "3306 已被 另一个程序 占用"));
}

}  // namespace
}  // namespace orv
