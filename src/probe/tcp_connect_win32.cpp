#include "probe/tcp_connect_win32.h"

#include <mstcpip.h>

#include <utility>

#include "platform/failure.h"
#include "platform/system_error_win32.h"
#include "platform/winsock_session_win32.h"

// Older SDK headers lack the initial retransmission control of Windows 10 1703.
#ifndef SIO_TCP_INITIAL_RTO
#define SIO_TCP_INITIAL_RTO _WSAIOW(IOC_VENDOR, 17)
#endif
#ifndef TCP_INITIAL_RTO_UNSPECIFIED_RTT
#define TCP_INITIAL_RTO_UNSPECIFIED_RTT ((USHORT)-1)
#endif
#ifndef TCP_INITIAL_RTO_NO_SYN_RETRANSMISSIONS
#define TCP_INITIAL_RTO_NO_SYN_RETRANSMISSIONS ((UCHAR)-2)
#endif

namespace orv {
namespace {

// The layout of TCP_INITIAL_RTO_PARAMETERS, which not every header set declares.
struct InitialRtoParameters {
  USHORT Rtt;
  UCHAR MaxSynRetransmissions;
};

// Windows answers the reset of a closed port by sending the SYN again, so a refused connect takes
// about two seconds; without retransmissions it is refused at once. Systems without the control
// (before Windows 10 1703, Wine) keep their own timing. Returns false where the control is not
// supported.
bool RefuseWithoutSynRetransmission(SOCKET socket) noexcept {
  InitialRtoParameters parameters{TCP_INITIAL_RTO_UNSPECIFIED_RTT,
                                  TCP_INITIAL_RTO_NO_SYN_RETRANSMISSIONS};
  DWORD returned = 0;
  return WSAIoctl(socket, SIO_TCP_INITIAL_RTO, &parameters, sizeof(parameters), nullptr, 0,
                  &returned, nullptr, nullptr) == 0;
}

// Waits up to `limitMs` for the connect under way on `socket` to be accepted.
bool AcceptedWithin(SOCKET socket, DWORD limitMs) noexcept {
  fd_set written;
  FD_ZERO(&written);
  FD_SET(socket, &written);
  fd_set failed;
  FD_ZERO(&failed);
  FD_SET(socket, &failed);
  timeval limit{static_cast<long>(limitMs / 1000), static_cast<long>(limitMs % 1000) * 1000};
  if (select(0, nullptr, &written, &failed, &limit) <= 0)
    return false;
  return FD_ISSET(socket, &written) && !FD_ISSET(socket, &failed);
}

// The outcome of binding a wildcard address with exclusive use.
enum class BindResult { kBound, kInUse, kNoSuchFamily };

BindResult TryBindWildcard(int family, int32_t port) {
  UniqueSocket socket(::socket(family, SOCK_STREAM, IPPROTO_TCP));
  if (!socket) {
    const int error = WSAGetLastError();
    if (family == AF_INET6 &&
        (error == WSAEAFNOSUPPORT || error == WSAEPFNOSUPPORT || error == WSAEPROTONOSUPPORT)) {
      return BindResult::kNoSuchFamily;
    }
    throw ErrorFailure("检查端口", std::to_string(port), static_cast<DWORD>(error));
  }
  const BOOL on = TRUE;
  // Without exclusive use a bind could share a port that another program opened for reuse.
  setsockopt(socket.get(), SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&on),
             sizeof(on));
  sockaddr_storage address{};
  int length = 0;
  if (family == AF_INET6) {
    // Only the IPv6 wildcard: the IPv4 one was checked on its own.
    setsockopt(socket.get(), IPPROTO_IPV6, IPV6_V6ONLY, reinterpret_cast<const char*>(&on),
               sizeof(on));
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&address);
    v6->sin6_family = AF_INET6;
    v6->sin6_addr = in6addr_any;
    v6->sin6_port = htons(static_cast<u_short>(port));
    length = sizeof(sockaddr_in6);
  } else {
    auto* v4 = reinterpret_cast<sockaddr_in*>(&address);
    v4->sin_family = AF_INET;
    v4->sin_addr.s_addr = htonl(INADDR_ANY);
    v4->sin_port = htons(static_cast<u_short>(port));
    length = sizeof(sockaddr_in);
  }
  if (bind(socket.get(), reinterpret_cast<const sockaddr*>(&address), length) == 0)
    return BindResult::kBound;
  // A system with IPv6 sockets but no IPv6 address at all cannot bind its wildcard either.
  if (family == AF_INET6 && WSAGetLastError() == WSAEADDRNOTAVAIL)
    return BindResult::kNoSuchFamily;
  return BindResult::kInUse;
}

}  // namespace

