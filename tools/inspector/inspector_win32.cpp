// inspector: reads and drives another process's windows for the end-to-end tests.
//
// inspector window TITLE      the visible top-level window with exactly this caption (message
//                             boxes left out), then one line per child control
// inspector status TITLE      the widths, texts and tooltip texts of its status bar's panels
// inspector click TITLE ID    press a button (BM_CLICK) or click a label (STN_CLICKED)
// inspector key TITLE KEY     post esc, enter, tab or alt-c to the focused control
// inspector close TITLE       post WM_CLOSE, as the close box does
// inspector minimize TITLE    minimize the window
// inspector msgbox TITLE      a message box (#32770): text, icon, buttons; --press-ok presses OK,
//                             --press ok|cancel|retry|yes|no the button with that id
// inspector gone TITLE        wait until no window has this caption
// inspector hold FILE         open FILE with no sharing, as a program that keeps it open does,
//                             say so, and keep it open for --timeout MS
// inspector launch EXE TITLE  start EXE, time it until its window (with --dialog: its message box)
//                             is visible (with --until ID PREFIX: also until the text of control
//                             ID starts with PREFIX), report its peak working set, then close it
// Every command that waits takes --timeout MS (10 s by default).
//
// Output is JSON, one object per line, in UTF-8. Exit codes: 0 done; 1 usage or system failure;
// 2 the window has no such part (control id, status bar, button); 3 timed out waiting for a
// window, a message box, a window to go or a program to end. stderr says what was missing.

// Windows headers after the prelude, which sets what they depend on.
#include "platform/windows_prelude_win32.h"

#include <commctrl.h>
#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "platform/text_win32.h"
#include "platform/unique_handle_win32.h"

namespace {

constexpr int kExitDone = 0;
constexpr int kExitFailure = 1;
constexpr int kExitNotFound = 2;
constexpr int kExitTimedOut = 3;
constexpr DWORD kDefaultTimeoutMs = 10000;
constexpr UINT kSendTimeoutMs = 2000;
constexpr wchar_t kDialogClass[] = L"#32770";

// ---- output ------------------------------------------------------------------------------------

void WriteUtf8(HANDLE stream, const std::string& text) {
  DWORD written = 0;
  WriteFile(stream, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

void Print(const std::string& line) {
  WriteUtf8(GetStdHandle(STD_OUTPUT_HANDLE), line + "\n");
}

void Complain(const std::string& line) {
  WriteUtf8(GetStdHandle(STD_ERROR_HANDLE), "inspector: " + line + "\n");
}

std::string Quoted(const std::wstring& wide) {
  const std::string utf8 = orv::WideToUtf8(wide);
  std::string out = "\"";
  for (const char c : utf8) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
      out += escaped;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

const char* Bool(bool value) {
  return value ? "true" : "false";
}

std::string Handle(HWND window) {
  return std::to_string(reinterpret_cast<UINT_PTR>(window));
}

// ---- reading windows ---------------------------------------------------------------------------

std::wstring TextOf(HWND window) {
  // WM_GETTEXT through SendMessageTimeout: a hung target must not hang the inspector.
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs,
                           &length)) {
    return {};
  }
  // The text may change between the two messages (the port label does so at the result): room to
  // spare, so that a longer new text is never read cut.
  std::wstring text(length + 1 + 1024, L'\0');
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                           SMTO_ABORTIFHUNG, kSendTimeoutMs, &copied)) {
    return {};
  }
  text.resize(copied);
  return text;
}

// A top-level window's caption as the system keeps it, without a message to its owner: a
// process that is starting up or busy cannot hold up the search.
std::wstring CaptionOf(HWND window) {
  wchar_t caption[512] = {};
  const int length = InternalGetWindowText(window, caption, 512);
  return std::wstring(caption, static_cast<size_t>(length > 0 ? length : 0));
}

std::wstring ClassOf(HWND window) {
  wchar_t name[256] = {};
  const int length = GetClassNameW(window, name, 256);
  return std::wstring(name, static_cast<size_t>(length > 0 ? length : 0));
}

