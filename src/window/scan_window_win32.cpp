#include "window/scan_window_win32.h"

#include <commctrl.h>
#include <shellapi.h>
#include <windowsx.h>

#include <utility>

#include "bundle/installation_win32.h"
#include "configure/configure_win32.h"
#include "configure/failure_remedy_win32.h"
#include "platform/failure.h"
#include "platform/system_error_win32.h"
#include "platform/system_library_win32.h"
#include "platform/text_win32.h"
#include "probe/number_reading.h"
#include "probe/probe_sockets_win32.h"
#include "watch/bundle_services.h"
#include "watch/port_owners_win32.h"
#include "watch/services_win32.h"
#include "watch/site_watcher_win32.h"

namespace orv {
namespace {

constexpr UINT_PTR kStatusTimerId = 1;
constexpr int kIconResourceId = 1;

// Probe sockets report through a range of private messages, one message number per connect
// attempt, so that a late report of a closed socket is recognised as stale.
constexpr UINT kSocketMessageFirst = WM_APP + 0x100;
constexpr UINT kSocketMessageCount = 0x3E00;

// Posted when the user chose Retry in the box of a failed configuration: the new scan starts once
// the box and the handler that showed it have returned.
constexpr UINT kRetryScanMessage = WM_APP + 1;

// The load handler, posted by Create so that it runs once the window shows, and again by Retry in
// the box that says the bundle's services still run.
constexpr UINT kLoadMessage = WM_APP + 2;

// Facts gathered off the window's thread: the bundle's running services that the load handler
// waits for, and the holder of the lower bound that the port label's tooltip names.
constexpr UINT kServicesLearntMessage = WM_APP + 3;
constexpr UINT kHolderLearntMessage = WM_APP + 4;

// The status bar while an earlier configuration's services keep the scan from starting.
constexpr char kServicesRunningStatus[] = "本捆绑包以前配置的服务仍在运行，未扫描端口";

// The watch of the configured bundle: its connections report through a small range of its own,
// and it ticks with a timer of its own.
constexpr UINT kWatchMessageFirst = WM_APP + 0x10;
constexpr UINT kWatchMessageCount = 0x10;
constexpr UINT_PTR kWatchTimerId = 2;

// A failed configuration: its box offers Retry.
class ConfigurationFailed : public Failure {
 public:
  using Failure::Failure;
};

constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kWindowExStyle = 0;

using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using AdjustWindowRectExForDpiFn = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
using SystemParametersInfoForDpiFn = BOOL(WINAPI*)(UINT, UINT, PVOID, UINT, UINT);

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

// Functions of Windows 10 looked up at run time, so that the program still starts on Windows 7.
template <typename Fn>
Fn User32Function(const char* name) {
  return LibraryFunction<Fn>(GetModuleHandleW(L"user32.dll"), name);
}

UINT WindowDpi(HWND window) {
  static const auto getDpiForWindow = User32Function<GetDpiForWindowFn>("GetDpiForWindow");
  if (getDpiForWindow != nullptr && window != nullptr)
    return getDpiForWindow(window);
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

RECT WindowRectForClient(UINT dpi) {
  RECT rect{0, 0, scan::TwipsToPixels(scan::kClientWidth, static_cast<int>(dpi)),
            scan::TwipsToPixels(scan::kClientHeight, static_cast<int>(dpi))};
  static const auto adjustForDpi =
      User32Function<AdjustWindowRectExForDpiFn>("AdjustWindowRectExForDpi");
  if (adjustForDpi != nullptr) {
    adjustForDpi(&rect, kWindowStyle, FALSE, kWindowExStyle, dpi);
  } else {
    AdjustWindowRectEx(&rect, kWindowStyle, FALSE, kWindowExStyle);
  }
  return rect;
}

HFONT CreateMessageFont(UINT dpi) {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof(metrics);
  static const auto forDpi =
      User32Function<SystemParametersInfoForDpiFn>("SystemParametersInfoForDpi");
  if (forDpi != nullptr && forDpi(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0, dpi)) {
    return CreateFontIndirectW(&metrics.lfMessageFont);
  }
  if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0)) {
    const UINT systemDpi = WindowDpi(nullptr);
    metrics.lfMessageFont.lfHeight =
        MulDiv(metrics.lfMessageFont.lfHeight, static_cast<int>(dpi), static_cast<int>(systemDpi));
    return CreateFontIndirectW(&metrics.lfMessageFont);
  }
  return nullptr;
}

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
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.lpfnWndProc = &ScanWindow::WindowProc;
  windowClass.hInstance = instance;
  windowClass.hIcon = largeIcon_.get();
  windowClass.hIconSm = smallIcon_.get();
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = kScanWindowClass;
  if (!RegisterClassExW(&windowClass) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
    ThrowLastError("注册窗口类", "");
  }

