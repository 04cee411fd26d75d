#include "firstrun/first_run.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace orv {
namespace {

using Calls = std::vector<std::string>;

TEST(SiteLinks, PortEightyCarriesNoPort) {
  const SiteLinks links = LinksForPort(80);
  EXPECT_EQ(links.portCaption, "当前可用端口：80");
  EXPECT_EQ(links.qornCaption, "Dovrel访问网址：http://localhost/qorn");
  EXPECT_EQ(links.qornTag, "http://localhost/qorn");
  EXPECT_EQ(links.zelCaption, "Brenlit访问网址：http://localhost/zel");
  EXPECT_EQ(links.zelTag, "http://localhost/zel");
}

TEST(SiteLinks, OtherPortsAreWrittenIntoTheAddress) {
  const SiteLinks links = LinksForPort(81);
  EXPECT_EQ(links.portCaption, "当前可用端口：81");
  EXPECT_EQ(links.qornCaption, "Dovrel访问网址：http://localhost:81/qorn");
  EXPECT_EQ(links.zelTag, "http://localhost:81/zel");
  EXPECT_EQ(LinksForPort(8080).qornTag, "http://localhost:8080/qorn");
  EXPECT_EQ(LinksForPort(180).zelTag, "http://localhost:180/zel");
}

// Probe sockets whose connects the test answers: the port of each element's last connect.
class Sockets : public ProbeSockets {
 public:
  bool Exists(int16_t index) const override { return ports.count(index) != 0; }
  void Create(int16_t index) override { ports[index] = 0; }
  void Connect(int16_t index, const std::string&, int32_t port) override { ports[index] = port; }
  void Reconnect(int16_t index, int32_t port) override { ports[index] = port; }
  void Close(int16_t) override {}
  void Remove(int16_t index) override { ports.erase(index); }
  int32_t RemotePort(int16_t index) const override { return ports.at(index); }
  bool CanListenOn(int32_t) override { return true; }
  std::map<int16_t, int32_t> ports;
};

// The machine and the window, recording what the first run asks of them in order.
class Machine : public FirstRunMachine {
 public:
  std::string BoxText(ProbeBox box) const override {
    return box == ProbeBox::kLowerBound ? "80" : box == ProbeBox::kUpperBound ? "65535" : "1";
  }
  void SetStatusText(const std::string& text) override { status = text; }
  void StartTimer() override {}
  void StopTimer() override {}
  bool AskServices() override {
    calls.push_back("services?");
    return servicesCanBeAsked;
  }
  WatchFacts Configure(int32_t port, const std::vector<ServiceFacts>& services) override {
    calls.push_back("configure " + std::to_string(port) + " with " +
                    std::to_string(services.size()) + " services");
    if (failures > 0) {
      --failures;
      throw Failure("写入文件“httpd.conf”失败：拒绝访问。");
    }
    WatchFacts facts;
    facts.databasePort = 3306;
    return facts;
  }
  std::string RemedyFor(const Failure&) override { return "请关闭该程序，然后点击“重试”。"; }
  void ShowLinks(const SiteLinks& links) override { calls.push_back("links " + links.qornTag); }
  void WriteFinishMarker() override { calls.push_back("marker"); }
  void ShowLowerBoundTaken(int32_t lowerBound) override {
    calls.push_back("holder of " + std::to_string(lowerBound));
  }
  void StartWatch(const WatchFacts& facts) override {
    calls.push_back("watch " + std::to_string(facts.sitePort) + "/" +
                    std::to_string(facts.databasePort.value_or(0)));
  }
  void OfferRetry(const std::string& text, RetryOf what) override {
    calls.push_back(what == RetryOf::kServicesCheck ? "box: services" : "box: configuration");
    boxes.push_back(text);
  }
  void OfferUninstall(const std::string& text) override {
    calls.push_back("box: uninstall?");
    boxes.push_back(text);
  }
  UninstallStart StartUninstall() override {
    calls.push_back("unstall.bat");
    return uninstall;
  }