struct WindowQuery {
  std::wstring title;
  const wchar_t* className;  // nullptr: any class but a dialog's
  HWND found;
};

// EnumResourceNamesW callback: keeps the first name and stops the enumeration.
BOOL CALLBACK TakeFirstResourceName(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR found) {
  *reinterpret_cast<LPWSTR*>(found) = name;
  return FALSE;
}

BOOL CALLBACK MatchTopLevel(HWND window, LPARAM param) {
  auto* query = reinterpret_cast<WindowQuery*>(param);
  if (!IsWindowVisible(window))
    return TRUE;
  // Without a class, message boxes are left out: an error box may carry the window's caption.
  const std::wstring className = ClassOf(window);
  if (query->className != nullptr ? className != query->className : className == kDialogClass)
    return TRUE;
  if (CaptionOf(window) != query->title)
    return TRUE;
  query->found = window;
  return FALSE;
}

HWND FindTopLevel(const std::wstring& title, const wchar_t* className) {
  WindowQuery query{title, className, nullptr};
  EnumWindows(&MatchTopLevel, reinterpret_cast<LPARAM>(&query));
  return query.found;
}

// Polls every few milliseconds until a visible top-level window with this exact caption exists.
HWND WaitForTopLevel(const std::wstring& title, const wchar_t* className, DWORD timeoutMs) {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  for (;;) {
    if (HWND window = FindTopLevel(title, className))
      return window;
    if (GetTickCount64() >= deadline)
      return nullptr;
    Sleep(5);
  }
}

std::vector<HWND> ChildrenOf(HWND parent) {
  std::vector<HWND> children;
  for (HWND child = GetWindow(parent, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    children.push_back(child);
  }
  return children;
}

RECT ClientRectOf(HWND child, HWND topLevel) {
  RECT rect{};
  GetWindowRect(child, &rect);
  MapWindowPoints(HWND_DESKTOP, topLevel, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

HWND FocusOf(HWND window) {
  GUITHREADINFO info{};
  info.cbSize = sizeof(info);
  if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info))
    return nullptr;
  return info.hwndFocus;
}

// WM_GETICON answers only icons set with WM_SETICON; ICON_SMALL2 also falls back to the class.
bool HasIcon(HWND window, WPARAM which) {
  DWORD_PTR icon = 0;
  return SendMessageTimeoutW(window, WM_GETICON, which, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs,
                             &icon) != 0 &&
         icon != 0;
}

// The images of the first icon group in the window's executable, as "[width,height,colours]"
// items. Wine answers WM_GETICON from another process with nothing, so this is what can be checked
// from outside there: the window class takes its icon from this group.
std::string ExecutableIcons(DWORD processId) {
  orv::UniqueKernelHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
  wchar_t path[MAX_PATH * 2] = {};
  DWORD length = MAX_PATH * 2;
  if (!process || !QueryFullProcessImageNameW(process.get(), 0, path, &length))
    return "";
  struct ModuleOwner {
    HMODULE module;
    ~ModuleOwner() {
      if (module != nullptr)
        FreeLibrary(module);
    }
  } image{LoadLibraryExW(path, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE)};
  if (image.module == nullptr)
    return "";
  LPWSTR firstGroup = nullptr;
  EnumResourceNamesW(image.module, RT_GROUP_ICON, &TakeFirstResourceName,
                     reinterpret_cast<LONG_PTR>(&firstGroup));
  HRSRC resource =
      firstGroup != nullptr ? FindResourceW(image.module, firstGroup, RT_GROUP_ICON) : nullptr;
  HGLOBAL loaded = resource != nullptr ? LoadResource(image.module, resource) : nullptr;
  const auto* bytes = static_cast<const BYTE*>(loaded != nullptr ? LockResource(loaded) : nullptr);
  if (bytes == nullptr || SizeofResource(image.module, resource) < 6)
    return "";
  // GRPICONDIR: reserved, type, count (WORDs); then 14-byte entries: width, height, colours, ...
  const size_t count = bytes[4] | (bytes[5] << 8);
  if (SizeofResource(image.module, resource) < 6 + 14 * count)
    return "";
  std::string items;
  for (size_t i = 0; i < count; ++i) {
    const BYTE* entry = bytes + 6 + 14 * i;
    const int width = entry[0] == 0 ? 256 : entry[0];
    const int height = entry[1] == 0 ? 256 : entry[1];
    items += (i == 0 ? "[" : ",[") + std::to_string(width) + "," + std::to_string(height) + "," +
             std::to_string(entry[2]) + "]";
  }
  return items;
}

SIZE_T PeakWorkingSet(DWORD processId) {
  orv::UniqueKernelHandle process(
      OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId));
  if (!process)
    return 0;
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof(counters);
  if (!GetProcessMemoryInfo(process.get(), &counters, sizeof(counters)))
    return 0;
  return counters.PeakWorkingSetSize;
}

