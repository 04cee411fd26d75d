#pragma once
// The probe sockets on Winsock: element i is a non-blocking TCP socket whose connect result comes
// back as a window message to the scan window. The window hands every message in
// [firstMessage, firstMessage + messageCount) to TakeEvent, which turns it into a connected or
// failed event for an element index, or nothing when the message is stale (its socket was closed
// or sent on since).

#include <cstdint>
#include <map>
#include <optional>

#include "platform/unique_handle_win32.h"
#include "scan/port_probe.h"

namespace orv {

struct SocketEvent {
  int16_t index;
  bool connected;  // false: the connect failed
};

class WinsockProbeSockets final : public ProbeSockets {
 public:
  WinsockProbeSockets(HWND window, UINT firstMessage, UINT messageCount);
  ~WinsockProbeSockets() override;  // closes every socket
  WinsockProbeSockets(const WinsockProbeSockets&) = delete;
  WinsockProbeSockets& operator=(const WinsockProbeSockets&) = delete;

  bool Exists(int16_t index) const override;
  void Create(int16_t index) override;
  void Connect(int16_t index, const std::string& host, int32_t port) override;
  void Reconnect(int16_t index, int32_t port) override;
  void Close(int16_t index) override;
  void Remove(int16_t index) override;
  int32_t RemotePort(int16_t index) const override;
  bool CanListenOn(int32_t port) override;

  std::optional<SocketEvent> TakeEvent(UINT message, WPARAM wParam, LPARAM lParam);

  // Closes and forgets every element; no event is delivered for them afterwards.
  void CloseAll() noexcept;

 private:
  struct Element;
  HWND window_;
  UINT firstMessage_;
  UINT messageCount_;
  UINT nextMessage_ = 0;
  std::map<int16_t, Element> elements_;
};

}  // namespace orv
