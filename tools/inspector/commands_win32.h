#pragma once
// The inspector's commands: what they are given, what they answer, and the handlers, one file per
// group of commands.

#include <string>
#include <vector>

#include "platform/windows_prelude_win32.h"

namespace orv::inspector {

// Exit codes. 1 is also the usage error's.
inline constexpr int kExitDone = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitNotFound = 2;  // the window has no such part
inline constexpr int kExitTimedOut = 3;

inline constexpr DWORD kDefaultTimeoutMs = 10000;

// The command line after the command's name.
struct Options {
  std::vector<std::wstring> positional;
  DWORD timeoutMs = kDefaultTimeoutMs;
  int press = 0;  // the id of the message box's button to press; 0 for none
  bool dialog = false;
  int untilId = 0;           // launch: also time until this control's text starts with...
  std::wstring untilPrefix;  // ...this prefix
};

// Says on stderr what was waited for in vain; returns kExitTimedOut.
int TimedOut(const std::wstring& what, DWORD timeoutMs);

// The window named by the first argument, waited for; null after saying what timed out.
HWND RequireWindow(const Options& options);

// Starts the program `exe` with no arguments; its process, or empty after saying on stderr why it
// could not be started.
HANDLE StartProgram(const std::wstring& exe);

// Each handler returns the exit code. The arguments are counted before it runs.

// reading_commands_win32.cpp
int CommandWindow(const Options& options);
int CommandStatus(const Options& options);
// driving_commands_win32.cpp
int CommandClick(const Options& options);
int CommandKey(const Options& options);
int CommandClose(const Options& options);
int CommandMinimize(const Options& options);
// message_box_commands_win32.cpp
int CommandMessageBox(const Options& options);
// process_commands_win32.cpp
int CommandHold(const Options& options);
int CommandGone(const Options& options);
int CommandLaunch(const Options& options);
// lag_commands_win32.cpp
int CommandLag(const Options& options);

}  // namespace orv::inspector
