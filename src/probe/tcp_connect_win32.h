#pragma once
// The program's one TCP connect. A connect is started non-blocking, on a socket that is refused at
// once where the system allows (no SYN retransmission after a reset); the probe's sockets learn
// its result from a window message, and LoopbackPortAccepts waits for it.

#include <cstdint>

#include "platform/unique_handle_win32.h"

namespace orv {

enum class ConnectStage {
  kPending,    // under way (or done at once; with a window, the message reports it either way)
  kConnected,  // accepted at once (only without a window)
  kRefused,    // the connect failed at once; the socket is kept, `error` says why
  kNoSocket,   // no socket could be made; `error` says why
  kNoNotice,   // the socket could not be set to report to the window; `error` says why, no socket
};

struct ConnectStart {
  UniqueSocket socket;
  ConnectStage stage = ConnectStage::kNoSocket;
  int error = 0;  // a Winsock error code
};

// Where the result of a connect goes: posted to `window` as `message` (WSAAsyncSelect, FD_CONNECT),
// or, with no window, nowhere: the caller waits on the socket itself.
struct ConnectNotice {
  HWND window = nullptr;
  UINT message = 0;
};

// Makes a TCP socket of `family` ready for a connect: non-blocking, reporting as `notice` says.
// Asks for an immediate refusal once per socket while `initialRtoSupported` is true, and clears it
// when the system refuses the request (before Windows 10 1703, Wine). On success the stage is
// kPending and the socket valid; otherwise the stage is kNoSocket or kNoNotice, with no socket.
// Winsock is started. Never throws.
ConnectStart PrepareTcpSocket(int family, ConnectNotice notice, bool& initialRtoSupported) noexcept;

// Starts a connect to `address` (of `length` bytes, of the socket's family) on a socket from
// PrepareTcpSocket; `toWindow` tells whether that socket reports to a window. Never throws.
ConnectStart StartTcpConnect(UniqueSocket socket, const sockaddr* address, int length,
                             bool toWindow) noexcept;

// Both steps at once: a new socket of the address's family, connecting.
ConnectStart StartTcpConnect(const sockaddr* address, int length, ConnectNotice notice,
                             bool& initialRtoSupported) noexcept;

// True when a listener on 127.0.0.1 accepts a connection to `port`: a loopback connect is accepted
// or refused at once; one that gets no answer within `limitMs` (its packets dropped) counts as not
// accepted. Starts Winsock itself. Never throws: a connect that cannot be tried counts as not
// accepted.
bool LoopbackPortAccepts(int32_t port, DWORD limitMs) noexcept;

// True when `port` can be bound on the IPv4 wildcard, and on the IPv6 wildcard where the system
// has IPv6, with exclusive use (each socket closed at once): nothing listens on it, nor holds it,
// on any address of this machine. False for a port outside 1 to 65535. Starts Winsock itself.
// Throws a Failure when no socket can be made.
bool PortCanBeBoundExclusively(int32_t port);

}  // namespace orv
