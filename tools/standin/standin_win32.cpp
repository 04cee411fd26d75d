// SiteStandIn: a stand-in for the sample bundle's servers, which cannot ship with it. It is no web
// server: it listens on 127.0.0.1 on each port it is given and answers every HTTP GET with
// "200 OK" and a short page that names the port and the path, so that the configurator's watch and
// a browser see the bundle's sites answer. Other connections (the database's port) are accepted
// and closed.
//
// SiteStandIn PORT...   serve until stopped; ports that cannot be bound are left out (exit code 1
//                       when none can). A stand-in of the same file already serving is stopped
//                       first.
// SiteStandIn --stop    stop the stand-in that this same file started (exit code 0 also when none
//                       runs).
// SiteStandIn --service PORT...
//                       run as a Windows service (registered with `sc create NAME binPath= ...`):
//                       reports running once it listens, serves until SERVICE_CONTROL_STOP, and
//                       stops with the service-specific exit code 1 when no port can be bound.
//                       Exit code 1 when the service control manager did not start it.
//                       Whatever follows the ports is ignored, so that it can stand in for a
//                       service registered with the arguments of a real one.
//
// Options before the ports, for tests of the configurator's watch:
//   --status-for PATH=CODE  answer a GET of PATH (exactly, such as /zel) with status CODE and no
//                           page; may be given more than once.
//   --silent                accept connections and answer nothing: each is held open until the
//                           client closes it or the stand-in stops (a web server whose worker
//                           hangs).
//   --delay SECONDS         wait this long before listening (a slow first start); a --stop
//                           meanwhile ends it.
//
// Options that play a server that cannot bind its port: they write that server's lines of a failed
// start to its error log (appended, with the current local time in the log's own stamp) and end
// with exit code 1 without listening (as a service: stopped with the service-specific exit code
// 1). The first port, where given, is the one named (3306 and 80 otherwise).
//   --fail-bind-log FILE         the database server's lines, in its 5.1/5.5 format
//                                ("YYMMDD HH:MM:SS [ERROR] Can't start server: Bind on TCP/IP
//                                port ...")
//   --fail-bind-apache-log FILE  the web server's lines, in its 2.4 format ("[Wed Nov 18
//                                12:30:01.123456 2009] [core:error] [pid N:tid M] ... AH00072:
//                                make_sock: could not bind to address 0.0.0.0:80")
//
// It has no window and no console: the install script starts it with "start", and it lives on.

#include "platform/windows_prelude_win32.h"

#include <shellapi.h>

#include <cstdio>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "bundle/instance_name.h"
#include "bundle/path_identity_win32.h"
#include "platform/failure.h"
#include "platform/text_win32.h"
#include "platform/unique_handle_win32.h"
#include "platform/winsock_session_win32.h"

