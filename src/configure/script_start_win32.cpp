#include "configure/script_start_win32.h"

// The shell's header after the prelude, which sets what it depends on.
#include "platform/windows_prelude_win32.h"

#include <shellapi.h>

#include "configure/script_command.h"
#include "platform/sized_text_win32.h"
#include "platform/system_error_win32.h"
#include "platform/text_win32.h"
#include "platform/unique_handle_win32.h"

namespace orv {

namespace {

// True for a 32-bit process on 64-bit Windows.
bool RunsUnderWow64() {
  BOOL wow64 = FALSE;
  return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
}

}  // namespace

std::string SystemCommandProcessor() {
  // The bundle's scripts are written for the 32-bit command processor, which a 32-bit program
  // gets on 64-bit Windows too: named by its own folder, it stays the same whatever starts it
  // (CreateProcessW or the shell's elevated start, which may not apply the file-system
  // redirection).
  const auto getFolder = RunsUnderWow64() ? &GetSystemWow64DirectoryW : &GetSystemDirectoryW;
  const std::optional<std::wstring> folder = SizedText(getFolder);
  if (!folder)
    ThrowLastError("获取系统文件夹", "");
  return WideToUtf8(*folder) + "\\cmd.exe";
}

UniqueKernelHandle StartScriptMinimized(const std::string& scriptPath) {
  const std::string cmdExe = SystemCommandProcessor();
  std::wstring commandLine = Utf8ToWide(ScriptCommandLine(cmdExe, scriptPath));
  const std::wstring application = Utf8ToWide(cmdExe);

  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOWMINIMIZED;
  PROCESS_INFORMATION started{};
  const std::wstring folder = Utf8ToWide(ScriptFolder(scriptPath));
  if (!CreateProcessW(application.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      folder.empty() ? nullptr : folder.c_str(), &startup, &started)) {
    ThrowLastError("启动安装脚本", scriptPath);
  }
  // Not waited for: the process is handed on, the thread's handle is only closed.
  UniqueKernelHandle thread(started.hThread);
  return UniqueKernelHandle(started.hProcess);
}

std::optional<UniqueKernelHandle> StartScriptAsAdministrator(const std::string& scriptPath,
                                                             HWND owner) {
  const std::wstring application = Utf8ToWide(SystemCommandProcessor());
  // The script runs in its own folder. The elevated process is given it as the directory and,
  // since the system may start an elevated system program in the system folder whatever that
  // says, enters it by the command itself.
  const std::string folder = ScriptFolder(scriptPath);
  const std::wstring arguments = Utf8ToWide(ScriptArgumentsIn(folder, scriptPath));
  const std::wstring directory = Utf8ToWide(folder);

  SHELLEXECUTEINFOW execute{};
  execute.cbSize = sizeof(execute);
  // The failure is reported by the caller, in the program's own words: no box from the shell. The
  // process handle tells when the script ends.
  execute.fMask = SEE_MASK_FLAG_NO_UI | SEE_MASK_NOCLOSEPROCESS;
  // The consent prompt belongs to the program's window, whichever window is active.
  execute.hwnd = owner;
  execute.lpVerb = L"runas";
  execute.lpFile = application.c_str();
  execute.lpParameters = arguments.c_str();
  execute.lpDirectory = directory.empty() ? nullptr : directory.c_str();
  execute.nShow = SW_SHOWMINIMIZED;
  if (ShellExecuteExW(&execute))
    return UniqueKernelHandle(execute.hProcess);
  const DWORD error = GetLastError();
  if (error == ERROR_CANCELLED)
    return std::nullopt;
  throw ErrorFailure("以管理员身份运行安装脚本", scriptPath, error);
}

}  // namespace orv
