// The services gatherer under Wine, whose service control manager runs services of ours: the
// stand-in server in its service mode, copied into a bundle folder of the test's own. Runs in a
// private network namespace; the services made here are deleted again.
#include "bundle/bundle_services_win32.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>

#include "built_file_win32.h"
#include "platform/text_win32.h"
#include "platform/unique_handle_win32.h"

namespace orv {
namespace {

constexpr wchar_t kServiceName[] = L"OrvGathererTest";
constexpr DWORD kWaitMs = 10000;

const ServiceFacts* Find(const std::vector<ServiceFacts>& services) {
  for (const ServiceFacts& service : services) {
    if (service.name == WideToUtf8(kServiceName))
      return &service;
  }
  return nullptr;
}

class ServicesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::filesystem::path standIn = BuiltFile("ORV_STANDIN");
    if (standIn.empty() || !std::filesystem::exists(standIn))
      GTEST_SKIP() << "ORV_STANDIN does not name the stand-in server";
    bundle_ = std::filesystem::temp_directory_path() / L"orv services bundle";
    std::filesystem::remove_all(bundle_);
    std::filesystem::create_directories(bundle_ / L"local" / L"Apache2" / L"bin");
    binary_ = bundle_ / L"local" / L"Apache2" / L"bin" / L"SiteStandIn.exe";
    std::filesystem::copy_file(standIn, binary_);
    manager_.reset(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    ASSERT_TRUE(manager_) << GetLastError();
    Delete();
  }
  void TearDown() override {
    if (manager_) {
      Stop();
      Delete();
    }
    std::error_code ignored;
    std::filesystem::remove_all(bundle_, ignored);
  }

  std::string Folder() const { return WideToUtf8(bundle_.wstring()) + "\\"; }

  // The service, registered with the stand-in's quoted path and the port to serve.
  void Create(int port) {
    const std::wstring commandLine =
        L"\"" + binary_.wstring() + L"\" --service " + std::to_wstring(port);
    service_.reset(CreateServiceW(manager_.get(), kServiceName, L"Orv 测试服务", SERVICE_ALL_ACCESS,
                                  SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                                  SERVICE_ERROR_IGNORE, commandLine.c_str(), nullptr, nullptr,
                                  nullptr, nullptr, nullptr));
    ASSERT_TRUE(service_) << GetLastError();
  }

  // The service's state once it is `state` (or the wait is over).
  DWORD WaitFor(DWORD state) {
    SERVICE_STATUS status{};
    const ULONGLONG deadline = GetTickCount64() + kWaitMs;
    while (QueryServiceStatus(service_.get(), &status) && status.dwCurrentState != state &&
           GetTickCount64() < deadline)
      Sleep(50);
    return status.dwCurrentState;
  }

  void Stop() {
    SERVICE_STATUS status{};
    if (service_ && ControlService(service_.get(), SERVICE_CONTROL_STOP, &status))
      WaitFor(SERVICE_STOPPED);
  }

  void Delete() {
    if (!service_)
      service_.reset(OpenServiceW(manager_.get(), kServiceName, SERVICE_ALL_ACCESS));
    if (service_)
      DeleteService(service_.get());
    service_.reset();
  }

  std::filesystem::path bundle_;
  std::filesystem::path binary_;
  UniqueServiceHandle manager_;
  UniqueServiceHandle service_;
};

TEST_F(ServicesTest, ListsAServiceWithItsExecutableStateAndProcess) {
  Create(20201);
  std::vector<ServiceFacts> services = ListServices(Folder());
  const ServiceFacts* found = Find(services);
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found->displayName, "Orv 测试服务");
  EXPECT_EQ(found->state, static_cast<uint32_t>(SERVICE_STOPPED));
  EXPECT_EQ(found->binaryPath, WideToUtf8(binary_.wstring()));
  EXPECT_TRUE(found->insideBundle);
  EXPECT_TRUE(Find(ListServices(Folder(), ServiceStates::kRunning)) == nullptr);

  ASSERT_TRUE(StartServiceW(service_.get(), 0, nullptr)) << GetLastError();
  ASSERT_EQ(WaitFor(SERVICE_RUNNING), static_cast<DWORD>(SERVICE_RUNNING));
  services = ListServices(Folder(), ServiceStates::kRunning);
  found = Find(services);
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found->state, static_cast<uint32_t>(SERVICE_RUNNING));
  EXPECT_NE(found->processId, 0u);
  EXPECT_TRUE(found->insideBundle);
  ASSERT_EQ(RunningBundleServices(services).size(), 1u);
  EXPECT_EQ(RunningBundleServices(services)[0].name, WideToUtf8(kServiceName));

  // Of another bundle, whose folder only starts like this one's, it is not.
  found = Find(ListServices(WideToUtf8(bundle_.wstring()) + "2\\", ServiceStates::kRunning));
  ASSERT_NE(found, nullptr);
  EXPECT_FALSE(found->insideBundle);

  Stop();
  EXPECT_EQ(StoppedBundleServiceNote(ListServices(Folder())), "服务“Orv 测试服务”已停止。");
}

