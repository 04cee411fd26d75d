#include "window/scan_window_win32.h"

#include <commctrl.h>
#include <shellapi.h>
#include <windowsx.h>

#include <utility>

#include "platform/dpi_win32.h"
#include "platform/failure.h"
#include "platform/sized_text_win32.h"
#include "platform/system_error_win32.h"
#include "platform/text_win32.h"
#include "probe/probe_sockets_win32.h"
#include "watch/site_watch_win32.h"

namespace orv {
namespace {

constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kWindowExStyle = 0;

RECT ScanWindowRect(UINT dpi) {
  const int density = static_cast<int>(dpi);
  return WindowRectForClient(scan::TwipsToPixels(scan::kClientWidth, density),
                             scan::TwipsToPixels(scan::kClientHeight, density), kWindowStyle,
                             kWindowExStyle, dpi);
}

// What the exception being handled says to the user, called from inside a catch: a Failure's own
// text, or that the program failed inside (with the details that a standard exception gives).
std::string CaughtFailureText() {
  constexpr char kInternal[] = "程序内部错误，请关闭本程序后重新启动。";
  try {
    throw;
  } catch (const Failure& failure) {
    return failure.what();
  } catch (const std::exception& error) {
    return std::string(kInternal) + "\n\n详细信息：" + error.what();
  } catch (...) {
    return kInternal;
  }
}

}  // namespace

ScanWindow::ScanWindow() = default;

ScanWindow::~ScanWindow() {
  if (window_ != nullptr)
    DestroyWindow(window_);
}

void ScanWindow::Create(HINSTANCE instance) {
  largeIcon_.reset(
      static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(kIconResourceId), IMAGE_ICON,
                                    GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0)));
  smallIcon_.reset(static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(kIconResourceId),
                                                 IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                                 GetSystemMetrics(SM_CYSMICON), 0)));
  RegisterWindowClass(instance, kScanWindowClass, &ScanWindow::WindowProc, largeIcon_.get(),
                      smallIcon_.get());

  const RECT rect = ScanWindowRect(WindowDpi(nullptr));
  const HWND created =
      CreateWindowExW(kWindowExStyle, kScanWindowClass, Utf8ToWide(scan::kCaption).c_str(),
                      kWindowStyle, CW_USEDEFAULT, CW_USEDEFAULT, rect.right - rect.left,
                      rect.bottom - rect.top, nullptr, nullptr, instance, this);
  if (created == nullptr) {
    if (!createFailure_.empty())
      throw Failure(createFailure_);
    ThrowLastError("创建窗口", "");
  }

  // The class icons draw the title bar; WM_SETICON also makes them what WM_GETICON answers, which
  // is where the task bar, Alt+Tab and other programs look.
  SendMessageW(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(largeIcon_.get()));
  SendMessageW(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_.get()));

  // The window may sit on a monitor of another density than the primary one.
  if (dpi_ != WindowDpi(nullptr)) {
    const RECT exact = ScanWindowRect(dpi_);
    SetWindowPos(window_, nullptr, 0, 0, exact.right - exact.left, exact.bottom - exact.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }

  // The load handler runs once the window shows: it may have to ask the user first.
  PostMessageW(window_, kLoadMessage, 0, 0);
  created_ = true;
}

void ScanWindow::MarkAsInstance(const std::wstring& name) {
  if (SetPropW(window_, name.c_str(), reinterpret_cast<HANDLE>(1)))
    instanceMark_ = name;
}

void ScanWindow::Show(int showCommand) {
  ShowWindow(window_, showCommand);
  UpdateWindow(window_);
  SetFocus(Control(scan::kCmdClose));
}

LRESULT CALLBACK ScanWindow::WindowProc(HWND window, UINT message, WPARAM wParam,
                                        LPARAM lParam) noexcept {
  ScanWindow* self = nullptr;
  if (message == WM_NCCREATE) {
    self = static_cast<ScanWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    self->window_ = window;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  } else {
    self = reinterpret_cast<ScanWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  }
  if (self == nullptr)
    return DefWindowProcW(window, message, wParam, lParam);
  LRESULT result = 0;
  // Handlers report their own failures; what still comes here is reported, and nothing crosses
  // the window procedure.
  self->Guarded([&] { result = self->HandleMessage(message, wParam, lParam); });
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    self->window_ = nullptr;
  }
  return result;
}

