#pragma once
// frmScan, the program's only window, as a view: it registers its class, creates and lays out its
// controls, dispatches each message to a small handler, shows boxes, and gives the first run
// (FirstRun: services, probe, configuration, links, marker, watch) and the watch their machine.
// Closing it ends the program.
//
// The window's names map to the first run's: OnLoad is FormLoad, the hidden buttons' clicks are
// cmdScan_Click and cmdStop_Click, a socket's message is wskSocket_Connect or wskSocket_Error, the
// status timer's tick is timTimer_Timer.

#include <memory>
#include <string>
#include <vector>

#include "firstrun/first_run.h"
#include "platform/background_win32.h"
#include "platform/unique_handle_win32.h"
#include "watch/site_watch.h"
#include "window/scan_window_controls_win32.h"
#include "window/tooltips_win32.h"

namespace orv {

class WinsockProbeSockets;
class SiteWatcher;

// The window's own class: a second start of the same bundle looks for it.
inline constexpr wchar_t kScanWindowClass[] = L"OrvandimexScanWindow";

class ScanWindow final : private FirstRunMachine, private WatchView {
 public:
  ScanWindow();
  ~ScanWindow() override;
  ScanWindow(const ScanWindow&) = delete;
  ScanWindow& operator=(const ScanWindow&) = delete;

  // Creates the window and its controls (not yet visible) and posts its load handler, which starts
  // the first run once the window shows. Throws a Failure when the window cannot be created. Once
  // Create has finished, the window's destruction posts WM_QUIT; before, it does not.
  void Create(HINSTANCE instance);
  void Show(int showCommand);
  HWND handle() const { return window_; }
  // Marks the window with the property `name` (the bundle's instance name), by which a second
  // start of the same bundle finds it; removed when the window is destroyed.
  void MarkAsInstance(const std::wstring& name);

 private:
  // Private messages and timers.
  static constexpr UINT_PTR kStatusTimerId = 1;
  static constexpr int kIconResourceId = 1;

  // Probe sockets report through a range of private messages, one message number per connect
  // attempt, so that a late report of a closed socket is recognised as stale.
  static constexpr UINT kSocketMessageFirst = WM_APP + 0x100;
  static constexpr UINT kSocketMessageCount = 0x3E00;

  // Posted when the user chose Retry in a box of the first run (the box of a failed configuration,
  // or the one that says the bundle's services still run): the first run goes on once the box and
  // the handler that showed it have returned. WPARAM: what to retry (RetryOf).
  static constexpr UINT kRetryMessage = WM_APP + 1;

  // The load handler, posted by Create so that it runs once the window shows.
  static constexpr UINT kLoadMessage = WM_APP + 2;

  // Facts gathered off the window's thread: the services that the first run waits for, and the
  // holder of the lower bound that the port label's tooltip names.
  static constexpr UINT kServicesLearntMessage = WM_APP + 3;
  static constexpr UINT kHolderLearntMessage = WM_APP + 4;
  // The bundle's unstall.bat, run to remove an earlier configuration's services, has ended.
  static constexpr UINT kUninstallEndedMessage = WM_APP + 5;

  // The watch of the configured bundle: its connections report through a small range of its own,
  // and it ticks with a timer of its own.
  static constexpr UINT kWatchMessageFirst = WM_APP + 0x10;
  static constexpr UINT kWatchMessageCount = 0x10;
  static constexpr UINT_PTR kWatchTimerId = 2;

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
  void OnServicesLearnt(WPARAM tag);
  bool OnStatusClick(const NMHDR& notice);
  void OpenLog();
  void ApplyFont();
  void OpenLink(const std::string& address);
  HWND Control(int id) const { return ScanControl(controls_, id); }

  // Runs an event handler; a failure is shown to the user and the window stays usable.
  template <typename Handler>
  void Guarded(Handler&& handler) noexcept;
  void ReportFailure(const std::string& message) noexcept;

  // FirstRunMachine
  std::string BoxText(ProbeBox box) const override;
  void SetStatusText(const std::string& text) override;
  void StartTimer() override;
  void StopTimer() override;
  bool AskServices() override;
  WatchFacts Configure(int32_t port, const std::vector<ServiceFacts>& services) override;
  std::string RemedyFor(const Failure& failure) override;
  void ShowLinks(const SiteLinks& links) override;
  void WriteFinishMarker() override;
  void ShowLowerBoundTaken(int32_t lowerBound) override;
  void StartWatch(const WatchFacts& facts) override;
  void OfferRetry(const std::string& text, RetryOf what) override;
  void OfferUninstall(const std::string& text) override;
  UninstallStart StartUninstall() override;

  // WatchView
  void ShowWatchText(const WatchDisplay& display) override;

  HWND window_ = nullptr;
  bool created_ = false;
  UINT dpi_ = 96;
  ScanControls controls_{};
  UniqueFont font_;
  UniqueIcon largeIcon_;
  UniqueIcon smallIcon_;
  HWND focusBeforeDeactivation_ = nullptr;
  std::wstring instanceMark_;
  std::string createFailure_;
  std::string qornTag_;
  std::string zelTag_;
  std::unique_ptr<WinsockProbeSockets> sockets_;
  std::unique_ptr<FirstRun> firstRun_;
  std::unique_ptr<BackgroundFacts<std::vector<ServiceFacts>>> services_;
  std::unique_ptr<HolderTooltip> holderTip_;
  std::unique_ptr<BackgroundFacts<int>> uninstallEnd_;
  // The install script's process from the last configuration (empty where the system gave none).
  UniqueKernelHandle installScript_;
  std::unique_ptr<SiteWatcher> watcher_;
  std::string watchWhole_;  // the watch's whole text, which a click on the status panel shows
  std::string logPath_;     // the log that lblOpenLog opens; "": none
};

}  // namespace orv