void PrintWindowInfo(HWND window) {
  const auto style = static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE));
  RECT client{};
  GetClientRect(window, &client);
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  const HWND focus = FocusOf(window);
  Print(
      "{\"kind\":\"window\",\"hwnd\":" + Handle(window) + ",\"pid\":" + std::to_string(processId) +
      ",\"class\":" + Quoted(ClassOf(window)) + ",\"title\":" + Quoted(CaptionOf(window)) +
      ",\"style\":" + std::to_string(style) + ",\"thickframe\":" + Bool(style & WS_THICKFRAME) +
      ",\"minimizebox\":" + Bool(style & WS_MINIMIZEBOX) + ",\"maximizebox\":" +
      Bool(style & WS_MAXIMIZEBOX) + ",\"sysmenu\":" + Bool(style & WS_SYSMENU) + ",\"client\":[" +
      std::to_string(client.right - client.left) + "," +
      std::to_string(client.bottom - client.top) + "],\"icon_big\":" +
      Bool(HasIcon(window, ICON_BIG)) + ",\"icon_small\":" + Bool(HasIcon(window, ICON_SMALL)) +
      ",\"icon_small2\":" + Bool(HasIcon(window, ICON_SMALL2)) + ",\"exe_icons\":[" +
      ExecutableIcons(processId) + "],\"minimized\":" + Bool(IsIconic(window)) + ",\"focus_id\":" +
      (focus != nullptr ? std::to_string(GetDlgCtrlID(focus)) : std::string("null")) + "}");
}

void PrintControl(HWND control, HWND topLevel, HWND focus) {
  const RECT rect = ClientRectOf(control, topLevel);
  const auto style = static_cast<DWORD>(GetWindowLongPtrW(control, GWL_STYLE));
  Print(
      "{\"kind\":\"control\",\"hwnd\":" + Handle(control) +
      ",\"class\":" + Quoted(ClassOf(control)) +
      ",\"id\":" + std::to_string(GetDlgCtrlID(control)) + ",\"text\":" + Quoted(TextOf(control)) +
      ",\"style\":" + std::to_string(style) + ",\"visible\":" + Bool(IsWindowVisible(control)) +
      ",\"enabled\":" + Bool(IsWindowEnabled(control)) + ",\"focused\":" + Bool(control == focus) +
      ",\"rect\":[" + std::to_string(rect.left) + "," + std::to_string(rect.top) + "," +
      std::to_string(rect.right - rect.left) + "," + std::to_string(rect.bottom - rect.top) + "]}");
}

// ---- memory in the target process --------------------------------------------------------------

