#include "program/program_win32.h"

#include <commctrl.h>
#include <objbase.h>

#include "bundle/finish_marker.h"
#include "bundle/installation_win32.h"
#include "platform/failure.h"
#include "platform/text_win32.h"
#include "program/single_instance_win32.h"
#include "window/scan_window_layout.h"
#include "window/scan_window_win32.h"

namespace orv {
namespace {

// How long a second start waits for the first one's window: the first one may have taken the
// bundle's mutex a moment ago and not yet created its window.
constexpr DWORD kOtherInstanceWaitMs = 10000;

// The shell's open action and its "runas" verb want a single-threaded apartment on the window's
// thread (the install script is started from there); it is left again when the window's work is
// done, also after a failure.
class ComApartment {
 public:
  ComApartment()
      : initialized_(
            SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE))) {
  }
  ~ComApartment() {
    if (initialized_)
      CoUninitialize();
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;

 private:
  bool initialized_;
};

void ShowNotice() {
  MessageBoxW(nullptr, Utf8ToWide(marker::kNoticeText).c_str(),
              Utf8ToWide(marker::kNoticeTitle).c_str(), MB_OK | MB_ICONINFORMATION);
}

// The window's failure to start, shown after the window is gone. A quit message that its
// destruction left in the queue would end the box before the user sees it; it is taken out first.
void ShowStartFailure(const char* message) {
  MSG quit{};
  PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
  MessageBoxW(nullptr, Utf8ToWide(message).c_str(), Utf8ToWide(scan::kCaption).c_str(),
              MB_OK | MB_ICONERROR);
}

int RunScanWindow(HINSTANCE instance, const std::wstring& instanceName) {
  ScanWindow window;
  window.Create(instance);
  window.MarkAsInstance(instanceName);
  window.Show(SW_SHOWNORMAL);
  MSG message{};
  BOOL got = 0;
  while ((got = GetMessageW(&message, nullptr, 0, 0)) != 0) {
    if (got == -1)
      break;
    // Tab, Esc (cmdClose is the cancel button) and Alt+C work as in a dialog.
    if (window.handle() != nullptr && IsDialogMessageW(window.handle(), &message))
      continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return got == -1 ? 1 : static_cast<int>(message.wParam);
}

}  // namespace

int Main(HINSTANCE instance) {
  try {
    if (IsInstalled()) {
      ShowNotice();
      return 0;
    }
    // One configuration per bundle: a second start shows the first one's window and ends.
    const std::string folder = AppFolder();
    const SingleInstance configurator(folder);
    if (!configurator.owned()) {
      ActivateOtherInstance(configurator.name(), kScanWindowClass, kOtherInstanceWaitMs);
      return 0;
    }
    // An instance that held the mutex a moment ago may have configured the bundle and ended
    // between the first look for the marker and now.
    if (IsInstalledIn(folder)) {
      ShowNotice();
      return 0;
    }
    const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX),
                                        ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    const ComApartment apartment;
    return RunScanWindow(instance, configurator.name());
  } catch (const std::exception& error) {
    ShowStartFailure(error.what());
    return 1;
  }
}

}  // namespace orv