LRESULT ScanWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message >= kSocketMessageFirst && message < kSocketMessageFirst + kSocketMessageCount) {
    OnSocketMessage(message, wParam, lParam);
    return 0;
  }
  if (message >= kWatchMessageFirst && message < kWatchMessageFirst + kWatchMessageCount) {
    if (watcher_)
      watcher_->OnMessage(message, wParam, lParam);
    return 0;
  }
  switch (message) {
    case WM_CREATE:
      // Any failure fails the creation (CreateWindowExW returns no window), with its reason: a
      // window with half its controls is never shown.
      try {
        OnCreate();
        return 0;
      } catch (...) {
        createFailure_ = CaughtFailureText();
      }
      return -1;
    case WM_COMMAND:
      OnCommand(GET_WM_COMMAND_ID(wParam, lParam), GET_WM_COMMAND_CMD(wParam, lParam));
      return 0;
    case kLoadMessage:
      Guarded([&] { firstRun_->FormLoad(); });
      return 0;
    case kRetryMessage:
      Guarded([&] { firstRun_->RetryChosen(static_cast<RetryOf>(wParam)); });
      return 0;
    case kServicesLearntMessage:
      OnServicesLearnt(wParam);
      return 0;
    case kHolderLearntMessage:
      holderTip_->OnLearnt(wParam);
      return 0;
    case kUninstallEndedMessage:
      if (uninstallEnd_->Take(wParam))
        Guarded([&] { firstRun_->UninstallEnded(); });
      return 0;
    case WM_TIMER:
      if (wParam == kStatusTimerId)
        Guarded([&] { firstRun_->TimerTick(); });
      else if (wParam == kWatchTimerId && watcher_)
        watcher_->OnTimer();
      return 0;
    case WM_NOTIFY:
      if (holderTip_ && holderTip_->OnNotify(lParam))
        return 0;
      if (OnStatusClick(*reinterpret_cast<const NMHDR*>(lParam)))
        return TRUE;
      break;
    case WM_SETCURSOR:
      if (OnSetCursor(reinterpret_cast<HWND>(wParam)))
        return TRUE;
      break;
    case WM_DPICHANGED:
      OnDpiChanged(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
      return 0;
    case WM_ACTIVATE:
      OnActivate(LOWORD(wParam) != WA_INACTIVE);
      return 0;
    case WM_CLOSE:
      DestroyWindow(window_);
      return 0;
    case WM_DESTROY:
      OnDestroy();
      return 0;
    default:
      break;
  }
  return DefWindowProcW(window_, message, wParam, lParam);
}

void ScanWindow::OnCreate() {
  dpi_ = WindowDpi(window_);
  sockets_ =
      std::make_unique<WinsockProbeSockets>(window_, kSocketMessageFirst, kSocketMessageCount);
  watcher_ = std::make_unique<SiteWatcher>(window_, kWatchMessageFirst, kWatchMessageCount,
                                           kWatchTimerId, static_cast<WatchView&>(*this));
  services_ =
      std::make_unique<BackgroundFacts<std::vector<ServiceFacts>>>(window_, kServicesLearntMessage);
  controls_ = CreateScanControls(window_);
  holderTip_ =
      std::make_unique<HolderTooltip>(window_, Control(scan::kLblPort), kHolderLearntMessage);
  uninstallEnd_ = std::make_unique<BackgroundFacts<int>>(window_, kUninstallEndedMessage);
  firstRun_ = std::make_unique<FirstRun>(*sockets_, static_cast<FirstRunMachine&>(*this));
  ApplyFont();
  LayoutScanControls(controls_, dpi_);
  SetTimer(window_, kStatusTimerId, scan::kTimerIntervalMs, nullptr);
}

void ScanWindow::ApplyFont() {
  UniqueFont font(CreateMessageFont(dpi_));
  if (!font)
    return;  // the controls keep the font they have
  SetScanControlsFont(controls_, font.get());
  // Only now that no control uses it any more is the old font deleted.
  font_ = std::move(font);
}

