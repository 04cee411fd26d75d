// Reading another process's windows from outside, and writing what was read.

#include "window_reading_win32.h"

#include <cstdio>

#include "platform/text_win32.h"
#include "platform/unique_handle_win32.h"

namespace orv::inspector {
namespace {

void WriteUtf8(HANDLE stream, const std::string& text) {
  DWORD written = 0;
  WriteFile(stream, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

struct WindowQuery {
  std::wstring title;
  const wchar_t* className;  // nullptr: any class but a dialog's
  HWND found;
};

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

// EnumResourceNamesW callback: keeps the first name and stops the enumeration.
BOOL CALLBACK TakeFirstResourceName(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR found) {
  *reinterpret_cast<LPWSTR*>(found) = name;
  return FALSE;
}

}  // namespace

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

HWND FindTopLevel(const std::wstring& title, const wchar_t* className) {
  WindowQuery query{title, className, nullptr};
  EnumWindows(&MatchTopLevel, reinterpret_cast<LPARAM>(&query));
  return query.found;
}

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

bool HasIcon(HWND window, WPARAM which) {
  DWORD_PTR icon = 0;
  return SendMessageTimeoutW(window, WM_GETICON, which, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs,
                             &icon) != 0 &&
         icon != 0;
}

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

}  // namespace orv::inspector
