#include "config/script_start_win32.h"

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

}  // namespace orv