// Display drivers' container services have command lines of 300 characters and more, with
// variables; each length of the expansion around its first buffer is read whole, and the
// variable in the executable's path is expanded (or the service would not be the bundle's).
TEST_F(ServicesTest, LongCommandLinesAreReadWhole) {
  ASSERT_TRUE(SetEnvironmentVariableW(L"ORV_BUNDLE", bundle_.wstring().c_str()));
  const std::wstring binary = L"%ORV_BUNDLE%\\local\\Apache2\\bin\\SiteStandIn.exe";
  for (const size_t length : {258u, 259u, 260u, 261u, 527u}) {
    Delete();
    const size_t expanded = binary_.wstring().size() + 2 + std::wstring(L" --service 20231").size();
    const std::wstring more(length > expanded + 1 ? length - expanded - 1 : 0, L'z');
    const std::wstring commandLine = L"\"" + binary + L"\" --service 20231 " + more;
    service_.reset(CreateServiceW(manager_.get(), kServiceName, L"Orv 测试服务", SERVICE_ALL_ACCESS,
                                  SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                                  SERVICE_ERROR_IGNORE, commandLine.c_str(), nullptr, nullptr,
                                  nullptr, nullptr, nullptr));
    ASSERT_TRUE(service_) << GetLastError();
    const std::vector<ServiceFacts> services = ListServices(Folder());
    const ServiceFacts* found = Find(services);
    ASSERT_NE(found, nullptr) << length;
    EXPECT_EQ(found->commandLine.size(), length);
    EXPECT_EQ(found->binaryPath, WideToUtf8(binary_.wstring())) << length;
    EXPECT_TRUE(found->insideBundle) << length;
  }
}

// A real machine has hundreds of services: more than one round of the manager's listing. Services
// with names and display names of 250 characters fill the first buffer after about 60; each of
// 100 is listed once, with its facts.
TEST_F(ServicesTest, ServicesBeyondOneRoundOfTheListingAreAllListed) {
  constexpr int kCount = 100;
  const auto nameOf = [](int i) {
    std::wstring name = L"OrvManyServicesTest" + std::to_wstring(1000 + i);
    return name + std::wstring(250 - name.size(), L'x');
  };
  const std::wstring commandLine = L"\"" + binary_.wstring() + L"\" --service 20241";
  const auto removeAll = [&] {
    for (int i = 0; i < kCount; ++i) {
      const UniqueServiceHandle service(OpenServiceW(manager_.get(), nameOf(i).c_str(), DELETE));
      if (service)
        DeleteService(service.get());
    }
  };
  removeAll();
  for (int i = 0; i < kCount; ++i) {
    const UniqueServiceHandle service(
        CreateServiceW(manager_.get(), nameOf(i).c_str(), nameOf(i).c_str(), SERVICE_ALL_ACCESS,
                       SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE,
                       commandLine.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
    ASSERT_TRUE(service) << i << ": " << GetLastError();
  }
  std::map<std::string, int> seen;
  for (const ServiceFacts& service : ListServices(Folder())) {
    if (service.name.rfind("OrvManyServicesTest", 0) == 0) {
      ++seen[service.name];
      EXPECT_TRUE(service.insideBundle) << service.name;
    }
  }
  removeAll();
  EXPECT_EQ(seen.size(), static_cast<size_t>(kCount));
  for (const auto& [name, times] : seen)
    EXPECT_EQ(times, 1) << name;
}

TEST_F(ServicesTest, AServiceThatCouldNotServeLeavesItsOwnExitCode) {
  // The port is taken: the stand-in stops with its service-specific code 1.
  WSADATA data{};
  ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
  const UniqueSocket taken(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(20211);
  ASSERT_EQ(bind(taken.get(), reinterpret_cast<const sockaddr*>(&address), sizeof(address)), 0);
  Create(20211);
  ASSERT_TRUE(StartServiceW(service_.get(), 0, nullptr)) << GetLastError();
  ASSERT_EQ(WaitFor(SERVICE_STOPPED), static_cast<DWORD>(SERVICE_STOPPED));
  const std::vector<ServiceFacts> services = ListServices(Folder());
  const ServiceFacts* found = Find(services);
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found->win32ExitCode, static_cast<uint32_t>(ERROR_SERVICE_SPECIFIC_ERROR));
  EXPECT_EQ(found->serviceExitCode, 1u);
  const std::string note = StoppedBundleServiceNote(ListServices(Folder()));
  EXPECT_EQ(note.rfind("服务“Orv 测试服务”已停止，退出代码 1", 0), 0u) << note;
  WSACleanup();
}

}  // namespace
}  // namespace orv
