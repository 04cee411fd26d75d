#include "watch/site_watch.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace orv {
namespace {

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

WatchFacts Facts(std::optional<int32_t> databasePort = 3306) {
  WatchFacts facts;
  facts.sitePort = 81;
  facts.databasePort = databasePort;
  facts.scriptKnown = true;
  return facts;
}

SilenceFacts Note(const std::string& serviceNote) {
  SilenceFacts why;
  why.serviceNote = serviceNote;
  return why;
}

FetchOutcome Status(int32_t status) {
  return FetchOutcome{status, FetchFailure::kNone};
}

FetchOutcome NoResponse(FetchFailure failure) {
  return FetchOutcome{std::nullopt, failure};
}

class FakeWatchMachine : public WatchConnections, public WatchView {
 public:
  void Try(WatchTarget target, int32_t port) override {
    tries.push_back((target == WatchTarget::kSite ? "site " : "database ") + std::to_string(port));
  }
  void Fetch(SiteLink, const LinkRequest& request) override {
    fetches.push_back(request.host + request.path);
  }
  void StopAll() noexcept override { ++stops; }
  void AskWhySilent() override { ++noteAsked; }
  void ShowWatchText(const WatchDisplay& display) override {
    shown.push_back(display.whole);
    lines.push_back(display.line);
    logPath = display.logPath;
  }

  std::vector<std::string> tries;
  std::vector<std::string> fetches;
  std::vector<std::string> shown;
  std::vector<std::string> lines;
  std::string logPath;
  int stops = 0;
  int noteAsked = 0;
};

TEST(FailureOfError, NamesATimeoutByThePhaseItHappenedIn) {
  // ERROR_WINHTTP_TIMEOUT, and the Winsock code that Wine gives instead.
  for (const uint32_t timedOut : {12002u, 10060u}) {
    EXPECT_EQ(FailureOfError(timedOut, FetchPhase::kSend), FetchFailure::kConnectTimeout);
    EXPECT_EQ(FailureOfError(timedOut, FetchPhase::kResponse), FetchFailure::kTimeout);
  }
  for (const FetchPhase phase : {FetchPhase::kSend, FetchPhase::kResponse}) {
    EXPECT_EQ(FailureOfError(12030, phase), FetchFailure::kReset);
    EXPECT_EQ(FailureOfError(10054, phase), FetchFailure::kReset);
    EXPECT_EQ(FailureOfError(12029, phase), FetchFailure::kRefused);
  }
}

TEST(WatchText, SaysWhatHappened) {
  WatchFacts facts = Facts();
  facts.scriptEnded = true;
  facts.exitCode = 3;
  facts.siteFailure = FetchFailure::kTimeout;
  const std::string both = WatchText(WatchState::kBothSilent, facts);
  for (const char* part : {"网站和 MySQL 数据库", "3306", "没有响应", "请求超时", "退出代码为 3",
                           "请以管理员身份运行 install.bat"})
    EXPECT_TRUE(Has(both, part)) << part;
  facts.exitCode = 0;  // a script that ended well has no code to tell
  EXPECT_FALSE(Has(WatchText(WatchState::kSiteSilent, facts), "退出代码"));
  facts.exitCode = 0xC0000135;
  EXPECT_TRUE(Has(WatchText(WatchState::kSiteSilent, facts), "退出代码为 0xC0000135"));

  // A script still waiting in its window: the user is sent there, not told to run it again. The
  // stopped service's note is a sentence of its own, whether or not it ends in a full stop.
  WatchFacts running = Facts();
  for (const char* note : {"服务“X”已停止，退出代码 1067：进程意外终止。", "服务“X”已停止"}) {
    running.silence.serviceNote = note;
    const std::string silent = WatchText(WatchState::kDatabaseSilent, running);
    for (const char* part :
         {"网站已启动", "MySQL 数据库（端口 3306）没有响应", "服务“X”已停止", "仍在运行"})
      EXPECT_TRUE(Has(silent, part)) << part;
    EXPECT_FALSE(Has(silent, "install.bat"));
    for (const char* stray : {"。，", "。。", "，，"})
      EXPECT_FALSE(Has(silent, stray)) << silent;
  }

  WatchFacts taken = Facts(3307);
  taken.databaseTakenBefore = true;
  taken.databaseHolder = "mysqld.exe";
  EXPECT_TRUE(Has(WatchText(WatchState::kDatabasePortTaken, taken), "3307 已被 mysqld.exe 占用"));
  // A holder that Windows does not name is not called another program.
  taken.databaseHolder.clear();
  const std::string unnamed = WatchText(WatchState::kDatabasePortTaken, taken);
  EXPECT_TRUE(Has(unnamed, "3307 在安装脚本启动前已被占用（无法确定是哪个程序）")) << unnamed;
  EXPECT_FALSE(Has(unnamed, "另一个程序")) << unnamed;

  // An error status says what it means, its code after it.
  WatchFacts missing = Facts(std::nullopt);
  missing.siteAnswers = true;
  missing.linkStatus = {200, 404};
  const std::string link = WatchText(WatchState::kLinkFailed, missing);
  EXPECT_TRUE(Has(link, "Brenlit 网站无法打开：找不到网页（HTTP 404）")) << link;
  EXPECT_FALSE(Has(link, "Dovrel")) << link;
}

// The status panel holds about 27 Chinese characters at 96 dpi; a Latin letter takes about half
// the room of one.
double PanelWidth(const std::string& utf8) {
  double width = 0;
  for (const char c : utf8) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80)
      width += 0.5;
    else if ((byte & 0xC0) != 0x80)
      width += 1;
  }
  return width;
}

