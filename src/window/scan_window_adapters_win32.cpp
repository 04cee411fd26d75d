// The scan window's adapters: what the first run (FirstRunMachine) and the watch (WatchView) use
// of the window and the machine.
#include "window/scan_window_win32.h"

#include <commctrl.h>

#include "bundle/bundle_services_win32.h"
#include "bundle/installation_win32.h"
#include "configure/configure_bundle.h"
#include "configure/configure_win32.h"
#include "configure/failure_remedy_win32.h"
#include "configure/script_start_win32.h"
#include "platform/elevation_win32.h"
#include "platform/file_system_win32.h"
#include "platform/text_win32.h"
#include "watch/site_watch_win32.h"

namespace orv {
namespace {

// The application folder, or "" where it cannot be told (the step that needs it reports that).
std::string AppFolderOrEmpty() {
  try {
    return AppFolder();
  } catch (const Failure&) {
    return {};
  }
}

}  // namespace

// FirstRunMachine

std::string ScanWindow::BoxText(ProbeBox box) const {
  const HWND control = Control(BoxControlId(box));
  std::wstring text(static_cast<size_t>(GetWindowTextLengthW(control)) + 1, L'\0');
  text.resize(
      static_cast<size_t>(GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
  return WideToUtf8(text);
}

void ScanWindow::SetStatusText(const std::string& text) {
  SendMessageW(Control(scan::kSbMain), SB_SETTEXTW, 0,
               reinterpret_cast<LPARAM>(Utf8ToWide(text).c_str()));
}

void ScanWindow::StartTimer() {
  SetTimer(window_, kStatusTimerId, scan::kTimerIntervalMs, nullptr);
}

void ScanWindow::StopTimer() {
  KillTimer(window_, kStatusTimerId);
}

// The services are listed off this thread: a real machine has hundreds, and a service's
// executable on an unreachable drive takes long to answer.
bool ScanWindow::AskServices() {
  const std::string folder = AppFolderOrEmpty();
  return !folder.empty() && services_->Start([folder] { return ListServices(folder); });
}

WatchFacts ScanWindow::Configure(int32_t port, const std::vector<ServiceFacts>& services) {
  WatchFacts beforeScript;
  installScript_ =
      orv::Configure(port, window_, [&] { beforeScript = FactsBeforeScript(services); });
  return beforeScript;
}

std::string ScanWindow::RemedyFor(const Failure& failure) {
  const std::string folder = AppFolderOrEmpty();
  return folder.empty() ? std::string() : orv::RemedyFor(failure, folder);
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

void ScanWindow::ShowLowerBoundTaken(int32_t lowerBound) {
  holderTip_->Show(lowerBound, AppFolderOrEmpty());
}

void ScanWindow::StartWatch(const WatchFacts& facts) {
  watcher_->Start(facts, std::move(installScript_));
}

// The box is not left for Retry from inside its own message loop, nor from the handler that is
// still unwinding below it: a posted message goes on afterwards.
void ScanWindow::OfferRetry(const std::string& text, RetryOf what) {
  const int choice = MessageBoxW(window_, Utf8ToWide(text).c_str(),
                                 Utf8ToWide(scan::kCaption).c_str(), MB_RETRYCANCEL | MB_ICONERROR);
  // The window may have been closed while the box was open.
  if (choice == IDRETRY && window_ != nullptr)
    PostMessageW(window_, kRetryMessage, static_cast<WPARAM>(what), 0);
}

void ScanWindow::OfferUninstall(const std::string& text) {
  const int choice = MessageBoxW(window_, Utf8ToWide(text).c_str(),
                                 Utf8ToWide(scan::kCaption).c_str(), MB_YESNO | MB_ICONWARNING);
  if (choice == IDYES && window_ != nullptr)
    PostMessageW(window_, kRetryMessage, static_cast<WPARAM>(RetryOf::kUninstall), 0);
}

// unstall.bat is started as install.bat is: with the program's rights where they are elevated,
// through the request for administrator rights otherwise, in the bundle's folder. Its end is
// waited for off this thread; where the system gives no process to wait for, the services are
// asked for again after a while.
UninstallStart ScanWindow::StartUninstall() {
  const std::string script = UninstallScriptPath(AppFolder());
  if (!OrdinaryFileExists(script))
    return UninstallStart::kMissing;
  UniqueKernelHandle process;
  if (ProcessIsElevated()) {
    process = StartScriptMinimized(script);
  } else {
    std::optional<UniqueKernelHandle> started = StartScriptAsAdministrator(script, window_);
    if (!started)
      return UninstallStart::kDeclined;
    process = std::move(*started);
  }
  constexpr DWORD kWithoutProcessMs = 5000;
  auto shared = std::make_shared<UniqueKernelHandle>(std::move(process));
  const bool waiting = uninstallEnd_->Start([shared] {
    if (*shared)
      WaitForSingleObject(shared->get(), INFINITE);
    else
      Sleep(kWithoutProcessMs);
    return 0;
  });
  if (!waiting)
    throw Failure("无法等待 unstall.bat 结束：系统资源不足。");
  return UninstallStart::kStarted;
}

// WatchView

void ScanWindow::ShowWatchText(const WatchDisplay& display) {
  RECT client{};
  GetClientRect(window_, &client);
  SetStatusTextWithTip(Control(scan::kSbMain), Utf8ToWide(display.line), Utf8ToWide(display.whole),
                       client.right - client.left);
  watchWhole_ = display.whole;
  logPath_ = display.logPath;
  const HWND openLog = Control(scan::kLblOpenLog);
  EnableWindow(openLog, logPath_.empty() ? FALSE : TRUE);
  ShowWindow(openLog, logPath_.empty() ? SW_HIDE : SW_SHOWNA);
}

}  // namespace orv
