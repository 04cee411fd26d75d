#include "window/scan_window_controls_win32.h"

#include <commctrl.h>

#include "platform/system_error_win32.h"
#include "platform/text_win32.h"

namespace orv {
namespace {

const wchar_t* ClassFor(scan::ControlKind kind) {
  switch (kind) {
    case scan::ControlKind::kTextBox:
      return WC_EDITW;
    case scan::ControlKind::kButton:
      return WC_BUTTONW;
    case scan::ControlKind::kListBox:
      return WC_LISTBOXW;
    case scan::ControlKind::kStatusBar:
      return STATUSCLASSNAMEW;
    case scan::ControlKind::kLabel:
      return WC_STATICW;
  }
  return WC_STATICW;
}

DWORD StyleFor(const scan::ControlSpec& spec) {
  DWORD style = WS_CHILD | (spec.shown ? WS_VISIBLE : 0) | (spec.enabled ? 0 : WS_DISABLED);
  switch (spec.kind) {
    case scan::ControlKind::kTextBox:
      return style | WS_TABSTOP | WS_BORDER | ES_LEFT | ES_AUTOHSCROLL;
    case scan::ControlKind::kButton:
      return style | WS_TABSTOP | BS_PUSHBUTTON;
    case scan::ControlKind::kListBox:
      return style | WS_TABSTOP | WS_BORDER | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT;
    case scan::ControlKind::kStatusBar:
      // Fixed border: no size grip. A panel's text that does not fit shows whole as its tooltip.
      return style | CCS_BOTTOM | SBT_TOOLTIPS;
    case scan::ControlKind::kLabel:
      return style | SS_LEFT | SS_NOPREFIX | SS_NOTIFY | SS_LEFTNOWORDWRAP;
  }
  return style;
}

}  // namespace

ScanControls CreateScanControls(HWND window) {
  const auto instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(window, GWLP_HINSTANCE));
  ScanControls controls{};
  for (size_t i = 0; i < scan::kControls.size(); ++i) {
    const scan::ControlSpec& spec = scan::kControls[i];
    controls[i] = CreateWindowExW(
        0, ClassFor(spec.kind), Utf8ToWide(spec.text).c_str(), StyleFor(spec), 0, 0, 0, 0, window,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(spec.id)), instance, nullptr);
    if (controls[i] == nullptr)
      ThrowLastError("创建控件", spec.name);
  }
  return controls;
}

void LayoutScanControls(const ScanControls& controls, UINT dpi) {
  const int density = static_cast<int>(dpi);
  for (size_t i = 0; i < scan::kControls.size(); ++i) {
    const scan::ControlSpec& spec = scan::kControls[i];
    if (spec.kind == scan::ControlKind::kStatusBar)
      continue;
    SetWindowPos(controls[i], nullptr, scan::TwipsToPixels(spec.left, density),
                 scan::TwipsToPixels(spec.top, density), scan::TwipsToPixels(spec.width, density),
                 scan::TwipsToPixels(spec.height, density), SWP_NOZORDER | SWP_NOACTIVATE);
  }
  const HWND statusBar = ScanControl(controls, scan::kSbMain);
  const int height =
      scan::TwipsToPixels(scan::kControls[scan::IndexOf(scan::kSbMain)].height, density);
  SendMessageW(statusBar, SB_SETMINHEIGHT, height - 2 * GetSystemMetrics(SM_CYBORDER), 0);
  SendMessageW(statusBar, WM_SIZE, 0, 0);
  int parts[1] = {scan::TwipsToPixels(scan::kStatusPanelWidth, density)};
  SendMessageW(statusBar, SB_SETPARTS, 1, reinterpret_cast<LPARAM>(parts));
}

void SetScanControlsFont(const ScanControls& controls, HFONT font) {
  for (HWND control : controls)
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
}

void RegisterWindowClass(HINSTANCE instance, const wchar_t* name, WNDPROC procedure,
                         HICON largeIcon, HICON smallIcon) {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.lpfnWndProc = procedure;
  windowClass.hInstance = instance;
  windowClass.hIcon = largeIcon;
  windowClass.hIconSm = smallIcon;
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = name;
  if (!RegisterClassExW(&windowClass) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
    ThrowLastError("注册窗口类", "");
}

int BoxControlId(ProbeBox box) {
  switch (box) {
    case ProbeBox::kHost:
      return scan::kTxtIP;
    case ProbeBox::kLowerBound:
      return scan::kTxtLowerBound;
    case ProbeBox::kUpperBound:
      return scan::kTxtUpperBound;
    case ProbeBox::kMaxConnections:
      return scan::kTxtMaxConnections;
  }
  return scan::kTxtIP;
}

HWND ScanControl(const ScanControls& controls, int id) {
  const size_t index = scan::IndexOf(id);
  return index < controls.size() ? controls[index] : nullptr;
}

}  // namespace orv