  const RECT rect = WindowRectForClient(WindowDpi(nullptr));
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
    const RECT exact = WindowRectForClient(dpi_);
    SetWindowPos(window_, nullptr, 0, 0, exact.right - exact.left, exact.bottom - exact.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }

  // The load handler runs once the window shows: it may have to ask the user first.
  probe_ = std::make_unique<PortProbe>(*sockets_, static_cast<ProbeView&>(*this));
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
  try {
    result = self->HandleMessage(message, wParam, lParam);
  } catch (...) {
    // Handlers report their own failures; nothing may cross the window procedure.
    result = 0;
  }
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
      } catch (const Failure& failure) {
        createFailure_ = failure.what();
      } catch (const std::exception& error) {
        createFailure_ = std::string("程序内部错误：") + error.what();
      } catch (...) {
        createFailure_ = "程序内部错误。";
      }
      return -1;
    case WM_COMMAND:
      OnCommand(GET_WM_COMMAND_ID(wParam, lParam), GET_WM_COMMAND_CMD(wParam, lParam));
      return 0;
    case kRetryScanMessage:
      OnRetryScan();
      return 0;
    case kLoadMessage:
      OnLoad();
      return 0;
    case kServicesLearntMessage:
      OnServicesLearnt(wParam);
      return 0;
    case kHolderLearntMessage:
      OnHolderLearnt(wParam);
      return 0;
    case WM_TIMER:
      if (wParam == kStatusTimerId)
        Guarded([&] { probe_->TimerTick(); });
      else if (wParam == kWatchTimerId && watcher_)
        watcher_->OnTimer();
      return 0;
    case WM_NOTIFY: {
      auto* header = reinterpret_cast<NMHDR*>(lParam);
      if (header->hwndFrom == portTip_ && portTip_ != nullptr && header->code == TTN_GETDISPINFOW) {
        OnPortTipText(lParam);
        return 0;
      }
      break;
    }
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
  lowerBoundHolder_ = std::make_unique<BackgroundFacts<std::string>>(window_, kHolderLearntMessage);
  CreateControls();
  ApplyFont();
  LayoutControls();
  SetTimer(window_, kStatusTimerId, scan::kTimerIntervalMs, nullptr);
}

void ScanWindow::CreateControls() {
  const HINSTANCE instance =
      reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(window_, GWLP_HINSTANCE));
  for (size_t i = 0; i < scan::kControls.size(); ++i) {
    const scan::ControlSpec& spec = scan::kControls[i];
    controls_[i] = CreateWindowExW(
        0, ClassFor(spec.kind), Utf8ToWide(spec.text).c_str(), StyleFor(spec), 0, 0, 0, 0, window_,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(spec.id)), instance, nullptr);
    if (controls_[i] == nullptr)
      ThrowLastError("创建控件", spec.name);
  }
}

void ScanWindow::LayoutControls() {
  const int dpi = static_cast<int>(dpi_);
  for (size_t i = 0; i < scan::kControls.size(); ++i) {
    const scan::ControlSpec& spec = scan::kControls[i];
    if (spec.kind == scan::ControlKind::kStatusBar)
      continue;
    SetWindowPos(controls_[i], nullptr, scan::TwipsToPixels(spec.left, dpi),
                 scan::TwipsToPixels(spec.top, dpi), scan::TwipsToPixels(spec.width, dpi),
                 scan::TwipsToPixels(spec.height, dpi), SWP_NOZORDER | SWP_NOACTIVATE);
  }
  // The status bar docks itself to the bottom edge; it is given the designed height and one
  // panel of the designed width.
  const HWND statusBar = Control(scan::kSbMain);
  const int height = scan::TwipsToPixels(scan::kControls[scan::IndexOf(scan::kSbMain)].height, dpi);
  SendMessageW(statusBar, SB_SETMINHEIGHT, height - 2 * GetSystemMetrics(SM_CYBORDER), 0);
  SendMessageW(statusBar, WM_SIZE, 0, 0);
  int parts[1] = {scan::TwipsToPixels(scan::kStatusPanelWidth, dpi)};
  SendMessageW(statusBar, SB_SETPARTS, 1, reinterpret_cast<LPARAM>(parts));
}