  bool servicesCanBeAsked = true;
  UninstallStart uninstall = UninstallStart::kStarted;
  int failures = 0;
  std::string status;
  Calls calls;
  std::vector<std::string> boxes;
};

ServiceFacts Service(bool insideBundle, uint32_t state) {
  ServiceFacts service;
  service.name = insideBundle ? "Apache2" : "Spooler";
  service.displayName = service.name;
  service.state = state;
  service.insideBundle = insideBundle;
  return service;
}

constexpr uint32_t kRunning = 4;

// The one probe socket's connect is answered: busy ports accept, the first free one refuses.
void AnswerProbe(FirstRun& run, Sockets& sockets, int32_t firstFree) {
  while (sockets.Exists(1) && sockets.ports[1] < firstFree)
    run.SocketConnected(1);
  if (sockets.Exists(1))
    run.SocketFailed(1);
}

TEST(FirstRun, RunningServicesOfTheBundleAreRemovedThenItConfigures) {
  Sockets sockets;
  Machine machine;
  FirstRun run(sockets, machine);
  run.FormLoad();
  run.ServicesLearnt({Service(false, kRunning), Service(true, kRunning)});
  EXPECT_TRUE(sockets.ports.empty()) << "probed while the bundle's services run";
  ASSERT_EQ(machine.boxes.size(), 1u);
  EXPECT_NE(machine.boxes[0].find("服务“Apache2”尚未停止"), std::string::npos) << machine.boxes[0];
  EXPECT_EQ(machine.status, kServicesRunningStatus);

  run.RetryChosen(RetryOf::kUninstall);  // Yes
  EXPECT_EQ(machine.status, kUninstallRunningStatus);
  run.UninstallEnded();  // asked again: another's service is no obstacle
  run.ServicesLearnt({Service(false, kRunning), Service(true, kServiceStopped)});
  AnswerProbe(run, sockets, 81);
  EXPECT_EQ(machine.calls, (Calls{"services?", "box: uninstall?", "unstall.bat", "services?",
                                  "configure 81 with 2 services", "links http://localhost:81/qorn",
                                  "marker", "holder of 80", "watch 81/3306"}));
}

// Where unstall.bat cannot remove them, the box says why and what is left to do, and nothing is
// written; Retry asks again.
TEST(FirstRun, SaysWhyTheServicesAreStillThere) {
  const std::vector<ServiceFacts> running = {Service(true, kRunning)};
  struct Case {
    UninstallStart start;
    const char* says;
  };
  for (const Case& c : {Case{UninstallStart::kMissing, "没有 unstall.bat"},
                        Case{UninstallStart::kDeclined, "没有获得管理员权限"},
                        Case{UninstallStart::kStarted, "仍在运行或已标记为删除"}}) {
    Sockets sockets;
    Machine machine;
    machine.uninstall = c.start;
    FirstRun run(sockets, machine);
    run.FormLoad();
    run.ServicesLearnt(running);
    run.RetryChosen(RetryOf::kUninstall);
    run.UninstallEnded();  // only where it ran
    if (c.start == UninstallStart::kStarted)
      run.ServicesLearnt(running);
    ASSERT_EQ(machine.calls.back(), "box: services") << c.says;
    EXPECT_NE(machine.boxes.back().find(c.says), std::string::npos) << machine.boxes.back();
    EXPECT_NE(machine.boxes.back().find("“Apache2”"), std::string::npos) << machine.boxes.back();
    EXPECT_TRUE(sockets.ports.empty());
    run.RetryChosen(RetryOf::kServicesCheck);
    EXPECT_EQ(machine.calls.back(), "services?");
  }
}

TEST(FirstRun, AFailedConfigurationSaysWhatToDoAndRetryScansAgain) {
  Sockets sockets;
  Machine machine;
  machine.failures = 1;
  FirstRun run(sockets, machine);
  run.FormLoad();
  run.ServicesLearnt({});
  AnswerProbe(run, sockets, 80);
  ASSERT_EQ(machine.boxes.size(), 1u);
  for (const char* part : {"未能完成配置（端口 80）", "拒绝访问", "请关闭该程序"})
    EXPECT_NE(machine.boxes[0].find(part), std::string::npos) << part;
  EXPECT_EQ(machine.calls,
            (Calls{"services?", "configure 80 with 0 services", "box: configuration"}));

  machine.calls.clear();
  run.RetryChosen(RetryOf::kConfiguration);
  EXPECT_EQ(sockets.ports.at(1), 80) << "the retry scans from the lower bound";
  AnswerProbe(run, sockets, 80);
  EXPECT_EQ(machine.calls, (Calls{"configure 80 with 0 services", "links http://localhost/qorn",
                                  "marker", "holder of 0", "watch 80/3306"}));
}

TEST(FirstRun, NothingHappensOnceTheWindowIsClosed) {
  Sockets sockets;
  Machine machine;
  FirstRun run(sockets, machine);
  run.FormLoad();
  run.Close();  // while the services are being listed
  run.ServicesLearnt({});
  run.RetryChosen(RetryOf::kServicesCheck);
  run.RetryChosen(RetryOf::kConfiguration);
  EXPECT_TRUE(sockets.ports.empty());
  EXPECT_EQ(machine.calls, Calls{"services?"});
}

TEST(FirstRun, WithoutTheServicesTheProbeStartsAtOnce) {
  Sockets sockets;
  Machine machine;
  machine.servicesCanBeAsked = false;
  FirstRun run(sockets, machine);
  run.FormLoad();
  EXPECT_EQ(sockets.ports.at(1), 80);
}

}  // namespace
}  // namespace orv
