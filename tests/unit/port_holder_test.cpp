#include "watch/port_holder.h"

#include <gtest/gtest.h>

#include <map>

namespace orv {
namespace {

class FakeProcesses : public ProcessFacts {
 public:
  std::vector<ServiceFacts> services;
  std::map<uint32_t, ProcessImage> images;
  int servicesAsked = 0;

  const std::vector<ServiceFacts>& Services() override {
    ++servicesAsked;
    return services;
  }
  std::optional<ProcessImage> Image(uint32_t processId) override {
    const auto found = images.find(processId);
    if (found == images.end())
      return std::nullopt;
    return found->second;
  }
};

ServiceFacts Running(const char* name, uint32_t processId, bool insideBundle) {
  ServiceFacts service;
  service.name = name;
  service.displayName = std::string(name) + " 服务";
  service.state = 4;  // SERVICE_RUNNING
  service.processId = processId;
  service.insideBundle = insideBundle;
  return service;
}

TEST(PortHolder, NamesTheServiceOrProgramThatListens) {
  FakeProcesses processes;
  processes.services = {Running("MySQL", 1200, false), Running("Apache2.4", 1300, true)};
  // The image of a service's process is never asked: the service names it.
  processes.images = {{1200, {"C:\\mysql\\bin\\mysqld.exe", false}},
                      {1400, {"D:\\Dovrel\\local\\mysql5\\bin\\mysqld-nt.exe", true}},
                      {1500, {"D:\\Dovrel2\\httpd.exe", false}}};
  const std::vector<ListeningSocket> table = {{3306, 0},    {3306, 1200}, {80, 1300},
                                              {3307, 1400}, {8080, 1500}, {443, 4}};

  PortHolder holder = FindPortHolder(table, 3306, processes);
  EXPECT_EQ(holder.kind, HolderKind::kService);
  EXPECT_EQ(HolderName(holder), "服务“MySQL 服务”");

  holder = FindPortHolder(table, 80, processes);
  EXPECT_EQ(holder.kind, HolderKind::kOwnBundle);
  EXPECT_EQ(HolderName(holder), "服务“Apache2.4 服务”");

  holder = FindPortHolder(table, 3307, processes);
  EXPECT_EQ(holder.kind, HolderKind::kOwnBundle);
  EXPECT_EQ(HolderName(holder), "mysqld-nt.exe");

  holder = FindPortHolder(table, 8080, processes);
  EXPECT_EQ(holder.kind, HolderKind::kProgram);
  EXPECT_EQ(HolderName(holder), "httpd.exe");

  holder = FindPortHolder(table, 443, processes);
  EXPECT_EQ(holder.kind, HolderKind::kSystem);
  EXPECT_NE(HolderName(holder).find("HTTP"), std::string::npos);
}

TEST(PortHolder, SharedServiceProcessNamesTheBundlesServiceAndCountsTheOthers) {
  FakeProcesses processes;
  ServiceFacts stopped = Running("Old", 900, true);
  stopped.state = kServiceStopped;
  processes.services = {stopped, Running("Dnscache", 900, false), Running("W32Time", 900, false)};
  const PortHolder holder = FindPortHolder({{53, 900}}, 53, processes);
  EXPECT_EQ(holder.kind, HolderKind::kService);
  EXPECT_EQ(HolderName(holder), "服务“Dnscache 服务”");  // not the others in its process
}

TEST(PortHolder, IsUnknownWhereTheSystemDoesNotTell) {
  FakeProcesses processes;
  // No owner in the table (as under Wine), an owner that is no service and cannot be opened, no
  // row at all.
  const std::vector<ListeningSocket> table = {{80, 0}, {81, 1500}};
  for (const int32_t port : {80, 81, 82}) {
    const PortHolder holder = FindPortHolder(table, port, processes);
    EXPECT_EQ(holder.kind, HolderKind::kUnknown) << port;
    EXPECT_EQ(HolderName(holder), "") << port;
  }
  // The services are asked only for an owner the table names.
  FakeProcesses untouched;
  FindPortHolder({{80, 0}, {443, 4}}, 80, untouched);
  FindPortHolder({{80, 0}, {443, 4}}, 443, untouched);
  EXPECT_EQ(untouched.servicesAsked, 0);
  EXPECT_TRUE(TableListensOn(table, 80));
  EXPECT_FALSE(TableListensOn(table, 82));
}

TEST(PortHolder, TooltipTellsTheBundlesOwnFromAConflictAndFromSilence) {
  EXPECT_EQ(PortHolderText(80, {}), "端口 80 已被占用（无法确定是哪个程序）");
  EXPECT_EQ(PortHolderText(80, {HolderKind::kProgram, "w3wp.exe", false}),
            "端口 80 已被 w3wp.exe 占用");
  EXPECT_EQ(PortHolderText(80, {HolderKind::kService, "World Wide Web 发布服务", true}),
            "端口 80 已被服务“World Wide Web 发布服务”占用");
  const std::string own = PortHolderText(80, {HolderKind::kOwnBundle, "Apache2.4", true});
  EXPECT_NE(own.find("本系统的服务“Apache2.4”"), std::string::npos) << own;
  EXPECT_EQ(own.find("占用"), std::string::npos) << own;
}

}  // namespace
}  // namespace orv