void ScanWindow::ApplyFont() {
  UniqueFont font(CreateMessageFont(dpi_));
  if (!font)
    return;  // the controls keep the font they have
  for (HWND control : controls_) {
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), FALSE);
  }
  // Only now that no control uses it any more is the old font deleted.
  font_ = std::move(font);
}

void ScanWindow::OnDpiChanged(UINT dpi, const RECT& suggested) {
  dpi_ = dpi;
  SetWindowPos(window_, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
               suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
  ApplyFont();
  LayoutControls();
  InvalidateRect(window_, nullptr, TRUE);
}

void ScanWindow::OnCommand(int id, int notification) {
  switch (id) {
    case scan::kCmdClose:  // also Esc and Alt+C
      if (notification == BN_CLICKED)
        DestroyWindow(window_);
      break;
    case scan::kCmdClearList:
      if (notification == BN_CLICKED)
        SendMessageW(Control(scan::kLstOpenPorts), LB_RESETCONTENT, 0, 0);
      break;
    case scan::kCmdScan:
      if (notification == BN_CLICKED)
        Guarded([&] { probe_->Scan(); });
      break;
    case scan::kCmdStop:
      if (notification == BN_CLICKED)
        Guarded([&] { probe_->Stop(); });
      break;
    case scan::kLblQorn:
      if (notification == STN_CLICKED)
        OpenLink(qornTag_);
      break;
    case scan::kLblZel:
      if (notification == STN_CLICKED)
        OpenLink(zelTag_);
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
  if (over != Control(scan::kLblQorn) && over != Control(scan::kLblZel))
    return false;
  SetCursor(LoadCursorW(nullptr, IDC_HAND));
  return true;
}

void ScanWindow::OnSocketMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  if (!sockets_ || !probe_)
    return;
  const std::optional<SocketEvent> event = sockets_->TakeEvent(message, wParam, lParam);
  if (!event)
    return;
  Guarded([&] {
    if (event->connected) {
      probe_->SocketConnected(event->index);
    } else {
      probe_->SocketFailed(event->index);
    }
  });
}

// The probe starts unless services of this bundle, of an earlier configuration, still run: their
// configuration is not overwritten. The box names them and offers Retry, which checks again; Cancel
// leaves the window without a result. The services are listed off this thread (a real machine has
// hundreds, and a service's executable on an unreachable drive takes long to answer); the probe
// starts when they are known.
void ScanWindow::OnLoad() {
  if (!probe_ || !services_)
    return;
  std::string folder;
  try {
    folder = AppFolder();
  } catch (const Failure&) {
    // Where the folder cannot be told, neither can the bundle's services: the first run goes on
    // as it always did, and configuring reports the folder's failure.
  }
  const bool asked = !folder.empty() && services_->Start([folder] { return ListServices(folder); });
  if (!asked)
    StartProbe();
}

void ScanWindow::OnServicesLearnt(WPARAM tag) {
  std::optional<std::vector<ServiceFacts>> services = services_->Take(tag);
  if (!services)
    return;  // of an earlier load
  knownServices_ = std::move(*services);
  const std::vector<ServiceFacts> running = RunningBundleServices(knownServices_);
  if (!running.empty()) {
    StopTimer();
    SetStatusText(kServicesRunningStatus);
    OfferRetry(RunningServicesText(running), kLoadMessage);
    return;
  }
  StartProbe();
}

void ScanWindow::StartProbe() {
  StartTimer();
  Guarded([&] { probe_->FormLoad(); });
}

void ScanWindow::OnRetryScan() {
  if (probe_)
    Guarded([&] { probe_->Retry(); });
}

void ScanWindow::OnDestroy() {
  if (!instanceMark_.empty())
    RemovePropW(window_, instanceMark_.c_str());
  KillTimer(window_, kStatusTimerId);
  // Outstanding connects are abandoned; no socket event is handled after this.
  if (sockets_)
    sockets_->CloseAll();
  // Facts still being gathered are not waited for.
  if (services_)
    services_->Cancel();
  if (lowerBoundHolder_)
    lowerBoundHolder_->Cancel();
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
  } catch (...) {
  }
}