// The line puts the result first and what to do right after it, within the panel; the whole
// text stays in the tooltip and the box.
TEST(WatchLine, PutsTheResultAndTheActionFirstWithinThePanel) {
  WatchFacts ended = Facts();
  ended.scriptEnded = true;
  ended.exitCode = 1;
  ended.siteFailure = FetchFailure::kConnectTimeout;
  ended.silence.serviceNote = "服务“Apache2.4”已停止，退出代码 1067：进程意外终止。";
  WatchFacts running = Facts();
  struct Case {
    WatchState state;
    const WatchFacts& facts;
    const char* result;
    const char* action;
  };
  const Case cases[] = {
      {WatchState::kSiteSilent, ended, "网站没有响应", "请以管理员身份运行 install.bat"},
      {WatchState::kDatabaseSilent, ended, "MySQL 数据库没有响应", "以管理员身份运行"},
      {WatchState::kBothSilent, ended, "网站和 MySQL 没有响应", "以管理员身份运行"},
      {WatchState::kBothSilent, running, "网站和 MySQL 没有响应", "请查看安装脚本窗口"},
  };
  for (const Case& c : cases) {
    const std::string line = WatchLine(c.state, c.facts);
    EXPECT_EQ(line.rfind(c.result, 0), 0u) << line;
    EXPECT_TRUE(Has(line, c.action)) << line;
    EXPECT_LE(PanelWidth(line), 27) << line;
    EXPECT_NE(line, WatchText(c.state, c.facts));
  }

  WatchFacts links = Facts(std::nullopt);
  links.siteAnswers = true;
  links.linkStatus = {200, 404};
  const std::string link = WatchLine(WatchState::kLinkFailed, links);
  EXPECT_EQ(link, "Brenlit 网站找不到网页（HTTP 404），请检查 httpd.conf");
  EXPECT_LE(PanelWidth(link), 27) << link;

  WatchFacts taken = Facts(3307);
  taken.databaseTakenBefore = true;
  taken.databaseHolder = "服务“MySQL”";
  EXPECT_EQ(WatchLine(WatchState::kDatabasePortTaken, taken),
            "MySQL 数据库的端口 3307 已被服务“MySQL”占用");
}

TEST(SiteWatch, ProvesTheSiteByAResponseThenEachLink) {
  FakeWatchMachine machine;
  SiteWatch watch(machine, machine);
  watch.Start(Facts(), 0);
  EXPECT_EQ(machine.shown, std::vector<std::string>{"正在启动网站和 MySQL 数据库…"});
  EXPECT_EQ(machine.fetches, std::vector<std::string>{"localhost:81/qorn"});
  EXPECT_EQ(machine.tries, std::vector<std::string>{"database 3306"});

  // An accepted connection proves nothing; a reset or a silent server neither.
  watch.Answered(WatchTarget::kSite, 100);
  watch.Answered(WatchTarget::kDatabase, 100);
  watch.Fetched(SiteLink::kQorn, NoResponse(FetchFailure::kReset), 200);
  watch.Tick(500);
  EXPECT_EQ(machine.fetches.size(), 2u);
  watch.Tick(1000);  // still in flight: not asked twice
  EXPECT_EQ(machine.fetches.size(), 2u);
  watch.Fetched(SiteLink::kQorn, NoResponse(FetchFailure::kTimeout), 6000);
  EXPECT_TRUE(watch.Watching());
  EXPECT_EQ(machine.shown.size(), 1u);

  watch.Tick(6500);
  watch.Fetched(SiteLink::kQorn, Status(301), 6600);
  EXPECT_EQ(machine.fetches.back(), "localhost:81/zel");
  EXPECT_TRUE(watch.Watching());
  watch.Fetched(SiteLink::kZel, Status(200), 6700);
  EXPECT_FALSE(watch.Watching());
  EXPECT_EQ(machine.shown.back(), "网站和 MySQL 数据库已启动");
  EXPECT_EQ(machine.fetches.size(), 4u);  // each link fetched once after the site answered
}