// A block of memory inside another process, for messages whose buffer the target fills.
class RemoteBuffer {
 public:
  RemoteBuffer(HWND window, SIZE_T size) : size_(size) {
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    process_.reset(
        OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, processId));
    if (process_)
      address_ = VirtualAllocEx(process_.get(), nullptr, size, MEM_COMMIT, PAGE_READWRITE);
  }
  ~RemoteBuffer() {
    if (address_ != nullptr)
      VirtualFreeEx(process_.get(), address_, 0, MEM_RELEASE);
  }
  RemoteBuffer(const RemoteBuffer&) = delete;
  RemoteBuffer& operator=(const RemoteBuffer&) = delete;

  bool valid() const { return address_ != nullptr; }
  LPARAM address() const { return reinterpret_cast<LPARAM>(address_); }
  bool Write(const void* from, SIZE_T bytes) const {
    SIZE_T written = 0;
    return bytes <= size_ && WriteProcessMemory(process_.get(), address_, from, bytes, &written) &&
           written == bytes;
  }
  bool Read(void* into, SIZE_T bytes) const {
    SIZE_T read = 0;
    return bytes <= size_ && ReadProcessMemory(process_.get(), address_, into, bytes, &read) &&
           read == bytes;
  }

 private:
  orv::UniqueKernelHandle process_;
  void* address_ = nullptr;
  SIZE_T size_;
};

// ---- message boxes -----------------------------------------------------------------------------

// Which standard icon a message box shows. Icon handles are per process, so they cannot be
// compared across processes; instead the pixels on screen under the box's icon control are
// compared with each standard icon drawn here, on its opaque pixels only (taken from the icon's
// own mask). The best match wins when almost all opaque pixels agree.
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

// ---- commands ----------------------------------------------------------------------------------

constexpr std::pair<const wchar_t*, int> kButtonIds[] = {
    {L"ok", IDOK}, {L"cancel", IDCANCEL}, {L"retry", IDRETRY}, {L"yes", IDYES}, {L"no", IDNO}};

struct Options {
  std::vector<std::wstring> positional;
  DWORD timeoutMs = kDefaultTimeoutMs;
  int press = 0;  // the id of the message box's button to press; 0 for none
  bool dialog = false;
  int untilId = 0;           // launch: also time until this control's text starts with...
  std::wstring untilPrefix;  // ...this prefix
};

bool ParseOptions(int argc, wchar_t** argv, Options& options) {
  for (int i = 2; i < argc; ++i) {
    const std::wstring arg = argv[i];
    if (arg == L"--timeout" && i + 1 < argc) {
      options.timeoutMs = static_cast<DWORD>(_wtoi(argv[++i]));
    } else if (arg == L"--press-ok") {
      options.press = IDOK;
    } else if (arg == L"--press" && i + 1 < argc) {
      const std::wstring name = argv[++i];
      options.press = 0;
      for (const auto& [buttonName, id] : kButtonIds) {
        if (name == buttonName)
          options.press = id;
      }
      if (options.press == 0)
        return false;  // no such button
    } else if (arg == L"--dialog") {
      options.dialog = true;
    } else if (arg == L"--until" && i + 2 < argc) {
      options.untilId = _wtoi(argv[++i]);
      options.untilPrefix = argv[++i];
    } else if (arg.rfind(L"--", 0) == 0) {
      return false;
    } else {
      options.positional.push_back(arg);
    }
  }
  return true;
}

int TimedOut(const std::wstring& what, DWORD timeoutMs) {
  Complain("timed out after " + std::to_string(timeoutMs) + " ms waiting for " +
           orv::WideToUtf8(what));
  return kExitTimedOut;
}

// The window named by the first argument, waited for; null after saying what timed out.
HWND RequireWindow(const Options& options) {
  const std::wstring& title = options.positional.at(0);
  const HWND window = WaitForTopLevel(title, nullptr, options.timeoutMs);
  if (window == nullptr)
    TimedOut(L"window \"" + title + L"\"", options.timeoutMs);
  return window;
}

int CommandWindow(const Options& options) {
  const HWND window = RequireWindow(options);
  if (window == nullptr)
    return kExitTimedOut;
  PrintWindowInfo(window);
  const HWND focus = FocusOf(window);
  for (HWND child : ChildrenOf(window))
    PrintControl(child, window, focus);
  return kExitDone;
}