HWND ScanWindow::Control(int id) const {
  const size_t index = scan::IndexOf(id);
  return index < controls_.size() ? controls_[index] : nullptr;
}

template <typename Handler>
void ScanWindow::Guarded(Handler&& handler) noexcept {
  try {
    handler();
  } catch (const ConfigurationFailed& failure) {
    OfferRetry(failure.what(), kRetryScanMessage);
  } catch (const Failure& failure) {
    ReportFailure(failure.what());
  } catch (const std::exception& error) {
    ReportFailure(std::string("程序内部错误：") + error.what());
  } catch (...) {
    ReportFailure("程序内部错误。");
  }
}

void ScanWindow::ReportFailure(const std::string& message) noexcept {
  try {
    MessageBoxW(window_, Utf8ToWide(message).c_str(), Utf8ToWide(scan::kCaption).c_str(),
                MB_OK | MB_ICONERROR);
  } catch (...) {
  }
}

// The box of a failed configuration. Retry is not run from inside the box's message loop, nor
// from the handler that is still unwinding below it: a posted message starts it afterwards.
void ScanWindow::OfferRetry(const std::string& message, UINT retryMessage) noexcept {
  try {
    const int choice =
        MessageBoxW(window_, Utf8ToWide(message).c_str(), Utf8ToWide(scan::kCaption).c_str(),
                    MB_RETRYCANCEL | MB_ICONERROR);
    // The window may have been closed while the box was open.
    if (choice == IDRETRY && window_ != nullptr)
      PostMessageW(window_, retryMessage, 0, 0);
  } catch (...) {
  }
}

// ProbeView

