#include "window/tooltips_win32.h"

#include <commctrl.h>

#include <utility>

#include "platform/text_win32.h"
#include "watch/port_holder_win32.h"

namespace orv {
namespace {

// The tooltip window that a status bar of style SBT_TOOLTIPS makes for itself: a tooltip of this
// thread owned by the status bar (there is no message that gives it).
BOOL CALLBACK FindOwnedTooltip(HWND window, LPARAM search) {
  auto* const found = reinterpret_cast<std::pair<HWND, HWND>*>(search);
  wchar_t className[32] = {};
  if (GetWindow(window, GW_OWNER) == found->first &&
      GetClassNameW(window, className, ARRAYSIZE(className)) > 0 &&
      lstrcmpiW(className, TOOLTIPS_CLASSW) == 0) {
    found->second = window;
    return FALSE;
  }
  return TRUE;
}

HWND StatusBarTooltip(HWND statusBar) {
  std::pair<HWND, HWND> search{statusBar, nullptr};
  EnumThreadWindows(GetCurrentThreadId(), FindOwnedTooltip, reinterpret_cast<LPARAM>(&search));
  return search.second;
}

}  // namespace

void SetStatusTextWithTip(HWND statusBar, const std::wstring& line, const std::wstring& whole,
                          int wrapWidth) {
  SendMessageW(statusBar, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(line.c_str()));
  SendMessageW(statusBar, SB_SETTIPTEXTW, 0, reinterpret_cast<LPARAM>(whole.c_str()));
  const HWND tip = StatusBarTooltip(statusBar);
  if (tip != nullptr && wrapWidth > 0)
    SendMessageW(tip, TTM_SETMAXTIPWIDTH, 0, wrapWidth);
}

HolderTooltip::HolderTooltip(HWND window, HWND label, UINT learntMessage)
    : window_(window), label_(label), holder_(window, learntMessage) {}

void HolderTooltip::Show(int32_t port, const std::string& appFolder) noexcept {
  holder_.Cancel();
  port_ = 0;
  asked_ = false;
  if (tip_ == nullptr && port != 0) {
    tip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                           WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT, CW_USEDEFAULT,
                           CW_USEDEFAULT, CW_USEDEFAULT, window_, nullptr, nullptr, nullptr);
  }
  if (tip_ == nullptr)
    return;  // without a tooltip the label still shows the port found
  TOOLINFOW tool{};
  tool.cbSize = sizeof(tool);
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = window_;
  tool.uId = reinterpret_cast<UINT_PTR>(label_);
  SendMessageW(tip_, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  if (port == 0)
    return;
  try {
    text_ = Utf8ToWide(PortHolderPendingText(port));
    appFolder_ = appFolder;
  } catch (const std::exception&) {
    return;  // out of memory: no tooltip
  }
  port_ = port;
  tool.lpszText = LPSTR_TEXTCALLBACKW;
  SendMessageW(tip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

bool HolderTooltip::OnNotify(LPARAM header) noexcept {
  const auto* notice = reinterpret_cast<const NMHDR*>(header);
  if (tip_ == nullptr || notice->hwndFrom != tip_ || notice->code != TTN_GETDISPINFOW)
    return false;
  if (!asked_ && port_ != 0) {
    asked_ = true;
    try {
      holder_.Start([port = port_, folder = appFolder_] {
        return PortHolderText(port, HolderOfPort(port, folder));
      });
    } catch (const std::exception&) {
      // Out of memory for the folder's copy: the tooltip keeps saying that it is being asked.
    }
  }
  reinterpret_cast<NMTTDISPINFOW*>(header)->lpszText = text_.data();
  return true;
}

void HolderTooltip::OnLearnt(WPARAM tag) noexcept {
  const std::optional<std::string> text = holder_.Take(tag);
  if (!text || text->empty())
    return;
  try {
    text_ = Utf8ToWide(*text);
  } catch (const std::exception&) {
    return;  // the tooltip keeps saying that the holder is being asked
  }
  // A tooltip that shows now asks for its text again.
  SendMessageW(tip_, TTM_UPDATE, 0, 0);
}

}  // namespace orv
