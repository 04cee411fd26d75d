#include "startup/single_instance_win32.h"

#include <vector>

#include "platform/sized_text_win32.h"
#include "platform/system_error_win32.h"
#include "platform/text_win32.h"
#include "startup/app_folder.h"
#include "startup/instance_name.h"

namespace orv {
namespace {

constexpr DWORD kPollIntervalMs = 100;

// The long form of `path`, or `path` itself when the system cannot give one.
std::wstring LongPathOf(const std::wstring& path) {
  const std::optional<std::wstring> longPath = SizedText([&path](wchar_t* buffer, DWORD size) {
    return GetLongPathNameW(path.c_str(), buffer, size);
  });
  return longPath.value_or(path);
}

// The mutex name of the bundle that the process `processId` was started from; empty when the
// process cannot be asked (it has ended, or it may not be queried).
std::wstring InstanceNameOfProcess(DWORD processId) noexcept {
  try {
    const UniqueKernelHandle process(
        OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    if (!process)
      return std::wstring();
    std::vector<wchar_t> path(MAX_PATH);
    for (;;) {
      DWORD length = static_cast<DWORD>(path.size());
      if (QueryFullProcessImageNameW(process.get(), 0, path.data(), &length)) {
        const std::string image = WideToUtf8({path.data(), length});
        return InstanceNameOf(AppFolderFrom(ExecutableFolderOf(image)));
      }
      if (GetLastError() != ERROR_INSUFFICIENT_BUFFER)
        return std::wstring();
      path.resize(path.size() * 2);
    }
  } catch (...) {
    return std::wstring();
  }
}

struct WindowSearch {
  std::wstring name;
  DWORD ownProcess;
  HWND found;
};

BOOL CALLBACK MatchInstanceWindow(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<WindowSearch*>(param);
  if (!IsWindowVisible(window) || GetWindow(window, GW_OWNER) != nullptr)
    return TRUE;
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  if (processId == search->ownProcess || InstanceNameOfProcess(processId) != search->name)
    return TRUE;
  search->found = window;
  return FALSE;
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
  std::wstring folder = LongPathOf(Utf8ToWide(appFolder));
  CharUpperBuffW(folder.data(), static_cast<DWORD>(folder.size()));
  return Utf8ToWide(InstanceName(std::u16string(folder.begin(), folder.end())));
}

SingleInstance::SingleInstance(const std::string& appFolder) {
  const std::wstring name = InstanceNameOf(appFolder);
  UniqueKernelHandle mutex(CreateMutexW(nullptr, FALSE, name.c_str()));
  if (!mutex) {
    // Made by an instance with other rights (an elevated one): it exists, so it is held.
    if (GetLastError() == ERROR_ACCESS_DENIED)
      return;
    ThrowLastError("创建防止同时配置的互斥体", WideToUtf8(name));
  }
  switch (WaitForSingleObject(mutex.get(), 0)) {
    case WAIT_OBJECT_0:
    case WAIT_ABANDONED:  // its holder ended without releasing it: this instance holds it now
      mutex_.reset(mutex.release());
      return;
    case WAIT_TIMEOUT:
      return;
    default:
      ThrowLastError("获取防止同时配置的互斥体", WideToUtf8(name));
  }
}

bool ActivateOtherInstance(const std::string& appFolder, DWORD timeoutMs) {
  WindowSearch search{InstanceNameOf(appFolder), GetCurrentProcessId(), nullptr};
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  for (;;) {
    EnumWindows(&MatchInstanceWindow, reinterpret_cast<LPARAM>(&search));
    if (search.found != nullptr) {
      BringToFront(search.found);
      return true;
    }
    if (GetTickCount64() >= deadline)
      return false;
    Sleep(kPollIntervalMs);
  }
}

}  // namespace orv