TEST(SiteWatch, NamesTheLinkThatGivesAnErrorStatus) {
  FakeWatchMachine machine;
  SiteWatch watch(machine, machine);
  watch.Start(Facts(std::nullopt), 0);
  watch.Fetched(SiteLink::kQorn, Status(200), 100);
  watch.Fetched(SiteLink::kZel, Status(404), 200);
  EXPECT_FALSE(watch.Watching());
  EXPECT_TRUE(Has(machine.shown.back(), "Brenlit 网站无法打开：找不到网页（HTTP 404）"))
      << machine.shown.back();
  EXPECT_FALSE(Has(machine.shown.back(), "Dovrel")) << machine.shown.back();
  // Port 80's links carry no port, and neither does their host header.
  watch.Start(Facts(), 0);
  watch.Stop();
  WatchFacts port80 = Facts();
  port80.sitePort = 80;
  watch.Start(port80, 0);
  EXPECT_EQ(machine.fetches.back(), "localhost/qorn");
}

TEST(SiteWatch, WaitsTwoMinutesUnlessTheScriptFailed) {
  FakeWatchMachine machine;
  SiteWatch watch(machine, machine);
  // Exit code 0: a slow first start still has its two minutes.
  watch.Start(Facts(), 1000);
  watch.ScriptEnded(0, 2000);
  watch.Tick(2000 + kWatchAfterScriptMs + 1000);
  EXPECT_FALSE(watch.EndShown());
  watch.Tick(1000 + kWatchLongestMs);
  EXPECT_TRUE(watch.EndShown());
  EXPECT_TRUE(Has(machine.shown.back(), "网站和 MySQL 数据库（端口 3306）都没有响应"));

  // A non-zero code: fifteen seconds after the end.
  watch.Start(Facts(), 1000);
  watch.ScriptEnded(3, 2000);
  watch.Tick(2000 + kWatchAfterScriptMs - 1);
  EXPECT_FALSE(watch.EndShown());
  watch.Tick(2000 + kWatchAfterScriptMs);
  EXPECT_TRUE(watch.EndShown());
  EXPECT_TRUE(Has(machine.shown.back(), "退出代码为 3"));

  // Still running after two minutes: its window is where to look.
  watch.Start(Facts(), 0);
  watch.Tick(kWatchLongestMs);
  EXPECT_TRUE(Has(machine.shown.back(), "仍在运行"));
  EXPECT_FALSE(Has(machine.shown.back(), "install.bat"));
}

TEST(SiteWatch, ChangesTheEndStateWhenALateServerAnswers) {
  FakeWatchMachine machine;
  SiteWatch watch(machine, machine);
  watch.Start(Facts(), 0);
  watch.Fetched(SiteLink::kQorn, NoResponse(FetchFailure::kRefused), 10);
  watch.WhySilentLearnt(Note("服务“X”已停止"));  // before any end state: not shown
  watch.Tick(kWatchLongestMs);
  ASSERT_TRUE(watch.EndShown());
  ASSERT_TRUE(watch.Watching());
  EXPECT_FALSE(Has(machine.shown.back(), "已停止")) << machine.shown.back();
  // A stopped service of the bundle is named once learnt, asked once for the state, not at every
  // tick.
  watch.WhySilentLearnt(Note("服务“Apache2.4”已停止，退出代码 1067"));
  EXPECT_TRUE(Has(machine.shown.back(), "Apache2.4”已停止，退出代码 1067")) << machine.shown.back();
  const size_t fetches = machine.fetches.size();
  watch.Tick(kWatchLongestMs + 1000);  // less often now
  EXPECT_EQ(machine.fetches.size(), fetches);
  watch.Tick(kWatchLongestMs + kWatchSlowIntervalMs);
  EXPECT_EQ(machine.fetches.size(), fetches + 1);
  EXPECT_EQ(machine.noteAsked, 1);

  watch.Answered(WatchTarget::kDatabase, 200000);
  EXPECT_TRUE(Has(machine.shown.back(), "网站没有响应")) << machine.shown.back();
  EXPECT_FALSE(Has(machine.shown.back(), "已停止"));  // asked again for the new state
  EXPECT_EQ(machine.noteAsked, 2);
  watch.Fetched(SiteLink::kQorn, Status(200), 200100);
  EXPECT_TRUE(watch.Watching());  // the other link is proven first
  watch.Fetched(SiteLink::kZel, Status(200), 200200);
  EXPECT_FALSE(watch.Watching());
  EXPECT_EQ(machine.shown.back(), "网站和 MySQL 数据库已启动");
}

