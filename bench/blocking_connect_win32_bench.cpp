// The baseline for the probe rate: one blocking connect after another to 127.0.0.1, from the first
// port of the range upward, until a port refuses the connection. Prints how long that took.
//
//   blocking_connect_win32_bench FIRST LAST [--host ADDRESS]
//
// Run it where the ports below the free one are held by listeners (for example inside a network
// namespace of its own). The figures are wall-clock times from QueryPerformanceCounter.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/system_error_win32.h"
#include "platform/unique_handle_win32.h"

namespace {

bool ParsePort(const char* text, int& port) {
  char* end = nullptr;
  const long value = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || value < 1 || value > 65535)
    return false;
  port = static_cast<int>(value);
  return true;
}

int Usage() {
  std::fprintf(stderr, "usage: blocking_connect_win32_bench FIRST LAST [--host ADDRESS]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  int first = 0;
  int last = 0;
  std::string host = "127.0.0.1";
  if (argc < 3 || !ParsePort(argv[1], first) || !ParsePort(argv[2], last) || last < first)
    return Usage();
  for (int i = 3; i < argc; ++i) {
    if (std::strcmp(argv[i], "--host") == 0 && i + 1 < argc) {
      host = argv[++i];
    } else {
      return Usage();
    }
  }

  WSADATA data{};
  if (const int error = WSAStartup(MAKEWORD(2, 2), &data); error != 0) {
    std::fprintf(stderr, "WSAStartup: %s\n", orv::SystemErrorText(error).c_str());
    return 1;
  }
  sockaddr_in address{};
  address.sin_family = AF_INET;
  if (inet_pton(AF_INET, host.c_str(), &address.sin_addr) != 1) {
    std::fprintf(stderr, "not an IPv4 address: %s\n", host.c_str());
    return 2;
  }

  LARGE_INTEGER frequency{};
  LARGE_INTEGER start{};
  LARGE_INTEGER now{};
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);

  int refused = 0;
  int connects = 0;
  for (int port = first; port <= last && refused == 0; ++port) {
    orv::UniqueSocket socket(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    if (!socket) {
      std::fprintf(stderr, "socket: %s\n", orv::SystemErrorText(WSAGetLastError()).c_str());
      return 1;
    }
    address.sin_port = htons(static_cast<u_short>(port));
    ++connects;
    if (connect(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
      const int error = WSAGetLastError();
      if (error != WSAECONNREFUSED) {
        std::fprintf(stderr, "connect to port %d: %s\n", port, orv::SystemErrorText(error).c_str());
        return 1;
      }
      refused = port;
    }
  }
  QueryPerformanceCounter(&now);
  WSACleanup();

  const double seconds =
      static_cast<double>(now.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
  if (refused == 0) {
    std::printf("no refused port in %d..%d\n", first, last);
  } else {
    std::printf("first refused port: %d\n", refused);
  }
  std::printf("connects: %d\n", connects);
  std::printf("elapsed ms: %.3f\n", seconds * 1000.0);
  std::printf("per connect us: %.1f\n", connects > 0 ? seconds * 1e6 / connects : 0.0);
  return refused == 0 ? 3 : 0;
}
