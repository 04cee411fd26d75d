// The commands that drive a window as its user would: click, key, close and minimize. Click, key
// and close post their messages and return at once, so that a modal box the target opens in
// answer cannot block the inspector.

#include <string>

#include "commands_win32.h"
#include "platform/text_win32.h"
#include "window_reading_win32.h"

namespace orv::inspector {

int CommandClick(const Options& options) {
  const int id = _wtoi(options.positional.at(1).c_str());
  const HWND window = RequireWindow(options);
  if (window == nullptr)
    return kExitTimedOut;
  const HWND control = GetDlgItem(window, id);
  if (control == nullptr) {
    Complain("the window has no control with id " + std::to_string(id));
    return kExitNotFound;
  }
  // Posted, so that a modal message box opened by the click does not block the inspector.
  if (ClassOf(control) == L"Static") {
    PostMessageW(window, WM_COMMAND, MAKEWPARAM(id, STN_CLICKED),
                 reinterpret_cast<LPARAM>(control));
  } else {
    PostMessageW(control, BM_CLICK, 0, 0);
  }
  return kExitDone;
}

// Keys are posted to the focused control, the way the keyboard delivers them, so that they pass
// through the target's message loop (and IsDialogMessage there).
int CommandKey(const Options& options) {
  const std::wstring& key = options.positional.at(1);
  const HWND window = RequireWindow(options);
  if (window == nullptr)
    return kExitTimedOut;
  HWND target = FocusOf(window);
  if (target == nullptr)
    target = window;
  auto keyDown = [&](UINT vk) {
    const UINT scan = MapVirtualKeyW(vk, MAPVK_VK_TO_VSC);
    PostMessageW(target, WM_KEYDOWN, vk, 1 | (scan << 16));
  };
  auto keyUp = [&](UINT vk) {
    const UINT scan = MapVirtualKeyW(vk, MAPVK_VK_TO_VSC);
    PostMessageW(target, WM_KEYUP, vk, 1 | (scan << 16) | (1u << 30) | (1u << 31));
  };
  if (key == L"esc") {
    keyDown(VK_ESCAPE);
    keyUp(VK_ESCAPE);
  } else if (key == L"enter") {
    keyDown(VK_RETURN);
    keyUp(VK_RETURN);
  } else if (key == L"tab") {
    keyDown(VK_TAB);
    keyUp(VK_TAB);
  } else if (key == L"alt-c") {
    const UINT scan = MapVirtualKeyW('C', MAPVK_VK_TO_VSC);
    const LPARAM alt = 1 | (scan << 16) | (1u << 29);
    PostMessageW(target, WM_SYSKEYDOWN, 'C', alt);
    PostMessageW(target, WM_SYSCHAR, 'c', alt);
    PostMessageW(target, WM_SYSKEYUP, 'C', alt | (1u << 30) | (1u << 31));
  } else {
    Complain("unknown key " + orv::WideToUtf8(key) + " (esc, enter, tab, alt-c)");
    return kExitFailure;
  }
  return kExitDone;
}

int CommandClose(const Options& options) {
  const HWND window = RequireWindow(options);
  if (window == nullptr)
    return kExitTimedOut;
  PostMessageW(window, WM_CLOSE, 0, 0);
  return kExitDone;
}

int CommandMinimize(const Options& options) {
  const HWND window = RequireWindow(options);
  if (window == nullptr)
    return kExitTimedOut;
  ShowWindow(window, SW_MINIMIZE);
  return kExitDone;
}

}  // namespace orv::inspector
