#include "bundle/bundle_services_win32.h"

#include <algorithm>
#include <map>
#include <optional>
#include <vector>

#include "bundle/app_folder.h"
#include "bundle/path_identity_win32.h"
#include "platform/sized_text_win32.h"
#include "platform/system_error_win32.h"
#include "platform/text_win32.h"
#include "platform/unique_handle_win32.h"

namespace orv {
namespace {

static_assert(kServiceStopped == SERVICE_STOPPED);
static_assert(kServiceSpecificError == ERROR_SERVICE_SPECIFIC_ERROR);

// The manager hands out at most 256 KB per call; rounds beyond this many are not expected.
constexpr int kMostEnumerationRounds = 64;
constexpr DWORD kEnumerationBuffer = 64 * 1024;

bool IsFile(const std::string& utf8Path) {
  const DWORD attributes = GetFileAttributesW(Utf8ToWide(utf8Path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// "%SystemRoot%\..." as the manager would start it. ExpandEnvironmentStringsW counts the
// terminating zero in what it returns.
std::wstring Expanded(const std::wstring& text) {
  return SizedText<SizedCount::kWithZero>([&text](wchar_t* buffer, DWORD size) {
           return ExpandEnvironmentStringsW(text.c_str(), buffer, size);
         })
      .value_or(text);
}

// The service's command line; nothing where this user may not ask for its configuration.
std::optional<std::wstring> CommandLineOf(SC_HANDLE manager, const wchar_t* name) {
  const UniqueServiceHandle service(OpenServiceW(manager, name, SERVICE_QUERY_CONFIG));
  if (!service)
    return std::nullopt;
  DWORD needed = 0;
  QueryServiceConfigW(service.get(), nullptr, 0, &needed);
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed == 0)
    return std::nullopt;
  std::vector<unsigned char> buffer(needed);
  auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
  if (!QueryServiceConfigW(service.get(), config, needed, &needed) ||
      config->lpBinaryPathName == nullptr)
    return std::nullopt;
  return std::wstring(config->lpBinaryPathName);
}

// One round's services into `services`.
void Take(SC_HANDLE manager, const ENUM_SERVICE_STATUS_PROCESSW* entries, DWORD count,
          ServiceStates states, const FolderIdentity& bundle,
          std::map<std::string, bool>& insideByPath, std::vector<ServiceFacts>& services) {
  for (DWORD i = 0; i < count; ++i) {
    const ENUM_SERVICE_STATUS_PROCESSW& entry = entries[i];
    const SERVICE_STATUS_PROCESS& status = entry.ServiceStatusProcess;
    if (states == ServiceStates::kRunning && status.dwCurrentState == SERVICE_STOPPED)
      continue;
    ServiceFacts facts;
    facts.name = WideToUtf8(entry.lpServiceName != nullptr ? entry.lpServiceName : L"");
    facts.displayName = WideToUtf8(entry.lpDisplayName != nullptr ? entry.lpDisplayName : L"");
    facts.state = status.dwCurrentState;
    facts.processId = status.dwProcessId;
    facts.win32ExitCode = status.dwWin32ExitCode;
    facts.serviceExitCode = status.dwServiceSpecificExitCode;
    const std::optional<std::wstring> commandLine =
        entry.lpServiceName != nullptr ? CommandLineOf(manager, entry.lpServiceName) : std::nullopt;
    if (commandLine) {
      facts.commandLine = WideToUtf8(Expanded(*commandLine));
      facts.binaryPath = ExecutableOfCommandLine(facts.commandLine, &IsFile);
      // Many services share one executable (svchost.exe): each is resolved once.
      const auto known = insideByPath.find(facts.binaryPath);
      facts.insideBundle = known != insideByPath.end()
                               ? known->second
                               : (insideByPath[facts.binaryPath] = bundle.Holds(facts.binaryPath));
    }
    services.push_back(std::move(facts));
  }
}

}  // namespace

std::vector<ServiceFacts> ListServices(const std::string& appFolder,
                                       ServiceStates states) noexcept {
  std::vector<ServiceFacts> services;
  try {
    const UniqueServiceHandle manager(
        OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ENUMERATE_SERVICE));
    if (!manager)
      return {};
    const FolderIdentity bundle(ServersFolderOf(appFolder));
    std::map<std::string, bool> insideByPath;
    std::vector<unsigned char> buffer(kEnumerationBuffer);
    DWORD resume = 0;
    for (int round = 0; round < kMostEnumerationRounds; ++round) {
      DWORD needed = 0;
      DWORD count = 0;
      const BOOL done = EnumServicesStatusExW(
          manager.get(), SC_ENUM_PROCESS_INFO, SERVICE_WIN32, SERVICE_STATE_ALL, buffer.data(),
          static_cast<DWORD>(buffer.size()), &needed, &count, &resume, nullptr);
      if (!done && GetLastError() != ERROR_MORE_DATA)
        break;
      Take(manager.get(), reinterpret_cast<const ENUM_SERVICE_STATUS_PROCESSW*>(buffer.data()),
           count, states, bundle, insideByPath, services);
      if (done)
        break;
      // Not even one entry fitted: a larger buffer, as large as the manager asks.
      if (count == 0)
        buffer.resize(std::max<size_t>(buffer.size() * 2, needed));
    }
  } catch (...) {
    // What was learnt so far stands; the rest is not known.
  }
  return services;
}

std::string StoppedBundleServiceNote(const std::vector<ServiceFacts>& services) noexcept {
  try {
    return StoppedServiceNote(services, [](uint32_t code) { return SystemMessageText(code); });
  } catch (...) {
    // No note: the texts that say something does not answer go without it.
    return {};
  }
}

}  // namespace orv