ConnectStart PrepareTcpSocket(int family, ConnectNotice notice,
                              bool& initialRtoSupported) noexcept {
  ConnectStart start;
  start.socket.reset(::socket(family, SOCK_STREAM, IPPROTO_TCP));
  if (!start.socket) {
    start.error = WSAGetLastError();
    return start;
  }
  // Asked once per socket until the system says it does not support it: a probe of a thousand
  // ports should not pay a thousand refusals.
  if (initialRtoSupported && !RefuseWithoutSynRetransmission(start.socket.get()))
    initialRtoSupported = false;
  // Non-blocking either way: WSAAsyncSelect makes it so, and posts the result to the window.
  u_long nonBlocking = 1;
  const int set = notice.window != nullptr ? WSAAsyncSelect(start.socket.get(), notice.window,
                                                            notice.message, FD_CONNECT)
                                           : ioctlsocket(start.socket.get(), FIONBIO, &nonBlocking);
  if (set != 0) {
    start.error = WSAGetLastError();
    start.socket.reset();
    start.stage = ConnectStage::kNoNotice;
    return start;
  }
  start.stage = ConnectStage::kPending;
  return start;
}

ConnectStart StartTcpConnect(UniqueSocket socket, const sockaddr* address, int length,
                             bool toWindow) noexcept {
  ConnectStart start;
  start.socket = std::move(socket);
  if (connect(start.socket.get(), address, length) == 0) {
    start.stage = toWindow ? ConnectStage::kPending : ConnectStage::kConnected;
    return start;
  }
  start.error = WSAGetLastError();
  start.stage = start.error == WSAEWOULDBLOCK ? ConnectStage::kPending : ConnectStage::kRefused;
  if (start.stage == ConnectStage::kPending)
    start.error = 0;
  return start;
}

ConnectStart StartTcpConnect(const sockaddr* address, int length, ConnectNotice notice,
                             bool& initialRtoSupported) noexcept {
  ConnectStart made = PrepareTcpSocket(address->sa_family, notice, initialRtoSupported);
  if (!made.socket)
    return made;
  return StartTcpConnect(std::move(made.socket), address, length, notice.window != nullptr);
}

bool LoopbackPortAccepts(int32_t port, DWORD limitMs) noexcept {
  if (port < 1 || port > 65535)
    return false;
  try {
    const WinsockSession winsock;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<u_short>(port));
    bool initialRtoSupported = true;
    const ConnectStart start = StartTcpConnect(reinterpret_cast<const sockaddr*>(&address),
                                               sizeof(address), {}, initialRtoSupported);
    if (start.stage == ConnectStage::kConnected)
      return true;
    return start.stage == ConnectStage::kPending && AcceptedWithin(start.socket.get(), limitMs);
  } catch (const Failure&) {
    return false;  // Winsock could not be started
  }
}

bool PortCanBeBoundExclusively(int32_t port) {
  if (port < 1 || port > 65535)
    return false;
  const WinsockSession winsock;
  if (TryBindWildcard(AF_INET, port) != BindResult::kBound)
    return false;
  return TryBindWildcard(AF_INET6, port) != BindResult::kInUse;
}

}  // namespace orv
