#include "config/script_start_win32.h"

// The shell's header after the prelude, which sets what it depends on.
#include "platform/windows_prelude_win32.h"

#include <shellapi.h>

#include <vector>

#include "config/script_command.h"
#include "platform/system_error_win32.h"
#include "platform/text_win32.h"
#include "platform/unique_handle_win32.h"

namespace orv {

std::string SystemCommandProcessor() {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const UINT length = GetSystemDirectoryW(buffer.data(), static_cast<UINT>(buffer.size()));
    if (length == 0)
      ThrowLastError("获取系统文件夹", "");
    if (length < buffer.size())
      return WideToUtf8({buffer.data(), length}) + "\\cmd.exe";
    buffer.resize(length + 1);  // too small: `length` is the size needed
  }
}

void StartScriptMinimized(const std::string& scriptPath) {
  const std::string cmdExe = SystemCommandProcessor();
  std::wstring commandLine = Utf8ToWide(ScriptCommandLine(cmdExe, scriptPath));
  const std::wstring application = Utf8ToWide(cmdExe);

  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOWMINIMIZED;
  PROCESS_INFORMATION started{};
  if (!CreateProcessW(application.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      nullptr, &startup, &started)) {
    ThrowLastError("启动安装脚本", scriptPath);
  }
  // Not waited for: the handles are only closed.
  UniqueKernelHandle process(started.hProcess);
  UniqueKernelHandle thread(started.hThread);
}

bool StartScriptAsAdministrator(const std::string& scriptPath) {
  const std::wstring application = Utf8ToWide(SystemCommandProcessor());
  const std::wstring arguments = Utf8ToWide(ScriptArguments(scriptPath));
  // The elevated process does not inherit the current folder: it is passed on explicitly.
  std::vector<wchar_t> folder(MAX_PATH);
  for (;;) {
    const DWORD length = GetCurrentDirectoryW(static_cast<DWORD>(folder.size()), folder.data());
    if (length == 0)
      ThrowLastError("获取当前文件夹", "");
    if (length < folder.size())
      break;
    folder.resize(length);  // too small: `length` is the size needed, terminator included
  }

  SHELLEXECUTEINFOW execute{};
  execute.cbSize = sizeof(execute);
  // The failure is reported by the caller, in the program's own words: no box from the shell.
  execute.fMask = SEE_MASK_FLAG_NO_UI;
  // The consent prompt comes to the front over the program's window when that is active.
  execute.hwnd = GetActiveWindow();
  execute.lpVerb = L"runas";
  execute.lpFile = application.c_str();
  execute.lpParameters = arguments.c_str();
  execute.lpDirectory = folder.data();
  execute.nShow = SW_SHOWMINIMIZED;
  if (ShellExecuteExW(&execute))
    return true;
  const DWORD error = GetLastError();
  if (error == ERROR_CANCELLED)
    return false;
  throw ErrorFailure("以管理员权限启动安装脚本", scriptPath, error);
}

}  // namespace orv
