#include "bundle/bundle_services.h"

#include <gtest/gtest.h>

#include <set>

#include "firstrun/first_run.h"

namespace orv {
namespace {

constexpr uint32_t kRunning = 4;
constexpr uint32_t kStartPending = 2;
constexpr uint32_t kStopPending = 3;

ServiceFacts Service(const char* name, const char* displayName, uint32_t state, bool inside) {
  ServiceFacts service;
  service.name = name;
  service.displayName = displayName;
  service.state = state;
  service.insideBundle = inside;
  return service;
}

std::string Executable(std::string_view line, std::set<std::string> files = {}) {
  return ExecutableOfCommandLine(line,
                                 [&files](const std::string& path) { return files.count(path); });
}

TEST(BundleServices, ExecutableOfAQuotedOrUnquotedCommandLine) {
  EXPECT_EQ(Executable(R"("C:\b\local\mysql5\bin\mysqld.exe" --defaults-file="C:\b\my.ini" MySQL)"),
            R"(C:\b\local\mysql5\bin\mysqld.exe)");
  EXPECT_EQ(Executable(R"(C:\b\local\Apache2\bin\httpd.exe -k runservice)"),
            R"(C:\b\local\Apache2\bin\httpd.exe)");
  EXPECT_EQ(Executable(R"(  C:\b\httpd.exe)"), R"(C:\b\httpd.exe)");
  EXPECT_EQ(Executable(R"("C:\no closing quote)"), R"(C:\no closing quote)");
  EXPECT_EQ(Executable(""), "");
  EXPECT_EQ(Executable("   "), "");
}

TEST(BundleServices, UnquotedPathWithSpacesResolvesAsWindowsDoes) {
  const std::string line = R"(C:\Program Files\My Web\bin\httpd.exe -k runservice)";
  // Nothing there: up to the ".exe" that ends a word.
  EXPECT_EQ(Executable(line), R"(C:\Program Files\My Web\bin\httpd.exe)");
  // The shortest existing prefix wins, ".exe" added where it has no extension.
  EXPECT_EQ(Executable(line, {R"(C:\Program Files\My Web\bin\httpd.exe)"}),
            R"(C:\Program Files\My Web\bin\httpd.exe)");
  EXPECT_EQ(Executable(line, {R"(C:\Program.exe)", R"(C:\Program Files\My Web\bin\httpd.exe)"}),
            R"(C:\Program.exe)");
  EXPECT_EQ(Executable(line, {R"(C:\Program Files\My.exe)"}), R"(C:\Program Files\My.exe)");
  // ".exe" inside a name does not end the path.
  EXPECT_EQ(Executable(R"(C:\x.exel\run.EXE -a)"), R"(C:\x.exel\run.EXE)");
  EXPECT_EQ(Executable(R"(C:\tools\run -a)"), R"(C:\tools\run)");
}

TEST(BundleServices, OnlyTheBundlesServicesThatAreNotStoppedBlock) {
  const std::vector<ServiceFacts> services = {
      Service("Apache2.4", "Apache2.4", kRunning, true),
      Service("MySQL", "", kStartPending, true),
      Service("Old", "Old bundle service", kServiceStopped, true),
      Service("Spooler", "Print Spooler", kRunning, false),
      Service("Going", "Going", kStopPending, true),
  };
  const std::vector<ServiceFacts> running = RunningBundleServices(services);
  ASSERT_EQ(running.size(), 3u);
  EXPECT_EQ(running[0].name, "Apache2.4");
  EXPECT_EQ(running[1].name, "MySQL");
  EXPECT_EQ(running[2].name, "Going");
  EXPECT_TRUE(RunningBundleServices({services[2], services[3]}).empty());

  // The box names them (the key name where there is no display name) and says what to do.
  const std::string text = UninstallOfferText(running);
  EXPECT_NE(text.find("“Apache2.4”、“MySQL”、“Going”"), std::string::npos) << text;
  EXPECT_NE(text.find("以前的配置仍在运行"), std::string::npos) << text;
  EXPECT_NE(text.find("以管理员身份运行 unstall.bat"), std::string::npos) << text;
}

TEST(BundleServices, StoppedNoteNamesTheServiceItsCodeAndTheSystemsText) {
  const auto systemText = [](uint32_t code) -> std::string {
    if (code == 1067)
      return "进程意外终止。";
    if (code == kServiceSpecificError)
      return "服务器返回特定的服务错误码";
    return "";
  };
  ServiceFacts clean = Service("MySQL", "MySQL", kServiceStopped, true);
  ServiceFacts crashed = Service("Apache2.4", "Apache2.4", kServiceStopped, true);
  crashed.win32ExitCode = 1067;
  ServiceFacts foreign = Service("W3SVC", "IIS", kServiceStopped, false);
  foreign.win32ExitCode = 1067;

  // The one with a code other than 0 first; a foreign or running one never.
  EXPECT_EQ(StoppedServiceNote({foreign, clean, crashed}, systemText),
            "服务“Apache2.4”已停止，退出代码 1067：进程意外终止。");
  EXPECT_EQ(StoppedServiceNote({clean}, systemText), "服务“MySQL”已停止。");
  EXPECT_EQ(StoppedServiceNote({foreign, Service("A", "A", kRunning, true)}, systemText), "");

  // The service's own code where the system says it is one; a text without an end mark gets one.
  ServiceFacts own = crashed;
  own.win32ExitCode = kServiceSpecificError;
  own.serviceExitCode = 3;
  EXPECT_EQ(StoppedServiceNote({own}, systemText),
            "服务“Apache2.4”已停止，退出代码 3：服务器返回特定的服务错误码。");
  ServiceFacts unknown = crashed;
  unknown.win32ExitCode = 42;
  EXPECT_EQ(StoppedServiceNote({unknown}, systemText), "服务“Apache2.4”已停止，退出代码 42。");
}

}  // namespace
}  // namespace orv
