#pragma once
// The probe sockets on Winsock: element i is a non-blocking TCP socket whose connect result comes
// back as a window message to the scan window. The window hands every message in
// [firstMessage, firstMessage + messageCount) to TakeEvent, which turns it into a connected or
// failed event for an element index, or nothing when the message is stale (its socket was closed
// or sent on since).
//
// Each connect attempt gets a message number of its own, taken in turn from the range and given
// back when its result is taken or the element is closed. A report that was already queued when
// its socket was closed thus finds its number unowned, or owned by a later attempt on another
// socket handle, and is dropped; the handle alone could not tell, since the system reuses handle
// values.
//
// While a connect is under way the family already makes the socket for the next one (a spare:
// created, set to report to the window under a message number of its own), so that a probe that
// sends one element from port to port finds its next socket ready, and the system notices the
// connect's result meanwhile: by the time the window asks for its messages, the report is there.
// The spare is closed with the family's last element.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/unique_handle_win32.h"
#include "platform/winsock_session_win32.h"
#include "probe/port_probe.h"

namespace orv {

struct SocketEvent {
  int16_t index;
  bool connected;  // false: the connect failed
};

class WinsockProbeSockets final : public ProbeSockets {
 public:
  // Winsock is started with the first element (and stays started while the family exists), not
  // here: a window that makes the family at its creation does not load Winsock before it shows.
  WinsockProbeSockets(HWND window, UINT firstMessage, UINT messageCount);
  ~WinsockProbeSockets() override;  // closes every socket
  WinsockProbeSockets(const WinsockProbeSockets&) = delete;
  WinsockProbeSockets& operator=(const WinsockProbeSockets&) = delete;

  bool Exists(int16_t index) const override;
  // Throws a Failure when the element exists already, or when Winsock cannot be started.
  void Create(int16_t index) override;
  // Resolves the host and starts a connect. A host that cannot be resolved and a connect refused
  // at once are reported later as a failed event, like any other connect result; a Failure is
  // thrown only when no socket can be made or the element does not exist.
  void Connect(int16_t index, const std::string& host, int32_t port) override;
  // A new socket for the element, to the address of its last connect.
  void Reconnect(int16_t index, int32_t port) override;
  // Closing or removing a missing element does nothing.
  void Close(int16_t index) override;
  void Remove(int16_t index) override;
  int32_t RemotePort(int16_t index) const override;  // 0 for a missing element
  // Binds the port on the IPv4 wildcard, and on the IPv6 wildcard where the system has IPv6,
  // with exclusive use, closing each socket at once. Throws a Failure when no socket can be made.
  bool CanListenOn(int32_t port) override;

  // The event a socket message stands for; nothing for a stale message. Never throws.
  std::optional<SocketEvent> TakeEvent(UINT message, WPARAM wParam, LPARAM lParam) noexcept;

  // Closes and forgets every element; no event is delivered for them afterwards.
  void CloseAll() noexcept;

 private:
  struct Element {
    UniqueSocket socket;         // invalid before the first connect and after a close
    sockaddr_storage address{};  // the remote address of the last connect, port included
    int addressLength = 0;       // 0: the host could not be resolved
    int32_t port = 0;            // the remote port of the last connect
    UINT message = 0;            // message number of the connect in flight; 0 for none
  };

  // A socket made ready for the next connect, reporting as `message`; none while `socket` is
  // invalid.
  struct Spare {
    UniqueSocket socket;
    int family = AF_UNSPEC;
    UINT message = 0;
  };

  Element& At(int16_t index);
  void StartConnect(int16_t index, Element& element, int32_t port);
  // A free message number, now owned by `owner`; nothing when every number is in use.
  std::optional<UINT> FreeMessageNumber(int16_t owner) noexcept;
  UINT TakeMessageNumber(int16_t index);  // throws a Failure when every number is in use
  void ReleaseMessageNumber(Element& element) noexcept;
  // Makes the spare for a connect to an address of `family`, where none of that family is ready.
  // A spare that cannot be made is not made: the next connect makes its socket itself, and
  // reports its failure.
  void PrepareSpare(int family) noexcept;
  void DropSpare() noexcept;
  // Queues a failed result for the element's connect in flight, as the system would.
  void PostFailure(const Element& element, int error) noexcept;

  std::optional<WinsockSession> session_;  // from the first element on
  HWND window_;
  UINT firstMessage_;
  UINT messageCount_;
  UINT nextMessage_ = 0;                // offset of the number to try first
  bool initialRtoSupported_ = true;     // false once the system refused SIO_TCP_INITIAL_RTO
  std::vector<int16_t> messageOwners_;  // per message number: its element, or -1
  std::map<int16_t, Element> elements_;
  Spare spare_;
};

}  // namespace orv
