#pragma once
// Failures built from Win32 error codes: the message names what failed, the path, and the system's
// own error text.

#include <string>
#include <string_view>

#include "platform/failure.h"
#include "platform/windows_prelude_win32.h"

namespace orv {

// The system's own text for an error code (GetLastError, WSAGetLastError, a service's exit code),
// without the trailing line end; "" when the system has none.
std::string SystemMessageText(DWORD code);

// SystemMessageText followed by "（错误 N）"; "错误 N" when the system has none.
std::string SystemErrorText(DWORD code);

// "<operation>“<subject>”失败：<system text>". `subject` may be empty. The failure carries the
// code; with an action other than kNone, `subject` is the file's path and it carries both.
Failure ErrorFailure(std::string_view operation, std::string_view subject, DWORD code,
                     FileAction action = FileAction::kNone);

[[noreturn]] void ThrowLastError(std::string_view operation, std::string_view subject,
                                 FileAction action = FileAction::kNone);

}  // namespace orv
