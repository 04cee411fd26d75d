#pragma once
// Winsock is started once per user of it and cleaned up when that user is done (the system
// counts the starts).

#include "platform/windows_prelude_win32.h"

namespace orv {

// WSAStartup on construction, WSACleanup on destruction. Throws a Failure with the system's error
// text when Winsock cannot be started.
class WinsockSession {
 public:
  WinsockSession();
  ~WinsockSession();
  WinsockSession(const WinsockSession&) = delete;
  WinsockSession& operator=(const WinsockSession&) = delete;
};

}  // namespace orv
