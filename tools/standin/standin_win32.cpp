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
//
// It has no window and no console: the install script starts it with "start", and it lives on.

#include "platform/windows_prelude_win32.h"

#include <shellapi.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

constexpr DWORD kTakeOverMs = 5000;
constexpr DWORD kReadMs = 2000;
constexpr size_t kMaxRequest = 8192;

// Objects named after this file's full path (letter case ignored), so that two bundles' stand-ins
// do not stop each other.
std::wstring ObjectName(const wchar_t* kind) {
  std::wstring path(32768, L'\0');
  path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
  uint64_t hash = 14695981039346656037ull;  // FNV-1a
  for (wchar_t c : path) {
    hash = (hash ^ static_cast<uint64_t>(towlower(c))) * 1099511628211ull;
  }
  wchar_t hex[17];
  for (int i = 15; i >= 0; --i, hash >>= 4)
    hex[i] = L"0123456789abcdef"[hash & 0xF];
  hex[16] = L'\0';
  return std::wstring(L"OrvandimexSiteStandIn-") + kind + L"-" + hex;
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

// Reads the request's head (up to its blank line) and answers it. A client that sends nothing
// (a connection check) is simply closed.
void Answer(SOCKET client, int port) {
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
  const std::string page =
      "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>SiteStandIn</title></head>\n"
      "<body><p>SiteStandIn（示例捆绑包的站点替身服务器，不是真正的 Apache）</p>\n"
      "<p>端口 " +
      std::to_string(port) + "，路径 " + HtmlEscaped(path) + "</p></body></html>\n";
  SendAll(client, "HTTP/1.0 200 OK\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: " +
                      std::to_string(page.size()) + "\r\nConnection: close\r\n\r\n" + page);
}

struct Listener {
  SOCKET socket = INVALID_SOCKET;
  WSAEVENT event = WSA_INVALID_EVENT;
  int port = 0;
};

int Stop() {
  const HANDLE stop = OpenEventW(EVENT_MODIFY_STATE, FALSE, ObjectName(L"stop").c_str());
  if (stop != nullptr) {
    SetEvent(stop);
    CloseHandle(stop);
  }
  // Waits for the server to let go of its ports.
  const HANDLE running = OpenMutexW(SYNCHRONIZE, FALSE, ObjectName(L"running").c_str());
  if (running != nullptr) {
    const DWORD waited = WaitForSingleObject(running, kTakeOverMs);
    if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED)
      ReleaseMutex(running);
    CloseHandle(running);
  }
  return 0;
}

int Serve(const std::vector<int>& ports) {
  // A stand-in of this file already serving is stopped; it gives up the mutex as it ends.
  const HANDLE stop = CreateEventW(nullptr, TRUE, FALSE, ObjectName(L"stop").c_str());
  const HANDLE running = CreateMutexW(nullptr, FALSE, ObjectName(L"running").c_str());
  if (stop == nullptr || running == nullptr)
    return 1;
  SetEvent(stop);
  const DWORD taken = WaitForSingleObject(running, kTakeOverMs);
  if (taken != WAIT_OBJECT_0 && taken != WAIT_ABANDONED)
    return 1;
  ResetEvent(stop);

  WSADATA data{};
  if (WSAStartup(MAKEWORD(2, 2), &data) != 0)
    return 1;
  std::vector<Listener> listeners;
  std::vector<HANDLE> waits{stop};
  for (const int port : ports) {
    Listener listener;
    listener.port = port;
    listener.socket = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<u_short>(port));
    if (listener.socket == INVALID_SOCKET ||
        bind(listener.socket, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0 ||
        listen(listener.socket, SOMAXCONN) != 0) {
      if (listener.socket != INVALID_SOCKET)
        closesocket(listener.socket);
      continue;  // a port held by another program is left to it
    }
    listener.event = WSACreateEvent();
    WSAEventSelect(listener.socket, listener.event, FD_ACCEPT);
    listeners.push_back(listener);
    waits.push_back(listener.event);
  }
  int exitCode = listeners.empty() ? 1 : 0;
  while (!listeners.empty()) {
    const DWORD which =
        WaitForMultipleObjects(static_cast<DWORD>(waits.size()), waits.data(), FALSE, INFINITE);
    if (which == WAIT_OBJECT_0 || which >= WAIT_OBJECT_0 + waits.size())
      break;  // stopped (or the wait failed)
    Listener& listener = listeners[which - WAIT_OBJECT_0 - 1];
    WSAResetEvent(listener.event);
    for (;;) {
      const SOCKET client = accept(listener.socket, nullptr, nullptr);
      if (client == INVALID_SOCKET)
        break;
      // The accepted socket inherits the listener's event selection and non-blocking mode.
      WSAEventSelect(client, nullptr, 0);
      u_long blocking = 0;
      ioctlsocket(client, FIONBIO, &blocking);
      Answer(client, listener.port);
      shutdown(client, SD_BOTH);
      closesocket(client);
    }
  }
  for (const Listener& listener : listeners) {
    closesocket(listener.socket);
    WSACloseEvent(listener.event);
  }
  WSACleanup();
  ReleaseMutex(running);
  CloseHandle(running);
  CloseHandle(stop);
  return exitCode;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (argv == nullptr)
    return 2;
  std::vector<int> ports;
  bool stop = false;
  for (int i = 1; i < argc; ++i) {
    const std::wstring arg = argv[i];
    if (arg == L"--stop") {
      stop = true;
      continue;
    }
    const int port = _wtoi(arg.c_str());
    if (port < 1 || port > 65535 || std::to_wstring(port) != arg) {
      LocalFree(argv);
      return 2;  // usage
    }
    ports.push_back(port);
  }
  LocalFree(argv);
  if (stop)
    return Stop();
  if (ports.empty())
    return 2;
  return Serve(ports);
}
