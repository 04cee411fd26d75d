#include "watch/port_owners_win32.h"

// The IP helper's declarations after the prelude; the library itself is loaded at run time.
#include <iphlpapi.h>

#include "platform/failure.h"
#include "platform/system_library_win32.h"
#include "platform/text_win32.h"
#include "platform/winsock_session_win32.h"

namespace orv {
namespace {

// A non-blocking connect to 127.0.0.1:port, given `limitMs` to be accepted; Winsock is started.
bool LoopbackConnectAccepted(int32_t port, DWORD limitMs) {
  const UniqueSocket socket(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  if (!socket)
    return false;
  u_long nonBlocking = 1;
  if (ioctlsocket(socket.get(), FIONBIO, &nonBlocking) != 0)
    return false;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<u_short>(port));
  if (connect(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0)
    return true;
  if (WSAGetLastError() != WSAEWOULDBLOCK)
    return false;
  fd_set written;
  FD_ZERO(&written);
  FD_SET(socket.get(), &written);
  fd_set failed;
  FD_ZERO(&failed);
  FD_SET(socket.get(), &failed);
  timeval limit{static_cast<long>(limitMs / 1000), static_cast<long>(limitMs % 1000) * 1000};
  if (select(0, nullptr, &written, &failed, &limit) <= 0)
    return false;
  return FD_ISSET(socket.get(), &written) && !FD_ISSET(socket.get(), &failed);
}

using GetExtendedTcpTableFn = DWORD(WINAPI*)(PVOID, PDWORD, BOOL, ULONG, TCP_TABLE_CLASS, ULONG);

}  // namespace

std::vector<ListeningSocket> ListeningTcpSockets() {
  const UniqueModule library = LoadSystemLibrary(L"iphlpapi.dll");
  const auto getTable =
      library ? LibraryFunction<GetExtendedTcpTableFn>(library.get(), "GetExtendedTcpTable")
              : nullptr;
  if (getTable == nullptr)
    return {};
  // The table may grow between the call that sizes it and the one that fills it.
  std::vector<unsigned char> buffer;
  DWORD size = 0;
  DWORD result = ERROR_INSUFFICIENT_BUFFER;
  for (int attempt = 0; attempt < 4 && result == ERROR_INSUFFICIENT_BUFFER; ++attempt) {
    buffer.resize(size + 4096);
    size = static_cast<DWORD>(buffer.size());
    result = getTable(buffer.data(), &size, FALSE, AF_INET, TCP_TABLE_OWNER_PID_LISTENER, 0);
  }
  if (result != NO_ERROR)
    return {};
  const auto* table = reinterpret_cast<const MIB_TCPTABLE_OWNER_PID*>(buffer.data());
  std::vector<ListeningSocket> sockets;
  sockets.reserve(table->dwNumEntries);
  for (DWORD i = 0; i < table->dwNumEntries; ++i) {
    const MIB_TCPROW_OWNER_PID& row = table->table[i];
    sockets.push_back({ntohs(static_cast<u_short>(row.dwLocalPort)), row.dwOwningPid});
  }
  return sockets;
}

std::optional<std::string> SystemProcessImages::ImagePath(uint32_t processId) {
  const UniqueKernelHandle process(
      OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
  if (!process)
    return std::nullopt;
  std::wstring path(32768, L'\0');
  DWORD length = static_cast<DWORD>(path.size());
  if (!QueryFullProcessImageNameW(process.get(), 0, path.data(), &length))
    return std::nullopt;
  path.resize(length);
  return WideToUtf8(path);
}

PortHolder HolderOfPort(int32_t port, const std::string& appFolder) {
  try {
    SystemProcessImages images;
    return FindPortHolder(ListeningTcpSockets(), port, appFolder, images);
  } catch (...) {
    return {};
  }
}

bool LoopbackPortAccepts(int32_t port, DWORD limitMs) {
  if (port < 1 || port > 65535)
    return false;
  try {
    const WinsockSession winsock;
    return LoopbackConnectAccepted(port, limitMs);
  } catch (const Failure&) {
    return false;  // Winsock could not be started
  }
}

}  // namespace orv