HWND StatusBarOf(HWND window) {
  for (HWND child : ChildrenOf(window)) {
    if (ClassOf(child) == L"msctls_statusbar32")
      return child;
  }
  return nullptr;
}

int CommandStatus(const Options& options) {
  const HWND window = RequireWindow(options);
  if (window == nullptr)
    return kExitTimedOut;
  const HWND statusBar = StatusBarOf(window);
  if (statusBar == nullptr) {
    Complain("the window has no status bar");
    return kExitNotFound;
  }
  constexpr int kMaxParts = 256;
  RemoteBuffer buffer(statusBar, 64 * 1024);
  if (!buffer.valid()) {
    Complain("cannot reserve memory in the target process (error " +
             std::to_string(GetLastError()) + ")");
    return kExitFailure;
  }
  DWORD_PTR count = 0;
  SendMessageTimeoutW(statusBar, SB_GETPARTS, kMaxParts, buffer.address(), SMTO_ABORTIFHUNG,
                      kSendTimeoutMs, &count);
  std::vector<int> edges(count);
  if (count > 0 && !buffer.Read(edges.data(), count * sizeof(int))) {
    Complain("cannot read the status bar's parts");
    return kExitFailure;
  }
  std::string widths;
  std::string texts;
  std::string tips;
  int left = 0;
  for (size_t part = 0; part < edges.size(); ++part) {
    // SB_GETPARTS gives right edges; -1 means "to the end of the bar".
    widths += (part == 0 ? "" : ",") + std::to_string(edges[part] < 0 ? -1 : edges[part] - left);
    left = edges[part];
    DWORD_PTR result = 0;
    SendMessageTimeoutW(statusBar, SB_GETTEXTLENGTHW, part, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs,
                        &result);
    // The text may grow between the two messages: read up to its end, with room to spare.
    const size_t length = LOWORD(result);
    std::wstring text(length + 1 + 1024, L'\0');
    SendMessageTimeoutW(statusBar, SB_GETTEXTW, part, buffer.address(), SMTO_ABORTIFHUNG,
                        kSendTimeoutMs, &result);
    if (!buffer.Read(text.data(), text.size() * sizeof(wchar_t))) {
      Complain("cannot read the text of status panel " + std::to_string(part));
      return kExitFailure;
    }
    text.resize(wcsnlen(text.data(), text.size()));
    texts += (part == 0 ? "" : ",") + Quoted(text);
    // The panel's tooltip (empty without one).
    constexpr WORD kTipChars = 1024;
    std::wstring tip(kTipChars, L'\0');
    if (buffer.Write(tip.data(), sizeof(wchar_t))) {
      SendMessageTimeoutW(statusBar, SB_GETTIPTEXTW, MAKEWPARAM(part, kTipChars), buffer.address(),
                          SMTO_ABORTIFHUNG, kSendTimeoutMs, &result);
    }
    if (!buffer.Read(tip.data(), tip.size() * sizeof(wchar_t)))
      tip.clear();
    tip.resize(wcsnlen(tip.data(), tip.size()));
    tips += (part == 0 ? "" : ",") + Quoted(tip);
  }
  Print("{\"kind\":\"status\",\"hwnd\":" + Handle(statusBar) + ",\"parts\":[" + widths +
        "],\"texts\":[" + texts + "],\"tips\":[" + tips + "]}");
  return kExitDone;
}

int CommandClick(const Options& options) {
  const int id = _wtoi(options.positional.at(1).c_str());
  const HWND window = RequireWindow(options);
  if (window == nullptr)
    return kExitTimedOut;
  const HWND control = GetDlgItem(window, id);
  if (control == nullptr) {
    Complain("the window has no control with id " + std::to_string(id));
    return kExitNotFound;
  }
  // Posted, so that a modal message box opened by the click does not block the inspector.
  if (ClassOf(control) == L"Static") {
    PostMessageW(window, WM_COMMAND, MAKEWPARAM(id, STN_CLICKED),
                 reinterpret_cast<LPARAM>(control));
  } else {
    PostMessageW(control, BM_CLICK, 0, 0);
  }
  return kExitDone;
}