// The taken port does not hide a site that does not answer: both are named, and the site is tried
// again.
TEST(SiteWatch, NamesATakenDatabasePortAndASilentSiteTogether) {
  FakeWatchMachine machine;
  SiteWatch watch(machine, machine);
  WatchFacts facts = Facts(3307);
  facts.databaseTakenBefore = true;
  watch.Start(facts, 0);
  watch.ScriptEnded(3, 100);
  watch.Fetched(SiteLink::kQorn, NoResponse(FetchFailure::kRefused), 200);
  watch.Tick(100 + kWatchAfterScriptMs);
  ASSERT_TRUE(watch.EndShown());
  EXPECT_TRUE(watch.Watching());
  for (const char* part :
       {"网站没有响应", "退出代码为 3", "数据库的端口 3307 在安装脚本启动前已被占用"})
    EXPECT_TRUE(Has(machine.shown.back(), part)) << part << ": " << machine.shown.back();
  watch.Tick(100 + kWatchAfterScriptMs + kWatchSlowIntervalMs);
  watch.Fetched(SiteLink::kQorn, Status(200), 30000);
  watch.Fetched(SiteLink::kZel, Status(200), 30100);
  EXPECT_FALSE(watch.Watching());
  EXPECT_EQ(machine.shown.back().rfind("MySQL 数据库的端口 3307", 0), 0u) << machine.shown.back();
}

// The servers' own words: the panel's line names the cause, the whole text holds the excerpt, and
// the log's button shows while the state says something does not answer.
TEST(SiteWatch, NamesTheCauseFromTheServersLogs) {
  FakeWatchMachine machine;
  SiteWatch watch(machine, machine);
  watch.Start(Facts(), 0);
  watch.Fetched(SiteLink::kQorn, Status(200), 100);
  watch.Fetched(SiteLink::kZel, Status(200), 200);
  watch.Tick(kWatchLongestMs);
  ASSERT_EQ(machine.noteAsked, 1);
  EXPECT_TRUE(machine.logPath.empty());
  SilenceFacts why;
  why.databaseCause = "Can't start server: Bind on TCP/IP port: No such file or directory";
  why.excerpt = "Do you already have another mysqld server running on port: 3306 ?";
  why.logPath = "D:\\web\\local\\mysql5\\data\\host.err";
  watch.WhySilentLearnt(why);
  EXPECT_EQ(machine.lines.back().rfind("数据库没有响应：MySQL 报告 Can't start server", 0), 0u)
      << machine.lines.back();
  EXPECT_TRUE(Has(machine.shown.back(), "another mysqld server running on port: 3306"));
  EXPECT_EQ(machine.logPath, why.logPath);
  watch.Answered(WatchTarget::kDatabase, 200000);  // it answers after all: no log to open
  EXPECT_EQ(machine.lines.back(), "网站和 MySQL 数据库已启动");
  EXPECT_TRUE(machine.logPath.empty());
}

TEST(SiteWatch, LeavesADatabasePortTakenBeforeTheScriptAlone) {
  FakeWatchMachine machine;
  SiteWatch watch(machine, machine);
  WatchFacts facts = Facts();
  facts.databaseTakenBefore = true;
  facts.databaseHolder = "另一个程序";
  watch.Start(facts, 0);
  EXPECT_TRUE(machine.tries.empty());
  watch.Answered(WatchTarget::kDatabase, 100);  // the other program's answer counts for nothing
  watch.Fetched(SiteLink::kQorn, Status(200), 200);
  EXPECT_TRUE(watch.Watching());
  watch.Fetched(SiteLink::kZel, Status(200), 300);
  EXPECT_FALSE(watch.Watching());
  EXPECT_TRUE(Has(machine.shown.back(), "3306 已被另一个程序占用"));
}

}  // namespace
}  // namespace orv
