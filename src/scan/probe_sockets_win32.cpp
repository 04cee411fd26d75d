#include "scan/probe_sockets_win32.h"

namespace orv {
struct WinsockProbeSockets::Element {};
WinsockProbeSockets::WinsockProbeSockets(HWND window, UINT firstMessage, UINT messageCount)
    : window_(window), firstMessage_(firstMessage), messageCount_(messageCount) {}
WinsockProbeSockets::~WinsockProbeSockets() = default;
bool WinsockProbeSockets::Exists(int16_t) const {
  return false;
}
void WinsockProbeSockets::Create(int16_t) {}
void WinsockProbeSockets::Connect(int16_t, const std::string&, int32_t) {}
void WinsockProbeSockets::Reconnect(int16_t, int32_t) {}
void WinsockProbeSockets::Close(int16_t) {}
void WinsockProbeSockets::Remove(int16_t) {}
int32_t WinsockProbeSockets::RemotePort(int16_t) const {
  return 0;
}
bool WinsockProbeSockets::CanListenOn(int32_t) {
  return true;
}
std::optional<SocketEvent> WinsockProbeSockets::TakeEvent(UINT, WPARAM, LPARAM) {
  return {};
}
void WinsockProbeSockets::CloseAll() noexcept {}
}  // namespace orv
