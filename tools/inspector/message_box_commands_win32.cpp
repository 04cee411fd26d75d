// The msgbox command: reads a message box (text, icon, buttons) and presses one of its buttons.

#include <cstdlib>
#include <string>

#include "commands_win32.h"
#include "window_reading_win32.h"

namespace orv::inspector {
namespace {

// The screen's device context, released by its owner.
class ScreenDc {
 public:
  ScreenDc() : dc_(GetDC(nullptr)) {}
  ~ScreenDc() {
    if (dc_ != nullptr)
      ReleaseDC(nullptr, dc_);
  }
  ScreenDc(const ScreenDc&) = delete;
  ScreenDc& operator=(const ScreenDc&) = delete;
  HDC get() const { return dc_; }

 private:
  HDC dc_;
};

// A bitmap selected into a memory device context; both are freed by the owner.
class MemoryBitmap {
 public:
  MemoryBitmap(HDC compatible, int width, int height)
      : dc_(CreateCompatibleDC(compatible)),
        bitmap_(CreateCompatibleBitmap(compatible, width, height)),
        old_(SelectObject(dc_, bitmap_)) {}
  ~MemoryBitmap() {
    SelectObject(dc_, old_);
    DeleteObject(bitmap_);
    DeleteDC(dc_);
  }
  MemoryBitmap(const MemoryBitmap&) = delete;
  MemoryBitmap& operator=(const MemoryBitmap&) = delete;
  HDC dc() const { return dc_; }

 private:
  HDC dc_;
  HBITMAP bitmap_;
  HGDIOBJ old_;
};

bool Near(COLORREF a, COLORREF b) {
  constexpr int kTolerance = 24;
  return std::abs(GetRValue(a) - GetRValue(b)) < kTolerance &&
         std::abs(GetGValue(a) - GetGValue(b)) < kTolerance &&
         std::abs(GetBValue(a) - GetBValue(b)) < kTolerance;
}

// Which standard icon a message box shows. Icon handles are per process, so they cannot be
// compared across processes; instead the pixels on screen under the box's icon control are
// compared with each standard icon drawn here, on its opaque pixels only (taken from the icon's
// own mask). The best match wins when almost all opaque pixels agree.
std::string IdentifyIcon(HWND iconControl) {
  struct Candidate {
    const char* name;
    LPCWSTR id;
  };
  static const Candidate kCandidates[] = {{"information", IDI_INFORMATION},
                                          {"error", IDI_ERROR},
                                          {"warning", IDI_WARNING},
                                          {"question", IDI_QUESTION}};
  RECT rect{};
  GetWindowRect(iconControl, &rect);
  const int width = GetSystemMetrics(SM_CXICON);
  const int height = GetSystemMetrics(SM_CYICON);
  const ScreenDc screen;
  const MemoryBitmap shot(screen.get(), width, height);
  BitBlt(shot.dc(), 0, 0, width, height, screen.get(), rect.left, rect.top, SRCCOPY);

  std::string best = "unknown";
  double bestScore = 0.0;
  for (const Candidate& candidate : kCandidates) {
    const HICON icon = LoadIconW(nullptr, candidate.id);  // shared: never destroyed
    const MemoryBitmap mask(screen.get(), width, height);
    const MemoryBitmap image(screen.get(), width, height);
    // Opaque pixels are the ones the mask draws black over white.
    PatBlt(mask.dc(), 0, 0, width, height, WHITENESS);
    DrawIconEx(mask.dc(), 0, 0, icon, width, height, 0, nullptr, DI_MASK);
    PatBlt(image.dc(), 0, 0, width, height, BLACKNESS);
    DrawIconEx(image.dc(), 0, 0, icon, width, height, 0, nullptr, DI_NORMAL);
    int opaque = 0;
    int same = 0;
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        if (GetPixel(mask.dc(), x, y) != RGB(0, 0, 0))
          continue;
        ++opaque;
        if (Near(GetPixel(image.dc(), x, y), GetPixel(shot.dc(), x, y)))
          ++same;
      }
    }
    const double score = opaque > 0 ? static_cast<double>(same) / opaque : 0.0;
    if (score > bestScore) {
      bestScore = score;
      best = candidate.name;
    }
  }
  return bestScore >= 0.9 ? best : "unknown";
}

bool IsIconStatic(HWND control) {
  const auto style = static_cast<DWORD>(GetWindowLongPtrW(control, GWL_STYLE));
  return ClassOf(control) == L"Static" && (style & SS_TYPEMASK) == SS_ICON;
}

// A message box is a dialog whose buttons are push buttons, whose text is the static that is not
// an icon (0xFFFF on Windows; Wine numbers it differently, so the id is not relied on), and whose
// icon, if any, is a static with SS_ICON.
void PrintMessageBox(HWND box) {
  std::string buttons;
  std::wstring text;
  std::string icon = "none";
  for (HWND child : ChildrenOf(box)) {
    if (!IsWindowVisible(child))
      continue;
    const std::wstring className = ClassOf(child);
    if (className == L"Button") {
      buttons += (buttons.empty() ? "" : ",") + Quoted(TextOf(child));
    } else if (IsIconStatic(child)) {
      DWORD_PTR handle = 0;
      SendMessageTimeoutW(child, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &handle);
      if (handle != 0) {
        // A box that has only just appeared may not be painted yet.
        const ULONGLONG deadline = GetTickCount64() + 3000;
        while ((icon = IdentifyIcon(child)) == "unknown" && GetTickCount64() < deadline)
          Sleep(50);
      }
    } else if (className == L"Static") {
      text += TextOf(child);
    }
  }
  Print("{\"kind\":\"msgbox\",\"hwnd\":" + Handle(box) + ",\"title\":" + Quoted(CaptionOf(box)) +
        ",\"text\":" + Quoted(text) + ",\"icon\":\"" + icon + "\",\"buttons\":[" + buttons + "]}");
}

}  // namespace

int CommandMessageBox(const Options& options) {
  const std::wstring& title = options.positional.at(0);
  const HWND box = WaitForTopLevel(title, kDialogClass, options.timeoutMs);
  if (box == nullptr)
    return TimedOut(L"message box \"" + title + L"\"", options.timeoutMs);
  PrintMessageBox(box);
  if (options.press != 0) {
    const HWND button = GetDlgItem(box, options.press);
    if (button == nullptr) {
      Complain("the message box has no button with id " + std::to_string(options.press));
      return kExitNotFound;
    }
    PostMessageW(button, BM_CLICK, 0, 0);
  }
  return kExitDone;
}

}  // namespace orv::inspector
