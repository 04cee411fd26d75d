#include "platform/elevation_win32.h"

#include "platform/system_error_win32.h"
#include "platform/unique_handle_win32.h"

namespace orv {

bool ProcessIsElevated() {
  HANDLE opened = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &opened))
    ThrowLastError("查询本程序的权限", "");
  const UniqueKernelHandle token(opened);
  TOKEN_ELEVATION elevation{};
  DWORD size = 0;
  if (!GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof(elevation), &size))
    ThrowLastError("查询本程序的权限", "");
  return elevation.TokenIsElevated != 0;
}

}  // namespace orv
