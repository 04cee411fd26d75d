// The commands that read a window: window (the window and its controls) and status (its status
// bar's panels).

// Windows headers after the prelude, which sets what they depend on.
#include "platform/windows_prelude_win32.h"

#include <commctrl.h>

#include <string>
#include <vector>

#include "commands_win32.h"
#include "remote_memory_win32.h"
#include "window_reading_win32.h"

namespace orv::inspector {
namespace {

void PrintWindowInfo(HWND window) {
  const auto style = static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE));
  RECT client{};
  GetClientRect(window, &client);
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  const HWND focus = FocusOf(window);
  Print(
      "{\"kind\":\"window\",\"hwnd\":" + Handle(window) + ",\"pid\":" + std::to_string(processId) +
      ",\"class\":" + Quoted(ClassOf(window)) + ",\"title\":" + Quoted(CaptionOf(window)) +
      ",\"style\":" + std::to_string(style) + ",\"thickframe\":" + Bool(style & WS_THICKFRAME) +
      ",\"minimizebox\":" + Bool(style & WS_MINIMIZEBOX) + ",\"maximizebox\":" +
      Bool(style & WS_MAXIMIZEBOX) + ",\"sysmenu\":" + Bool(style & WS_SYSMENU) + ",\"client\":[" +
      std::to_string(client.right - client.left) + "," +
      std::to_string(client.bottom - client.top) + "],\"icon_big\":" +
      Bool(HasIcon(window, ICON_BIG)) + ",\"icon_small\":" + Bool(HasIcon(window, ICON_SMALL)) +
      ",\"icon_small2\":" + Bool(HasIcon(window, ICON_SMALL2)) + ",\"exe_icons\":[" +
      ExecutableIcons(processId) + "],\"minimized\":" + Bool(IsIconic(window)) + ",\"focus_id\":" +
      (focus != nullptr ? std::to_string(GetDlgCtrlID(focus)) : std::string("null")) + "}");
}

void PrintControl(HWND control, HWND topLevel, HWND focus) {
  const RECT rect = ClientRectOf(control, topLevel);
  const auto style = static_cast<DWORD>(GetWindowLongPtrW(control, GWL_STYLE));
  Print(
      "{\"kind\":\"control\",\"hwnd\":" + Handle(control) +
      ",\"class\":" + Quoted(ClassOf(control)) +
      ",\"id\":" + std::to_string(GetDlgCtrlID(control)) + ",\"text\":" + Quoted(TextOf(control)) +
      ",\"style\":" + std::to_string(style) + ",\"visible\":" + Bool(IsWindowVisible(control)) +
      ",\"enabled\":" + Bool(IsWindowEnabled(control)) + ",\"focused\":" + Bool(control == focus) +
      ",\"rect\":[" + std::to_string(rect.left) + "," + std::to_string(rect.top) + "," +
      std::to_string(rect.right - rect.left) + "," + std::to_string(rect.bottom - rect.top) + "]}");
}

HWND StatusBarOf(HWND window) {
  for (HWND child : ChildrenOf(window)) {
    if (ClassOf(child) == L"msctls_statusbar32")
      return child;
  }
  return nullptr;
}

}  // namespace

int CommandWindow(const Options& options) {
  const HWND window = RequireWindow(options);
  if (window == nullptr)
    return kExitTimedOut;
  PrintWindowInfo(window);
  const HWND focus = FocusOf(window);
  for (HWND child : ChildrenOf(window))
    PrintControl(child, window, focus);
  return kExitDone;
}

int CommandStatus(const Options& options) {
  const HWND window = RequireWindow(options);
  if (window == nullptr)
    return kExitTimedOut;
  const HWND statusBar = StatusBarOf(window);
  if (statusBar == nullptr) {
    Complain("the window has no status bar");
    return kExitNotFound;
  }
  constexpr int kMaxParts = 256;
  RemoteBuffer buffer(statusBar, 64 * 1024);
  if (!buffer.valid()) {
    Complain("cannot reserve memory in the target process (error " +
             std::to_string(GetLastError()) + ")");
    return kExitFailure;
  }
  DWORD_PTR count = 0;
  SendMessageTimeoutW(statusBar, SB_GETPARTS, kMaxParts, buffer.address(), SMTO_ABORTIFHUNG,
                      kSendTimeoutMs, &count);
  std::vector<int> edges(count);
  if (count > 0 && !buffer.Read(edges.data(), count * sizeof(int))) {
    Complain("cannot read the status bar's parts");
    return kExitFailure;
  }
  std::string widths;
  std::string texts;
  std::string tips;
  int left = 0;
  for (size_t part = 0; part < edges.size(); ++part) {
    // SB_GETPARTS gives right edges; -1 means "to the end of the bar".
    widths += (part == 0 ? "" : ",") + std::to_string(edges[part] < 0 ? -1 : edges[part] - left);
    left = edges[part];
    DWORD_PTR result = 0;
    SendMessageTimeoutW(statusBar, SB_GETTEXTLENGTHW, part, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs,
                        &result);
    // The text may grow between the two messages: read up to its end, with room to spare.
    const size_t length = LOWORD(result);
    std::wstring text(length + 1 + 1024, L'\0');
    SendMessageTimeoutW(statusBar, SB_GETTEXTW, part, buffer.address(), SMTO_ABORTIFHUNG,
                        kSendTimeoutMs, &result);
    if (!buffer.Read(text.data(), text.size() * sizeof(wchar_t))) {
      Complain("cannot read the text of status panel " + std::to_string(part));
      return kExitFailure;
    }
    text.resize(wcsnlen(text.data(), text.size()));
    texts += (part == 0 ? "" : ",") + Quoted(text);
    // The panel's tooltip (empty without one).
    constexpr WORD kTipChars = 1024;
    std::wstring tip(kTipChars, L'\0');
    if (buffer.Write(tip.data(), sizeof(wchar_t))) {
      SendMessageTimeoutW(statusBar, SB_GETTIPTEXTW, MAKEWPARAM(part, kTipChars), buffer.address(),
                          SMTO_ABORTIFHUNG, kSendTimeoutMs, &result);
    }
    if (!buffer.Read(tip.data(), tip.size() * sizeof(wchar_t)))
      tip.clear();
    tip.resize(wcsnlen(tip.data(), tip.size()));
    tips += (part == 0 ? "" : ",") + Quoted(tip);
  }
  Print("{\"kind\":\"status\",\"hwnd\":" + Handle(statusBar) + ",\"parts\":[" + widths +
        "],\"texts\":[" + texts + "],\"tips\":[" + tips + "]}");
  return kExitDone;
}

}  // namespace orv::inspector
