#include "program/single_instance_win32.h"

#include "bundle/instance_name.h"
#include "bundle/path_identity_win32.h"
#include "platform/system_error_win32.h"
#include "platform/text_win32.h"

namespace orv {
namespace {

constexpr DWORD kPollIntervalMs = 50;

struct WindowSearch {
  const wchar_t* className;
  std::wstring property;
  DWORD ownProcess;
};

// The first instance's window: of the program's own class, marked with the bundle's name, of
// another process. Nothing of other processes is opened or asked.
HWND FindInstanceWindow(const WindowSearch& search) {
  for (HWND window = FindWindowExW(nullptr, nullptr, search.className, nullptr); window != nullptr;
       window = FindWindowExW(nullptr, window, search.className, nullptr)) {
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (processId != search.ownProcess && IsWindowVisible(window) &&
        GetPropW(window, search.property.c_str()) != nullptr)
      return window;
  }
  return nullptr;
}

void BringToFront(HWND window) {
  // Asynchronous: a busy or hung owner cannot hold this process up.
  if (IsIconic(window))
    ShowWindowAsync(window, SW_RESTORE);
  // A process that the user has just started may set the foreground window; a modal box of the
  // window's own goes in front of it.
  SetForegroundWindow(GetLastActivePopup(window));
}

}  // namespace

std::wstring InstanceNameOf(const std::string& appFolder) {
  return Utf8ToWide(InstanceName(PathIdentityOf(appFolder)));
}

SingleInstance::SingleInstance(const std::string& appFolder) : name_(InstanceNameOf(appFolder)) {
  UniqueKernelHandle mutex(CreateMutexW(nullptr, FALSE, name_.c_str()));
  if (!mutex) {
    // Made by an instance with other rights (an elevated one): it exists, so it is held.
    if (GetLastError() == ERROR_ACCESS_DENIED)
      return;
    ThrowLastError("检查是否已有本系统的配置程序在运行", "");
  }
  switch (WaitForSingleObject(mutex.get(), 0)) {
    case WAIT_OBJECT_0:
    case WAIT_ABANDONED:  // its holder ended without releasing it: this instance holds it now
      mutex_.reset(mutex.release());
      return;
    case WAIT_TIMEOUT:
      return;
    default:
      ThrowLastError("检查是否已有本系统的配置程序在运行", "");
  }
}

bool ActivateOtherInstance(const std::wstring& instanceName, const wchar_t* windowClass,
                           DWORD timeoutMs) {
  const WindowSearch search{windowClass, instanceName, GetCurrentProcessId()};
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  for (;;) {
    const HWND found = FindInstanceWindow(search);
    if (found != nullptr) {
      BringToFront(found);
      return true;
    }
    if (GetTickCount64() >= deadline)
      return false;
    Sleep(kPollIntervalMs);
  }
}

}  // namespace orv