namespace {

constexpr DWORD kTakeOverMs = 5000;
constexpr DWORD kReadMs = 2000;
constexpr size_t kMaxRequest = 8192;
// Silent connections held at most; the oldest is let go beyond.
constexpr size_t kMaxHeld = 64;

// A server's failed start to play instead of serving.
struct FailingStart {
  enum class Server { kNone, kDatabase, kWeb };
  Server server = Server::kNone;
  std::wstring log;
};

// The lines a database server of release 5.1 or 5.5 writes when its port is taken, stamped now.
std::string DatabaseBindFailure(int port) {
  SYSTEMTIME t{};
  GetLocalTime(&t);
  char stamp[32];
  snprintf(stamp, sizeof(stamp), "%02d%02d%02d %2d:%02d:%02d", t.wYear % 100, t.wMonth, t.wDay,
           t.wHour, t.wMinute, t.wSecond);
  const std::string s = stamp;
  return s + " [Note] Plugin 'FEDERATED' is disabled.\r\n" + s +
         "  InnoDB: Started; log sequence number 0 46409\r\n" + s +
         " [ERROR] Can't start server: Bind on TCP/IP port: No such file or directory\r\n" + s +
         " [ERROR] Do you already have another mysqld server running on port: " +
         std::to_string(port) + " ?\r\n" + s + " [ERROR] Aborting\r\n\r\n" + s +
         " [Note] SiteStandIn: Shutdown complete\r\n\r\n";
}

// The lines a web server of release 2.4 writes when its port is taken, stamped now.
std::string WebBindFailure(int port) {
  static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  SYSTEMTIME t{};
  GetLocalTime(&t);
  char stamp[64];
  snprintf(stamp, sizeof(stamp), "[%s %s %02d %02d:%02d:%02d.%06d %d]", kDays[t.wDayOfWeek % 7],
           kMonths[(t.wMonth + 11) % 12], t.wDay, t.wHour, t.wMinute, t.wSecond,
           t.wMilliseconds * 1000, t.wYear);
  const std::string ids = " [pid " + std::to_string(GetCurrentProcessId()) + ":tid " +
                          std::to_string(GetCurrentThreadId()) + "] ";
  const std::string s = stamp;
  return s + " [core:error]" + ids +
         "(OS 10048)Only one usage of each socket address (protocol/network address/port) is "
         "normally permitted.  : AH00072: make_sock: could not bind to address 0.0.0.0:" +
         std::to_string(port) + "\r\n" + s + " [mpm_winnt:alert]" + ids +
         "AH00451: no listening sockets available, shutting down\r\n";
}

// Appends the failed start's lines to its log. Exit code 1, as the server's; 3 where the log
// cannot be written.
int PlayFailingStart(const FailingStart& failing, const std::vector<int>& ports) {
  const bool database = failing.server == FailingStart::Server::kDatabase;
  const int port = ports.empty() ? (database ? 3306 : 80) : ports.front();
  const std::string lines = database ? DatabaseBindFailure(port) : WebBindFailure(port);
  const orv::UniqueFileHandle log(CreateFileW(
      failing.log.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
      nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  if (!log ||
      !WriteFile(log.get(), lines.data(), static_cast<DWORD>(lines.size()), &written, nullptr))
    return 3;
  return 1;
}

// How the ports are served (the options before them).
struct ServingOptions {
  std::map<std::string, int> statusFor;  // path -> status code
  bool silent = false;
  DWORD delayMs = 0;
};

// Objects named after this file's path identity as the configurator names a bundle's objects, so
// that two bundles' stand-ins do not stop each other.
std::wstring ObjectName(const wchar_t* kind) {
  std::wstring path(32768, L'\0');
  path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
  return orv::Utf8ToWide(orv::InstanceName(orv::PathIdentityOf(path))) + L"-SiteStandIn-" + kind;
}

std::string HtmlEscaped(const std::string& text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '&':
        out += "&amp;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

void SendAll(SOCKET client, const std::string& bytes) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    const int n = send(client, bytes.data() + sent, static_cast<int>(bytes.size() - sent), 0);
    if (n <= 0)
      return;
    sent += static_cast<size_t>(n);
  }
}

// A status without a page, for a path given with --status-for.
std::string StatusOnly(int status) {
  const std::string code = std::to_string(status);
  return "HTTP/1.0 " + code + " Status " + code +
         "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
}

// Reads the request's head (up to its blank line) and answers it. A client that sends nothing
// (a connection check) is simply closed.
void Answer(SOCKET client, int port, const ServingOptions& options) {
  DWORD timeout = kReadMs;
  setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout),
             sizeof(timeout));
  std::string request;
  char buffer[1024];
  while (request.find("\r\n\r\n") == std::string::npos && request.size() < kMaxRequest) {
    const int n = recv(client, buffer, sizeof(buffer), 0);
    if (n <= 0)
      break;
    request.append(buffer, static_cast<size_t>(n));
  }
  if (request.empty())
    return;
  const size_t lineEnd = request.find("\r\n");
  const std::string line = request.substr(0, lineEnd);
  const size_t pathStart = line.find(' ');
  const size_t pathEnd = line.find(' ', pathStart + 1);
  if (line.rfind("GET ", 0) != 0 || pathEnd == std::string::npos) {
    SendAll(client, "HTTP/1.0 501 Not Implemented\r\nConnection: close\r\n\r\n");
    return;
  }
  const std::string path = line.substr(pathStart + 1, pathEnd - pathStart - 1);
  if (const auto status = options.statusFor.find(path); status != options.statusFor.end()) {
    SendAll(client, StatusOnly(status->second));
    return;
  }
  const std::string page =
      "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>SiteStandIn</title></head>\n"
      "<body><p>SiteStandIn（示例捆绑包的站点替身服务器，不是真正的 Apache）</p>\n"
      "<p>端口 " +
      std::to_string(port) + "，路径 " + HtmlEscaped(path) + "</p></body></html>\n";
  SendAll(client, "HTTP/1.0 200 OK\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: " +
                      std::to_string(page.size()) + "\r\nConnection: close\r\n\r\n" + page);
}

