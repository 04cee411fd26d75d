#pragma once
// The scan window's two tooltips: the status panel's, which shows a text too long for the panel
// whole, and the port label's, which names who holds the lower bound when the port found is
// another.

#include <cstdint>
#include <string>

#include "platform/background_win32.h"
#include "platform/windows_prelude_win32.h"

namespace orv {

// Puts `line` into the status bar's panel and `whole` into its tooltip, wrapped at `wrapWidth`
// pixels rather than on one line that may run off the screen.
void SetStatusTextWithTip(HWND statusBar, const std::wstring& line, const std::wstring& whole,
                          int wrapWidth);

// The port label's tooltip. Who holds the port is asked when the tooltip first shows (the owners'
// table and the services take long to read where many ports are busy; under Wine, reading the
// owners' table of a thousand listeners holds every Wine program for about a second), once per
// result, off the window's thread; until then it says that it is being asked.
class HolderTooltip {
 public:
  // The tooltip belongs to `window` and shows over `label`; the holder's text is announced to the
  // window as `learntMessage`.
  HolderTooltip(HWND window, HWND label, UINT learntMessage);
  HolderTooltip(const HolderTooltip&) = delete;
  HolderTooltip& operator=(const HolderTooltip&) = delete;

  // From now on the tooltip names who holds `port` of the bundle in `appFolder`; 0: it names
  // nothing and does not show.
  void Show(int32_t port, const std::string& appFolder) noexcept;
  // WM_NOTIFY of the window: true where it was the tooltip's request for its text.
  bool OnNotify(LPARAM header) noexcept;
  // The window's `learntMessage`.
  void OnLearnt(WPARAM tag) noexcept;
  // The window closes: the holder still being asked is not waited for.
  void Cancel() noexcept { holder_.Cancel(); }

 private:
  HWND window_;
  HWND label_;
  HWND tip_ = nullptr;  // owned by the window, destroyed with it
  int32_t port_ = 0;
  std::string appFolder_;
  bool asked_ = false;
  std::wstring text_;
  BackgroundFacts<std::string> holder_;
};

}  // namespace orv
