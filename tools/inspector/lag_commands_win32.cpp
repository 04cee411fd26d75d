// The lag command: how long the started program's window goes without answering messages.
//
// From the moment its window shows, WM_NULL is sent to it every ten milliseconds with
// SendMessageTimeoutW; the longest round trip is the window's longest stretch without handling a
// message (a message loop that is busy, or waits on something, answers only afterwards). It ends
// when control ID's text starts with PREFIX (--until ID PREFIX) or after --timeout, whichever
// comes first; reaching the timeout is no failure here, the output says which ended it.

// Windows headers after the prelude, which sets what they depend on.
#include "platform/windows_prelude_win32.h"

#include <cstdio>
#include <string>

#include "commands_win32.h"
#include "platform/text_win32.h"
#include "platform/unique_handle_win32.h"
#include "window_reading_win32.h"

namespace orv::inspector {
namespace {

constexpr DWORD kPingEveryMs = 10;
// The --until control's text is read every this many pings (a read is a round trip too).
constexpr int kReadTextEvery = 10;
// How long the closed program may take to end before it is terminated.
constexpr DWORD kEndMs = 10000;

class Clock {
 public:
  Clock() {
    QueryPerformanceFrequency(&frequency_);
    QueryPerformanceCounter(&start_);
  }
  double Ms() const {
    LARGE_INTEGER now{};
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart - start_.QuadPart) * 1000.0 /
           static_cast<double>(frequency_.QuadPart);
  }

 private:
  LARGE_INTEGER frequency_{};
  LARGE_INTEGER start_{};
};

std::string Figure(double ms) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", ms);
  return text;
}

}  // namespace

int CommandLag(const Options& options) {
  const std::wstring& exe = options.positional.at(0);
  const std::wstring& title = options.positional.at(1);
  const Clock sinceStart;
  const orv::UniqueKernelHandle process(StartProgram(exe));
  if (!process)
    return kExitFailure;
  const HWND window = WaitForTopLevel(title, nullptr, options.timeoutMs);
  if (window == nullptr) {
    TerminateProcess(process.get(), 1);
    return TimedOut(L"window \"" + title + L"\" of the started program", options.timeoutMs);
  }
  const double msToWindow = sinceStart.Ms();

  const Clock sinceShown;
  const double endMs = static_cast<double>(options.timeoutMs);
  const HWND until = options.untilId != 0 ? GetDlgItem(window, options.untilId) : nullptr;
  double longest = 0;
  double longestAt = 0;
  long pings = 0;
  bool answered = true;
  const char* endedBy = "timeout";
  for (;;) {
    const double sent = sinceShown.Ms();
    if (sent >= endMs)
      break;
    DWORD_PTR result = 0;
    // SMTO_NORMAL: the whole remaining time is waited, however long the window does not answer.
    answered = SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL,
                                   static_cast<UINT>(endMs - sent) + 1, &result) != 0;
    const double roundTrip = sinceShown.Ms() - sent;
    ++pings;
    if (roundTrip > longest) {
      longest = roundTrip;
      longestAt = sent;
    }
    if (!answered)
      break;  // the timeout: it did not answer before the end
    if (until != nullptr && pings % kReadTextEvery == 0 &&
        TextOf(until).rfind(options.untilPrefix, 0) == 0) {
      endedBy = "text";
      break;
    }
    Sleep(kPingEveryMs);
  }
  const double measuredMs = sinceShown.Ms();

  PostMessageW(window, WM_CLOSE, 0, 0);
  DWORD exitCode = STILL_ACTIVE;
  if (WaitForSingleObject(process.get(), kEndMs) != WAIT_OBJECT_0)
    TerminateProcess(process.get(), 1);  // a window that does not answer does not close either
  GetExitCodeProcess(process.get(), &exitCode);
  Print(std::string("{\"kind\":\"lag\",\"ms_to_window\":") + Figure(msToWindow) +
        ",\"longest_ms\":" + Figure(longest) + ",\"longest_at_ms\":" + Figure(longestAt) +
        ",\"pings\":" + std::to_string(pings) + ",\"answered\":" + Bool(answered) +
        ",\"ended_by\":\"" + endedBy + "\",\"measured_ms\":" + Figure(measuredMs) +
        ",\"exit_code\":" + std::to_string(exitCode) + "}");
  return kExitDone;
}

}  // namespace orv::inspector
