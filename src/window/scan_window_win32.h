#pragma once
// frmScan, the program's only window: it probes for the first free port as soon as it loads
// (unless services of an earlier configuration of the bundle still run: it says so and offers
// Retry), configures the bundle for it and shows the two site links. Closing it ends the program.

#include <array>
#include <memory>
#include <string>

#include "platform/background_win32.h"
#include "platform/unique_handle_win32.h"
#include "probe/port_probe.h"
#include "watch/bundle_services.h"
#include "watch/site_watch.h"
#include "window/free_port_result.h"
#include "window/scan_window_layout.h"

namespace orv {

class WinsockProbeSockets;
class SiteWatcher;

// The window's own class: a second start of the same bundle looks for it.
inline constexpr wchar_t kScanWindowClass[] = L"OrvandimexScanWindow";

class ScanWindow final : private ProbeView, private FreePortSteps, private WatchView {
 public:
  ScanWindow();
  ~ScanWindow() override;
  ScanWindow(const ScanWindow&) = delete;
  ScanWindow& operator=(const ScanWindow&) = delete;

  // Creates the window and its controls (not yet visible) and posts its load handler, which starts
  // the probe once the window shows. Throws a Failure when the window cannot be created. Once
  // Create has finished, the window's destruction posts WM_QUIT; before, it does not.
  void Create(HINSTANCE instance);
  void Show(int showCommand);
  HWND handle() const { return window_; }
  // Marks the window with the property `name` (the bundle's instance name), by which a second
  // start of the same bundle finds it; removed when the window is destroyed.
  void MarkAsInstance(const std::wstring& name);

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam,
                                     LPARAM lParam) noexcept;
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

  void OnCreate();
  void OnCommand(int id, int notification);
  void OnDpiChanged(UINT dpi, const RECT& suggested);
  void OnActivate(bool active);
  bool OnSetCursor(HWND over);
  void OnDestroy();
  void OnSocketMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void OnLoad();
  void OnServicesLearnt(WPARAM tag);
  void OnHolderLearnt(WPARAM tag);
  void StartProbe();
  void OnRetryScan();
  // The watch of the configured bundle: what was found just before the script started, then the
  // watch itself from the result on.
  void CheckBeforeScript() noexcept;
  void StartWatch(const std::string& port) noexcept;
  void ShowLowerBoundHolder(const std::string& port) noexcept;
  void OnPortTipText(LPARAM request) noexcept;  // TTN_GETDISPINFOW of the port label

  void CreateControls();
  void LayoutControls();
  void ApplyFont();
  void OpenLink(const std::string& address);
  HWND Control(int id) const;

  // Runs an event handler; a failure is shown to the user and the window stays usable.
  template <typename Handler>
  void Guarded(Handler&& handler) noexcept;
  void ReportFailure(const std::string& message) noexcept;
  // Shows `message` with Retry and Cancel; Retry posts `retryMessage` once the box is closed (a
  // new scan after a failed configuration, or the load handler again).
  void OfferRetry(const std::string& message, UINT retryMessage) noexcept;

  // ProbeView
  std::string BoxText(ProbeBox box) const override;
  void SetStatusText(const std::string& text) override;
  void StopTimer() override;
  void StartTimer() override;
  void ShowFreePort(const std::string& port) override;

  // FreePortSteps
  void Configure(const std::string& port) override;
  void ShowLinks(const SiteLinks& links) override;
  void WriteFinishMarker() override;

  // WatchView
  void ShowWatchText(const std::string& text) override;

  HWND window_ = nullptr;
  bool created_ = false;
  UINT dpi_ = 96;
  std::array<HWND, scan::kControls.size()> controls_{};
  UniqueFont font_;
  UniqueIcon largeIcon_;
  UniqueIcon smallIcon_;
  HWND focusBeforeDeactivation_ = nullptr;
  std::wstring instanceMark_;
  std::string createFailure_;
  std::string qornTag_;
  std::string zelTag_;
  std::unique_ptr<WinsockProbeSockets> sockets_;
  std::unique_ptr<PortProbe> probe_;
  // The install script's process from the last configuration (empty where the system gave none).
  UniqueKernelHandle installScript_;
  std::unique_ptr<SiteWatcher> watcher_;
  WatchFacts beforeScript_;      // the database's port and whether it was taken, before the script
  HWND portTip_ = nullptr;       // the port label's tooltip (owned by the window), once needed
  int32_t lowerBoundTaken_ = 0;  // the lower bound, when the port found is another; else 0
  std::wstring portTipText_;     // the tooltip's text; while its holder is asked, says so
  bool holderAsked_ = false;     // the holder of the lower bound is asked for (once per result)
  // The facts that the load handler and the port's tooltip wait for, gathered off this thread.
  std::unique_ptr<BackgroundFacts<std::vector<ServiceFacts>>> services_;
  std::unique_ptr<BackgroundFacts<std::string>> lowerBoundHolder_;
  // The services as listed at the last load: the bundle's database service among them tells how
  // its server reads my.ini.
  std::vector<ServiceFacts> knownServices_;
};

}  // namespace orv
