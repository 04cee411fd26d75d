// The commands about files and processes: hold (keep a file open), gone (wait for a window to go)
// and launch (start a program, time its first window, close it).

// Windows headers after the prelude, which sets what they depend on.
#include "platform/windows_prelude_win32.h"

#include <psapi.h>

#include <cstdio>
#include <string>

#include "commands_win32.h"
#include "platform/text_win32.h"
#include "platform/unique_handle_win32.h"
#include "window_reading_win32.h"

namespace orv::inspector {
namespace {

SIZE_T PeakWorkingSet(DWORD processId) {
  orv::UniqueKernelHandle process(
      OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId));
  if (!process)
    return 0;
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof(counters);
  if (!GetProcessMemoryInfo(process.get(), &counters, sizeof(counters)))
    return 0;
  return counters.PeakWorkingSetSize;
}

}  // namespace

int CommandHold(const Options& options) {
  const std::wstring& path = options.positional.at(0);
  const orv::UniqueFileHandle file(
      CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file) {
    Complain("cannot open " + orv::WideToUtf8(path) + " (error " + std::to_string(GetLastError()) +
             ")");
    return kExitFailure;
  }
  Print("{\"kind\":\"hold\",\"path\":" + Quoted(path) + "}");
  Sleep(options.timeoutMs);
  return kExitDone;
}

int CommandGone(const Options& options) {
  const std::wstring& title = options.positional.at(0);
  const ULONGLONG deadline = GetTickCount64() + options.timeoutMs;
  while (FindTopLevel(title, nullptr) != nullptr) {
    if (GetTickCount64() >= deadline) {
      Complain("timed out after " + std::to_string(options.timeoutMs) +
               " ms waiting for window \"" + orv::WideToUtf8(title) + "\" to go");
      return kExitTimedOut;
    }
    Sleep(5);
  }
  return kExitDone;
}

HANDLE StartProgram(const std::wstring& exe) {
  std::wstring commandLine = L"\"" + exe + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info{};
  if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &info)) {
    Complain("cannot start " + orv::WideToUtf8(exe) + " (error " + std::to_string(GetLastError()) +
             ")");
    return nullptr;
  }
  const orv::UniqueKernelHandle thread(info.hThread);
  return info.hProcess;
}

// Starts the program, times it until its window (or, with --dialog, its message box) is visible,
// reads its peak working set, then closes it (WM_CLOSE, or OK of the box) and waits for its end.
int CommandLaunch(const Options& options) {
  const std::wstring& exe = options.positional.at(0);
  const std::wstring& title = options.positional.at(1);
  LARGE_INTEGER frequency{};
  LARGE_INTEGER start{};
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  const orv::UniqueKernelHandle process(StartProgram(exe));
  if (!process)
    return kExitFailure;
  const HWND window =
      WaitForTopLevel(title, options.dialog ? kDialogClass : nullptr, options.timeoutMs);
  LARGE_INTEGER shown{};
  QueryPerformanceCounter(&shown);
  if (window == nullptr) {
    TerminateProcess(process.get(), 1);
    return TimedOut(L"window \"" + title + L"\" of the started program", options.timeoutMs);
  }
  const auto msSinceStart = [&](const LARGE_INTEGER& at) {
    return static_cast<double>(at.QuadPart - start.QuadPart) * 1000.0 /
           static_cast<double>(frequency.QuadPart);
  };
  const double ms = msSinceStart(shown);
  std::string untilFigure;
  if (options.untilId != 0) {
    // Polls the control's text every five milliseconds until it starts with the prefix.
    const HWND control = GetDlgItem(window, options.untilId);
    const ULONGLONG deadline = GetTickCount64() + options.timeoutMs;
    while (control == nullptr || TextOf(control).rfind(options.untilPrefix, 0) != 0) {
      if (control == nullptr || GetTickCount64() >= deadline) {
        TerminateProcess(process.get(), 1);
        return TimedOut(L"control " + std::to_wstring(options.untilId) + L" to read \"" +
                            options.untilPrefix + L"...\"",
                        options.timeoutMs);
      }
      Sleep(5);
    }
    LARGE_INTEGER reached{};
    QueryPerformanceCounter(&reached);
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", msSinceStart(reached));
    untilFigure = std::string(",\"ms_to_text\":") + text;
  }
  Sleep(200);  // let start-up settle before reading the peak
  const SIZE_T peak = PeakWorkingSet(GetProcessId(process.get()));
  if (options.dialog) {
    PostMessageW(GetDlgItem(window, IDOK), BM_CLICK, 0, 0);
  } else {
    PostMessageW(window, WM_CLOSE, 0, 0);
  }
  DWORD exitCode = STILL_ACTIVE;
  if (WaitForSingleObject(process.get(), options.timeoutMs) != WAIT_OBJECT_0) {
    TerminateProcess(process.get(), 1);
    return TimedOut(L"the started program to end", options.timeoutMs);
  }
  GetExitCodeProcess(process.get(), &exitCode);
  char figure[32];
  std::snprintf(figure, sizeof figure, "%.3f", ms);
  Print(std::string("{\"kind\":\"launch\",\"ms_to_window\":") + figure + ",\"peak_working_set\":" +
        std::to_string(peak) + untilFigure + ",\"exit_code\":" + std::to_string(exitCode) + "}");
  return kExitDone;
}

}  // namespace orv::inspector
