// inspector: reads and drives another process's windows for the end-to-end tests.
//
// inspector window TITLE      the visible top-level window with exactly this caption (message
//                             boxes left out), then one line per child control
// inspector status TITLE      the widths, texts and tooltip texts of its status bar's panels
// inspector click TITLE ID    press a button (BM_CLICK) or click a label (STN_CLICKED)
// inspector key TITLE KEY     post esc, enter, tab or alt-c to the focused control
// inspector close TITLE       post WM_CLOSE, as the close box does
// inspector minimize TITLE    minimize the window
// inspector msgbox TITLE      a message box (#32770): text, icon, buttons; --press-ok presses OK,
//                             --press ok|cancel|retry|yes|no the button with that id
// inspector gone TITLE        wait until no window has this caption
// inspector hold FILE         open FILE with no sharing, as a program that keeps it open does,
//                             say so, and keep it open for --timeout MS
// inspector launch EXE TITLE  start EXE, time it until its window (with --dialog: its message box)
//                             is visible (with --until ID PREFIX: also until the text of control
//                             ID starts with PREFIX), report its peak working set, then close it
// inspector lag EXE TITLE     start EXE; from its window shown, send it WM_NULL every 10 ms and
//                             report the longest round trip, until the text of control ID starts
//                             with PREFIX (--until ID PREFIX) or --timeout MS has passed; close it
// Every command that waits takes --timeout MS (10 s by default).
//
// Output is JSON, one object per line, in UTF-8. Exit codes: 0 done; 1 usage or system failure;
// 2 the window has no such part (control id, status bar, button); 3 timed out waiting for a
// window, a message box, a window to go or a program to end. stderr says what was missing.
//
// This file reads the command line and runs the command's handler from the table below; the
// handlers live one file per group of commands, and share window_reading_win32.h.

#include <algorithm>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "commands_win32.h"
#include "platform/text_win32.h"
#include "window_reading_win32.h"

namespace orv::inspector {
namespace {

struct Command {
  const wchar_t* name;
  const char* arguments;  // as the usage line names them, one word each
  int (*run)(const Options&);
};

// In the order of the usage line, which groups the commands that take the same arguments.
constexpr Command kCommands[] = {
    {L"window", "TITLE", &CommandWindow},     {L"status", "TITLE", &CommandStatus},
    {L"close", "TITLE", &CommandClose},       {L"minimize", "TITLE", &CommandMinimize},
    {L"msgbox", "TITLE", &CommandMessageBox}, {L"gone", "TITLE", &CommandGone},
    {L"click", "TITLE ID", &CommandClick},    {L"key", "TITLE KEY", &CommandKey},
    {L"launch", "EXE TITLE", &CommandLaunch}, {L"lag", "EXE TITLE", &CommandLag},
    {L"hold", "FILE", &CommandHold},
};

size_t ArgumentCount(const Command& command) {
  const std::string_view arguments = command.arguments;
  return 1 + static_cast<size_t>(std::count(arguments.begin(), arguments.end(), ' '));
}

// "usage: inspector window|status|... TITLE, click TITLE ID, ...; options ...": the commands that
// take the same arguments share one item, in the order the table first names those arguments.
int Usage() {
  std::vector<std::string_view> listed;
  std::string items;
  for (const Command& first : kCommands) {
    if (std::find(listed.begin(), listed.end(), first.arguments) != listed.end())
      continue;
    listed.push_back(first.arguments);
    std::string names;
    for (const Command& command : kCommands) {
      if (std::string_view(command.arguments) == first.arguments)
        names += (names.empty() ? "" : "|") + orv::WideToUtf8(command.name);
    }
    items += (items.empty() ? "" : ", ") + names + " " + first.arguments;
  }
  Complain("usage: inspector " + items +
           "; options --timeout MS, --press-ok, --press BUTTON, --dialog");
  return kExitFailure;
}

constexpr std::pair<const wchar_t*, int> kButtonIds[] = {
    {L"ok", IDOK}, {L"cancel", IDCANCEL}, {L"retry", IDRETRY}, {L"yes", IDYES}, {L"no", IDNO}};

bool ParseOptions(int argc, wchar_t** argv, Options& options) {
  for (int i = 2; i < argc; ++i) {
    const std::wstring arg = argv[i];
    if (arg == L"--timeout" && i + 1 < argc) {
      options.timeoutMs = static_cast<DWORD>(_wtoi(argv[++i]));
    } else if (arg == L"--press-ok") {
      options.press = IDOK;
    } else if (arg == L"--press" && i + 1 < argc) {
      const std::wstring name = argv[++i];
      options.press = 0;
      for (const auto& [buttonName, id] : kButtonIds) {
        if (name == buttonName)
          options.press = id;
      }
      if (options.press == 0)
        return false;  // no such button
    } else if (arg == L"--dialog") {
      options.dialog = true;
    } else if (arg == L"--until" && i + 2 < argc) {
      options.untilId = _wtoi(argv[++i]);
      options.untilPrefix = argv[++i];
    } else if (arg.rfind(L"--", 0) == 0) {
      return false;
    } else {
      options.positional.push_back(arg);
    }
  }
  return true;
}

int Run(int argc, wchar_t** argv) {
  if (argc < 2)
    return Usage();
  Options options;
  if (!ParseOptions(argc, argv, options))
    return Usage();
  for (const Command& command : kCommands) {
    if (argv[1] == std::wstring(command.name)) {
      if (options.positional.size() != ArgumentCount(command))
        return Usage();
      return command.run(options);
    }
  }
  return Usage();
}

}  // namespace
}  // namespace orv::inspector

int wmain(int argc, wchar_t** argv) {
  return orv::inspector::Run(argc, argv);
}