// Keys are posted to the focused control, the way the keyboard delivers them, so that they pass
// through the target's message loop (and IsDialogMessage there).
int CommandKey(const Options& options) {
  const std::wstring& key = options.positional.at(1);
  const HWND window = RequireWindow(options);
  if (window == nullptr)
    return kExitTimedOut;
  HWND target = FocusOf(window);
  if (target == nullptr)
    target = window;
  auto keyDown = [&](UINT vk) {
    const UINT scan = MapVirtualKeyW(vk, MAPVK_VK_TO_VSC);
    PostMessageW(target, WM_KEYDOWN, vk, 1 | (scan << 16));
  };
  auto keyUp = [&](UINT vk) {
    const UINT scan = MapVirtualKeyW(vk, MAPVK_VK_TO_VSC);
    PostMessageW(target, WM_KEYUP, vk, 1 | (scan << 16) | (1u << 30) | (1u << 31));
  };
  if (key == L"esc") {
    keyDown(VK_ESCAPE);
    keyUp(VK_ESCAPE);
  } else if (key == L"enter") {
    keyDown(VK_RETURN);
    keyUp(VK_RETURN);
  } else if (key == L"tab") {
    keyDown(VK_TAB);
    keyUp(VK_TAB);
  } else if (key == L"alt-c") {
    const UINT scan = MapVirtualKeyW('C', MAPVK_VK_TO_VSC);
    const LPARAM alt = 1 | (scan << 16) | (1u << 29);
    PostMessageW(target, WM_SYSKEYDOWN, 'C', alt);
    PostMessageW(target, WM_SYSCHAR, 'c', alt);
    PostMessageW(target, WM_SYSKEYUP, 'C', alt | (1u << 30) | (1u << 31));
  } else {
    Complain("unknown key " + orv::WideToUtf8(key) + " (esc, enter, tab, alt-c)");
    return kExitFailure;
  }
  return kExitDone;
}

int CommandClose(const Options& options) {
  const HWND window = RequireWindow(options);
  if (window == nullptr)
    return kExitTimedOut;
  PostMessageW(window, WM_CLOSE, 0, 0);
  return kExitDone;
}

int CommandMinimize(const Options& options) {
  const HWND window = RequireWindow(options);
  if (window == nullptr)
    return kExitTimedOut;
  ShowWindow(window, SW_MINIMIZE);
  return kExitDone;
}

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

int CommandHold(const Options& options) {
  const std::wstring& path = options.positional.at(0);
  const orv::UniqueFileHandle file(
      CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file) {
    Complain("cannot open " + orv::WideToUtf8(path) + " (error " + std::to_string(GetLastError()) +
             ")");
    return kExitFailure;
  }
  Print("{\"kind\":\"hold\",\"path\":" + Quoted(path) + "}");
  Sleep(options.timeoutMs);
  return kExitDone;
}

int CommandGone(const Options& options) {
  const std::wstring& title = options.positional.at(0);
  const ULONGLONG deadline = GetTickCount64() + options.timeoutMs;
  while (FindTopLevel(title, nullptr) != nullptr) {
    if (GetTickCount64() >= deadline) {
      Complain("timed out after " + std::to_string(options.timeoutMs) +
               " ms waiting for window \"" + orv::WideToUtf8(title) + "\" to go");
      return kExitTimedOut;
    }
    Sleep(5);
  }
  return kExitDone;
}

