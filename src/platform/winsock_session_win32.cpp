#include "platform/winsock_session_win32.h"

#include "platform/system_error_win32.h"

namespace orv {

WinsockSession::WinsockSession() {
  WSADATA data{};
  const int error = WSAStartup(MAKEWORD(2, 2), &data);
  if (error != 0)
    throw ErrorFailure("启动 Windows 网络功能", "", static_cast<DWORD>(error));
}

WinsockSession::~WinsockSession() {
  WSACleanup();
}

}  // namespace orv