struct Listener {
  orv::UniqueSocket socket;
  orv::UniqueKernelHandle event;  // a WSAEVENT is an event handle
  int port = 0;
};

int Stop() {
  const orv::UniqueKernelHandle stop(
      OpenEventW(EVENT_MODIFY_STATE, FALSE, ObjectName(L"stop").c_str()));
  if (stop)
    SetEvent(stop.get());
  // Waits for the server to let go of its ports.
  orv::UniqueKernelHandle running(OpenMutexW(SYNCHRONIZE, FALSE, ObjectName(L"running").c_str()));
  if (running) {
    const DWORD waited = WaitForSingleObject(running.get(), kTakeOverMs);
    if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED)
      orv::UniqueHeldMutex held(running.release());
  }
  return 0;
}

// --silent: the connection is kept, unanswered, until the client closes it or the stand-in stops.
void Hold(std::vector<orv::UniqueSocket>& held, orv::UniqueSocket client) {
  if (held.size() >= kMaxHeld)
    held.erase(held.begin());
  held.push_back(std::move(client));
}

// --delay: false when the stand-in was stopped meanwhile.
bool WaitBeforeListening(HANDLE stop, DWORD delayMs) {
  return delayMs == 0 || WaitForSingleObject(stop, delayMs) == WAIT_TIMEOUT;
}

int ServePorts(const std::vector<int>& ports, const ServingOptions& options, HANDLE stop,
               const std::function<void()>& listening);

int Serve(const std::vector<int>& ports, const ServingOptions& options = {}) {
  // A stand-in of this file already serving is stopped; it gives up the mutex as it ends.
  const orv::UniqueKernelHandle stop(
      CreateEventW(nullptr, TRUE, FALSE, ObjectName(L"stop").c_str()));
  orv::UniqueKernelHandle mutex(CreateMutexW(nullptr, FALSE, ObjectName(L"running").c_str()));
  if (!stop || !mutex)
    return 1;
  SetEvent(stop.get());
  const DWORD taken = WaitForSingleObject(mutex.get(), kTakeOverMs);
  if (taken != WAIT_OBJECT_0 && taken != WAIT_ABANDONED)
    return 1;
  const orv::UniqueHeldMutex running(mutex.release());
  ResetEvent(stop.get());
  return ServePorts(ports, options, stop.get(), [] {});
}