void ScanWindow::OnDpiChanged(UINT dpi, const RECT& suggested) {
  dpi_ = dpi;
  SetWindowPos(window_, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
               suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
  ApplyFont();
  LayoutScanControls(controls_, dpi_);
  InvalidateRect(window_, nullptr, TRUE);
}

void ScanWindow::OnCommand(int id, int notification) {
  const bool clicked = notification == BN_CLICKED;  // STN_CLICKED for the labels: the same value
  switch (id) {
    case scan::kCmdClose:  // also Esc and Alt+C
      if (clicked)
        DestroyWindow(window_);
      break;
    case scan::kCmdClearList:
      if (clicked)
        SendMessageW(Control(scan::kLstOpenPorts), LB_RESETCONTENT, 0, 0);
      break;
    case scan::kCmdScan:
      if (clicked)
        Guarded([&] { firstRun_->Scan(); });
      break;
    case scan::kCmdStop:
      if (clicked)
        Guarded([&] { firstRun_->Stop(); });
      break;
    case scan::kLblQorn:
      if (notification == STN_CLICKED)
        OpenLink(qornTag_);
      break;
    case scan::kLblZel:
      if (notification == STN_CLICKED)
        OpenLink(zelTag_);
      break;
    case scan::kLblOpenLog:
      if (notification == STN_CLICKED)
        OpenLog();
      break;
    default:
      break;
  }
}

// As a dialog does: the control that had the keyboard focus gets it back when the window is
// activated again (the close button, when none had it), so Tab, Enter and Space keep working.
void ScanWindow::OnActivate(bool active) {
  if (!active) {
    const HWND focus = GetFocus();
    if (focus != nullptr && IsChild(window_, focus))
      focusBeforeDeactivation_ = focus;
    return;
  }
  HWND focus = focusBeforeDeactivation_;
  if (focus == nullptr || !IsWindow(focus) || !IsWindowVisible(focus) || !IsWindowEnabled(focus)) {
    focus = Control(scan::kCmdClose);
  }
  SetFocus(focus);
}

bool ScanWindow::OnSetCursor(HWND over) {
  if (over != Control(scan::kLblQorn) && over != Control(scan::kLblZel) &&
      over != Control(scan::kLblOpenLog))
    return false;
  SetCursor(LoadCursorW(nullptr, IDC_HAND));
  return true;
}

// The watch's whole text, in a box, for a click on the status panel: the panel shows its first
// line only.
bool ScanWindow::OnStatusClick(const NMHDR& notice) {
  if (notice.hwndFrom != Control(scan::kSbMain) || notice.code != NM_CLICK || watchWhole_.empty())
    return false;
  MessageBoxW(window_, Utf8ToWide(watchWhole_).c_str(), Utf8ToWide(scan::kCaption).c_str(),
              MB_OK | MB_ICONINFORMATION);
  return true;
}

// The log is opened in the system's Notepad, never run or handed to whatever program its name's
// extension may be associated with.
void ScanWindow::OpenLog() {
  if (logPath_.empty())
    return;
  const std::optional<std::wstring> system = SizedText(&GetSystemDirectoryW);
  if (!system)
    return;
  const std::wstring notepad = *system + L"\\notepad.exe";
  const std::wstring argument = L"\"" + Utf8ToWide(logPath_) + L"\"";
  ShellExecuteW(window_, L"open", notepad.c_str(), argument.c_str(), nullptr, SW_SHOWNORMAL);
}

void ScanWindow::OnSocketMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  const std::optional<SocketEvent> event = sockets_->TakeEvent(message, wParam, lParam);
  if (!event)
    return;
  Guarded([&] {
    if (event->connected)
      firstRun_->SocketConnected(event->index);
    else
      firstRun_->SocketFailed(event->index);
  });
}

void ScanWindow::OnServicesLearnt(WPARAM tag) {
  std::optional<std::vector<ServiceFacts>> services = services_->Take(tag);
  if (services)  // else of an earlier load
    Guarded([&] { firstRun_->ServicesLearnt(std::move(*services)); });
}

void ScanWindow::OnDestroy() {
  if (!instanceMark_.empty())
    RemovePropW(window_, instanceMark_.c_str());
  KillTimer(window_, kStatusTimerId);
  if (firstRun_)
    firstRun_->Close();
  // Outstanding connects are abandoned; no socket event is handled after this.
  if (sockets_)
    sockets_->CloseAll();
  // Facts still being gathered are not waited for.
  if (services_)
    services_->Cancel();
  if (holderTip_)
    holderTip_->Cancel();
  if (uninstallEnd_)
    uninstallEnd_->Cancel();
  // The watch ends with the window: its timer, connections and the script's handle.
  if (watcher_)
    watcher_->Stop();
  // Windows also sends WM_DESTROY when WM_CREATE fails (Wine does not). A quit message then would
  // end the message box that reports the failure at once, so only the end of a window that Create
  // finished ends the program's message loop.
  if (created_)
    PostQuitMessage(0);
}

void ScanWindow::OpenLink(const std::string& address) {
  if (address.empty())
    return;
  try {
    const std::string ansi = Utf8ToAnsiStrict(address, "网址");
    // The result is ignored: nothing is shown when the shell cannot open the address.
    ShellExecuteA(window_, "open", ansi.c_str(), "", "", SW_SHOWNORMAL);
  } catch (const Failure& failure) {
    ReportFailure(failure.what());  // an address the code page cannot hold: said, not dropped
  }
}

template <typename Handler>
void ScanWindow::Guarded(Handler&& handler) noexcept {
  try {
    handler();
  } catch (...) {
    ReportFailure(CaughtFailureText());
  }
}

void ScanWindow::ReportFailure(const std::string& message) noexcept {
  try {
    MessageBoxW(window_, Utf8ToWide(message).c_str(), Utf8ToWide(scan::kCaption).c_str(),
                MB_OK | MB_ICONERROR);
  } catch (const std::exception&) {
    // Out of memory for the text: the box cannot be shown, and there is nowhere else to say it.
  }
}

}  // namespace orv
