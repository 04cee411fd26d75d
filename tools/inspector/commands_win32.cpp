// What the commands share: waiting for the window they are about.

#include "commands_win32.h"

#include "platform/text_win32.h"
#include "window_reading_win32.h"

namespace orv::inspector {

int TimedOut(const std::wstring& what, DWORD timeoutMs) {
  Complain("timed out after " + std::to_string(timeoutMs) + " ms waiting for " +
           orv::WideToUtf8(what));
  return kExitTimedOut;
}

HWND RequireWindow(const Options& options) {
  const std::wstring& title = options.positional.at(0);
  const HWND window = WaitForTopLevel(title, nullptr, options.timeoutMs);
  if (window == nullptr)
    TimedOut(L"window \"" + title + L"\"", options.timeoutMs);
  return window;
}

}  // namespace orv::inspector