std::string ScanWindow::BoxText(ProbeBox box) const {
  int id = scan::kTxtIP;
  switch (box) {
    case ProbeBox::kHost:
      id = scan::kTxtIP;
      break;
    case ProbeBox::kLowerBound:
      id = scan::kTxtLowerBound;
      break;
    case ProbeBox::kUpperBound:
      id = scan::kTxtUpperBound;
      break;
    case ProbeBox::kMaxConnections:
      id = scan::kTxtMaxConnections;
      break;
  }
  const HWND control = Control(id);
  std::wstring text(static_cast<size_t>(GetWindowTextLengthW(control)) + 1, L'\0');
  text.resize(
      static_cast<size_t>(GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
  return WideToUtf8(text);
}

void ScanWindow::SetStatusText(const std::string& text) {
  SendMessageW(Control(scan::kSbMain), SB_SETTEXTW, 0,
               reinterpret_cast<LPARAM>(Utf8ToWide(text).c_str()));
}

void ScanWindow::StopTimer() {
  KillTimer(window_, kStatusTimerId);
}

void ScanWindow::StartTimer() {
  SetTimer(window_, kStatusTimerId, scan::kTimerIntervalMs, nullptr);
}

void ScanWindow::ShowFreePort(const std::string& port) {
  orv::ShowFreePort(port, *this);
  ShowLowerBoundHolder(port);
  StartWatch(port);
}

void ScanWindow::CheckBeforeScript() noexcept {
  beforeScript_ = FactsBeforeScript(knownServices_);
}

void ScanWindow::StartWatch(const std::string& port) noexcept {
  if (!watcher_)
    return;
  WatchFacts facts = beforeScript_;
  facts.sitePort = ReadInt32(port).value_or(0);
  try {
    watcher_->Start(facts, std::move(installScript_));
  } catch (...) {
    // A watch that cannot start leaves the result as it is.
  }
}

// The label's text is fixed; when the port found is not the lower bound, its tooltip says who
// holds the lower bound.
void ScanWindow::ShowLowerBoundHolder(const std::string& port) noexcept {
  try {
    const std::optional<int32_t> lowerBound = ReadInt32(BoxText(ProbeBox::kLowerBound));
    if (portTip_ == nullptr) {
      portTip_ =
          CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                          WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT, CW_USEDEFAULT,
                          CW_USEDEFAULT, CW_USEDEFAULT, window_, nullptr, nullptr, nullptr);
      if (portTip_ == nullptr)
        return;
    }
    TOOLINFOW tool{};
    tool.cbSize = sizeof(tool);
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = window_;
    tool.uId = reinterpret_cast<UINT_PTR>(Control(scan::kLblPort));
    SendMessageW(portTip_, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    lowerBoundTaken_ = 0;
    lowerBoundHolder_->Cancel();
    if (!lowerBound || std::to_string(*lowerBound) == port)
      return;
    // The holder is looked up when the tooltip is first about to show, once per result, off this
    // thread: the owners' table and the services take long to read where many ports are busy
    // (under Wine, reading the owners' table of a thousand listeners holds every Wine program for
    // about a second, so it is not read unless asked for).
    lowerBoundTaken_ = *lowerBound;
    holderAsked_ = false;
    portTipText_ = Utf8ToWide(PortHolderPendingText(lowerBoundTaken_));
    tool.lpszText = LPSTR_TEXTCALLBACKW;
    SendMessageW(portTip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  } catch (const std::exception&) {
    // Without the tooltip the port label still shows the port found.
  }
}

void ScanWindow::OnHolderLearnt(WPARAM tag) {
  const std::optional<std::string> text = lowerBoundHolder_->Take(tag);
  if (!text || text->empty())
    return;
  try {
    portTipText_ = Utf8ToWide(*text);
  } catch (const std::exception&) {
    return;  // the tooltip keeps saying that the holder is being asked
  }
  // A tooltip that shows now asks for its text again.
  if (portTip_ != nullptr)
    SendMessageW(portTip_, TTM_UPDATE, 0, 0);
}

void ScanWindow::OnPortTipText(LPARAM request) noexcept {
  if (!holderAsked_ && lowerBoundTaken_ != 0) {
    try {
      holderAsked_ = lowerBoundHolder_->Start([taken = lowerBoundTaken_, folder = AppFolder()] {
        return PortHolderText(taken, HolderOfPort(taken, folder));
      });
    } catch (const Failure&) {
      holderAsked_ = true;  // without the folder, the tooltip keeps its first text
    }
  }
  reinterpret_cast<NMTTDISPINFOW*>(request)->lpszText = portTipText_.data();
}

// FreePortSteps

void ScanWindow::Configure(const std::string& port) {
  try {
    installScript_ = orv::Configure(port, window_, [this] { CheckBeforeScript(); });
  } catch (const Failure& failure) {
    // The user learns that the bundle is not configured yet, why, and what to do about it.
    std::string message =
        "未能完成配置（端口 " + port + "），未写入完成标记。\n\n" + failure.what();
    std::string remedy;
    try {
      remedy = RemedyFor(failure, AppFolder());
    } catch (...) {
      // Without the folder there is no advice; the failure is reported all the same.
    }
    if (!remedy.empty())
      message += "\n\n" + remedy;
    throw ConfigurationFailed(message);
  }
}

void ScanWindow::ShowLinks(const SiteLinks& links) {
  const HWND qorn = Control(scan::kLblQorn);
  const HWND zel = Control(scan::kLblZel);
  EnableWindow(qorn, TRUE);
  EnableWindow(zel, TRUE);
  ShowWindow(qorn, SW_SHOWNA);
  ShowWindow(zel, SW_SHOWNA);
  SetWindowTextW(Control(scan::kLblPort), Utf8ToWide(links.portCaption).c_str());
  SetWindowTextW(qorn, Utf8ToWide(links.qornCaption).c_str());
  qornTag_ = links.qornTag;
  SetWindowTextW(zel, Utf8ToWide(links.zelCaption).c_str());
  zelTag_ = links.zelTag;
}

void ScanWindow::WriteFinishMarker() {
  orv::WriteFinishMarker();
}

// WatchView

void ScanWindow::ShowWatchText(const std::string& text) {
  const std::wstring wide = Utf8ToWide(text);
  const HWND statusBar = Control(scan::kSbMain);
  SendMessageW(statusBar, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(wide.c_str()));
  SendMessageW(statusBar, SB_SETTIPTEXTW, 0, reinterpret_cast<LPARAM>(wide.c_str()));
  // A text longer than the panel shows whole in the tooltip, wrapped at the window's width rather
  // than on one line that may run off the screen.
  const HWND tip = StatusBarTooltip(statusBar);
  RECT client{};
  if (tip != nullptr && GetClientRect(window_, &client))
    SendMessageW(tip, TTM_SETMAXTIPWIDTH, 0, client.right - client.left);
}

}  // namespace orv