// Listens on the ports and answers until `stop` is set; `listening` is called once the listeners
// are in place. Exit code 1 when no port can be bound (or Winsock cannot be started), else 0.
int ServePorts(const std::vector<int>& ports, const ServingOptions& options, HANDLE stop,
               const std::function<void()>& listening) {
  if (!WaitBeforeListening(stop, options.delayMs))
    return 0;
  try {
    const orv::WinsockSession winsock;
    std::vector<orv::UniqueSocket> held;
    std::vector<Listener> listeners;
    std::vector<HANDLE> waits{stop};
    for (const int port : ports) {
      Listener listener;
      listener.port = port;
      listener.socket.reset(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
      sockaddr_in address{};
      address.sin_family = AF_INET;
      address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      address.sin_port = htons(static_cast<u_short>(port));
      if (!listener.socket ||
          bind(listener.socket.get(), reinterpret_cast<const sockaddr*>(&address),
               sizeof(address)) != 0 ||
          listen(listener.socket.get(), SOMAXCONN) != 0) {
        continue;  // a port held by another program is left to it
      }
      listener.event.reset(WSACreateEvent());
      WSAEventSelect(listener.socket.get(), listener.event.get(), FD_ACCEPT);
      waits.push_back(listener.event.get());
      listeners.push_back(std::move(listener));
    }
    const int exitCode = listeners.empty() ? 1 : 0;
    if (!listeners.empty())
      listening();
    while (!listeners.empty()) {
      const DWORD which =
          WaitForMultipleObjects(static_cast<DWORD>(waits.size()), waits.data(), FALSE, INFINITE);
      if (which == WAIT_OBJECT_0 || which >= WAIT_OBJECT_0 + waits.size())
        break;  // stopped (or the wait failed)
      Listener& listener = listeners[which - WAIT_OBJECT_0 - 1];
      WSAResetEvent(listener.event.get());
      for (;;) {
        orv::UniqueSocket client(accept(listener.socket.get(), nullptr, nullptr));
        if (!client)
          break;
        if (options.silent) {
          WSAEventSelect(client.get(), nullptr, 0);
          Hold(held, std::move(client));
          continue;
        }
        // The accepted socket inherits the listener's event selection and non-blocking mode.
        WSAEventSelect(client.get(), nullptr, 0);
        u_long blocking = 0;
        ioctlsocket(client.get(), FIONBIO, &blocking);
        Answer(client.get(), listener.port, options);
        shutdown(client.get(), SD_BOTH);
      }
    }
    return exitCode;
  } catch (const orv::Failure&) {
    return 1;  // Winsock could not be started
  }
}

// One of the serving options at argv[i] (its value taken too): true; such an option with a bad
// value: false; no such option: none.
std::optional<bool> TakeServingOption(int argc, wchar_t** argv, int& i, ServingOptions& options) {
  const std::wstring arg = argv[i];
  if (arg == L"--silent") {
    options.silent = true;
    return true;
  }
  if (arg != L"--status-for" && arg != L"--delay")
    return std::nullopt;
  if (i + 1 >= argc)
    return false;
  const std::wstring value = argv[++i];
  if (arg == L"--delay") {
    const int seconds = _wtoi(value.c_str());
    if (seconds < 0 || seconds > 3600 || std::to_wstring(seconds) != value)
      return false;
    options.delayMs = static_cast<DWORD>(seconds) * 1000;
    return true;
  }
  const size_t equals = value.rfind(L'=');
  const int status = equals == std::wstring::npos ? 0 : _wtoi(value.c_str() + equals + 1);
  if (equals == 0 || status < 100 || status > 999 ||
      std::to_wstring(status) != value.substr(equals + 1))
    return false;
  try {
    options.statusFor[orv::WideToUtf8(value.substr(0, equals))] = status;
  } catch (...) {
    return false;
  }
  return true;
}

// The service mode. The dispatcher calls ServiceMain on a thread of its own, without a context:
// what it needs is kept here.
struct ServiceRun {
  std::vector<int> ports;
  FailingStart failing;
  SERVICE_STATUS_HANDLE status = nullptr;
  orv::UniqueKernelHandle stop;
  DWORD checkPoint = 0;
};
ServiceRun* runningService = nullptr;

void Report(DWORD state, DWORD win32ExitCode = NO_ERROR, DWORD serviceExitCode = 0) {
  SERVICE_STATUS status{};
  status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  status.dwCurrentState = state;
  status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
  status.dwWin32ExitCode = win32ExitCode;
  status.dwServiceSpecificExitCode = serviceExitCode;
  const bool pending = state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING;
  status.dwCheckPoint = pending ? ++runningService->checkPoint : 0;
  status.dwWaitHint = pending ? kTakeOverMs : 0;
  SetServiceStatus(runningService->status, &status);
}

DWORD WINAPI ServiceControl(DWORD control, DWORD, LPVOID, LPVOID) {
  switch (control) {
    case SERVICE_CONTROL_STOP:
    case SERVICE_CONTROL_SHUTDOWN:
      Report(SERVICE_STOP_PENDING);
      SetEvent(runningService->stop.get());
      return NO_ERROR;
    case SERVICE_CONTROL_INTERROGATE:
      return NO_ERROR;
    default:
      return ERROR_CALL_NOT_IMPLEMENTED;
  }
}

void WINAPI ServiceMain(DWORD argc, LPWSTR* argv) {
  const wchar_t* name = argc > 0 && argv != nullptr && argv[0] != nullptr ? argv[0] : L"";
  runningService->status = RegisterServiceCtrlHandlerExW(name, &ServiceControl, nullptr);
  if (runningService->status == nullptr)
    return;
  Report(SERVICE_START_PENDING);
  if (runningService->failing.server != FailingStart::Server::kNone) {
    const int exitCode = PlayFailingStart(runningService->failing, runningService->ports);
    Report(SERVICE_STOPPED, ERROR_SERVICE_SPECIFIC_ERROR, static_cast<DWORD>(exitCode));
    return;
  }
  runningService->stop.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  const int exitCode = runningService->stop
                           ? ServePorts(runningService->ports, {}, runningService->stop.get(),
                                        [] { Report(SERVICE_RUNNING); })
                           : 1;
  if (exitCode == 0)
    Report(SERVICE_STOPPED);
  else
    Report(SERVICE_STOPPED, ERROR_SERVICE_SPECIFIC_ERROR, static_cast<DWORD>(exitCode));
}

int RunAsService(const std::vector<int>& ports, const FailingStart& failing) {
  ServiceRun run;
  run.ports = ports;
  run.failing = failing;
  runningService = &run;
  SERVICE_TABLE_ENTRYW table[] = {{const_cast<wchar_t*>(L""), &ServiceMain}, {nullptr, nullptr}};
  const bool dispatched = StartServiceCtrlDispatcherW(table) != FALSE;
  runningService = nullptr;
  return dispatched ? 0 : 1;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (argv == nullptr)
    return 2;
  std::vector<int> ports;
  bool stop = false;
  ServingOptions serving;
  bool service = false;
  FailingStart failing;
  for (int i = 1; i < argc; ++i) {
    const std::wstring arg = argv[i];
    if (arg == L"--fail-bind-log" || arg == L"--fail-bind-apache-log") {
      if (i + 1 >= argc) {
        LocalFree(argv);
        return 2;  // usage
      }
      failing.server =
          arg == L"--fail-bind-log" ? FailingStart::Server::kDatabase : FailingStart::Server::kWeb;
      failing.log = argv[++i];
      continue;
    }
    if (arg == L"--stop") {
      stop = true;
      continue;
    }
    if (arg == L"--service") {
      service = true;
      continue;
    }
    if (const std::optional<bool> taken = TakeServingOption(argc, argv, i, serving)) {
      if (*taken)
        continue;
      LocalFree(argv);
      return 2;  // usage
    }
    const int port = _wtoi(arg.c_str());
    const bool isPort = port >= 1 && port <= 65535 && std::to_wstring(port) == arg;
    if (!isPort && service && !ports.empty())
      break;  // a service's own arguments after its ports, as real services carry
    if (!isPort) {
      LocalFree(argv);
      return 2;  // usage
    }
    ports.push_back(port);
  }
  LocalFree(argv);
  if (stop)
    return Stop();
  if (service)
    return ports.empty() && failing.server == FailingStart::Server::kNone
               ? 2
               : RunAsService(ports, failing);
  if (failing.server != FailingStart::Server::kNone)
    return PlayFailingStart(failing, ports);
  if (ports.empty())
    return 2;
  return Serve(ports, serving);
}
