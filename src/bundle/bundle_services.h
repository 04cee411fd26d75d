#pragma once
// The Windows services of the bundle: what the service control manager tells of every service
// (bundle_services_win32.h gathers it, without administrator rights), and the rules made of it:
// which of the bundle's services keep a new configuration from starting and the box that says so,
// and a note on a stopped one for the watch.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace orv {

// The service control manager's states and the exit code that stands for a service's own.
inline constexpr uint32_t kServiceStopped = 1;           // SERVICE_STOPPED
inline constexpr uint32_t kServiceSpecificError = 1066;  // ERROR_SERVICE_SPECIFIC_ERROR

// One Win32 service, as the manager tells (text in UTF-8).
struct ServiceFacts {
  std::string name;                  // the key name, as `sc` knows it
  std::string displayName;           // the name the user sees
  uint32_t state = kServiceStopped;  // SERVICE_STOPPED, SERVICE_RUNNING, ... (1 to 7)
  uint32_t processId = 0;            // 0 where no process runs it
  uint32_t win32ExitCode = 0;
  uint32_t serviceExitCode = 0;  // the service's own code, where win32ExitCode is 1066
  std::string commandLine;       // as registered, variables expanded; empty where unknown
  std::string binaryPath;        // the executable its command line starts; empty where unknown
  bool insideBundle = false;     // the executable lies in the bundle's servers' folder (local\)
};

// The executable that a service's command line starts. A quoted one is taken up to its closing
// quote. An unquoted one is resolved as Windows does: at each space, from the left, the text
// before it is tried as a file (with ".exe" added where its last name has no extension), and the
// first that `isFile` finds is taken; where none is found, the text up to the first ".exe" that
// ends a word, or else up to the first space. Leading blanks are skipped; "" for an empty line.
std::string ExecutableOfCommandLine(std::string_view commandLine,
                                    const std::function<bool(const std::string&)>& isFile);

// The name the user sees: the display name, or the key name where it has none.
std::string ServiceTitle(const ServiceFacts& service);

// The bundle's services that run or are on their way (any state but stopped), in the given order:
// an earlier configuration of this bundle still in place, which a new one must not overwrite.
std::vector<ServiceFacts> RunningBundleServices(const std::vector<ServiceFacts>& services);

// A short note on a stopped service of the bundle, for the watch's texts: the first one stopped
// with an exit code other than 0 (else the first one stopped), its code (the service's own where
// win32ExitCode is 1066) and the system's text `systemText(win32ExitCode)` (may be empty), such as
// "服务“Apache2.4”已停止，退出码 1067：进程意外终止。". "" where no service of the bundle is
// stopped.
std::string StoppedServiceNote(const std::vector<ServiceFacts>& services,
                               const std::function<std::string(uint32_t)>& systemText);

}  // namespace orv