// Starts the program, times it until its window (or, with --dialog, its message box) is visible,
// reads its peak working set, then closes it (WM_CLOSE, or OK of the box) and waits for its end.
int CommandLaunch(const Options& options) {
  const std::wstring& exe = options.positional.at(0);
  const std::wstring& title = options.positional.at(1);
  std::wstring commandLine = L"\"" + exe + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info{};
  LARGE_INTEGER frequency{};
  LARGE_INTEGER start{};
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &info)) {
    Complain("cannot start " + orv::WideToUtf8(exe) + " (error " + std::to_string(GetLastError()) +
             ")");
    return kExitFailure;
  }
  const orv::UniqueKernelHandle process(info.hProcess);
  const orv::UniqueKernelHandle thread(info.hThread);
  const HWND window =
      WaitForTopLevel(title, options.dialog ? kDialogClass : nullptr, options.timeoutMs);
  LARGE_INTEGER shown{};
  QueryPerformanceCounter(&shown);
  if (window == nullptr) {
    TerminateProcess(process.get(), 1);
    return TimedOut(L"window \"" + title + L"\" of the started program", options.timeoutMs);
  }
  const auto msSinceStart = [&](const LARGE_INTEGER& at) {
    return static_cast<double>(at.QuadPart - start.QuadPart) * 1000.0 /
           static_cast<double>(frequency.QuadPart);
  };
  const double ms = msSinceStart(shown);
  std::string untilFigure;
  if (options.untilId != 0) {
    // Polls the control's text every five milliseconds until it starts with the prefix.
    const HWND control = GetDlgItem(window, options.untilId);
    const ULONGLONG deadline = GetTickCount64() + options.timeoutMs;
    while (control == nullptr || TextOf(control).rfind(options.untilPrefix, 0) != 0) {
      if (control == nullptr || GetTickCount64() >= deadline) {
        TerminateProcess(process.get(), 1);
        return TimedOut(L"control " + std::to_wstring(options.untilId) + L" to read \"" +
                            options.untilPrefix + L"...\"",
                        options.timeoutMs);
      }
      Sleep(5);
    }
    LARGE_INTEGER reached{};
    QueryPerformanceCounter(&reached);
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", msSinceStart(reached));
    untilFigure = std::string(",\"ms_to_text\":") + text;
  }
  Sleep(200);  // let start-up settle before reading the peak
  const SIZE_T peak = PeakWorkingSet(info.dwProcessId);
  if (options.dialog) {
    PostMessageW(GetDlgItem(window, IDOK), BM_CLICK, 0, 0);
  } else {
    PostMessageW(window, WM_CLOSE, 0, 0);
  }
  DWORD exitCode = STILL_ACTIVE;
  if (WaitForSingleObject(process.get(), options.timeoutMs) != WAIT_OBJECT_0) {
    TerminateProcess(process.get(), 1);
    return TimedOut(L"the started program to end", options.timeoutMs);
  }
  GetExitCodeProcess(process.get(), &exitCode);
  char figure[32];
  std::snprintf(figure, sizeof figure, "%.3f", ms);
  Print(std::string("{\"kind\":\"launch\",\"ms_to_window\":") + figure + ",\"peak_working_set\":" +
        std::to_string(peak) + untilFigure + ",\"exit_code\":" + std::to_string(exitCode) + "}");
  return kExitDone;
}

struct Command {
  const wchar_t* name;
  size_t arguments;
  int (*run)(const Options&);
};

constexpr Command kCommands[] = {
    {L"window", 1, &CommandWindow}, {L"status", 1, &CommandStatus},
    {L"click", 2, &CommandClick},   {L"key", 2, &CommandKey},
    {L"close", 1, &CommandClose},   {L"msgbox", 1, &CommandMessageBox},
    {L"gone", 1, &CommandGone},     {L"launch", 2, &CommandLaunch},
    {L"hold", 1, &CommandHold},     {L"minimize", 1, &CommandMinimize},
};

int Usage() {
  Complain(
      "usage: inspector window|status|close|minimize|msgbox|gone TITLE, click TITLE ID, "
      "key TITLE KEY, launch EXE TITLE, hold FILE; options --timeout MS, --press-ok, "
      "--press BUTTON, --dialog");
  return kExitFailure;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2)
    return Usage();
  Options options;
  if (!ParseOptions(argc, argv, options))
    return Usage();
  for (const Command& command : kCommands) {
    if (argv[1] == std::wstring(command.name)) {
      if (options.positional.size() != command.arguments)
        return Usage();
      return command.run(options);
    }
  }
  return Usage();
}
