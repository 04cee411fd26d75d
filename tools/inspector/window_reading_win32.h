#pragma once
// What every command shares: reading another process's windows from outside, without ever waiting
// long on a hung target, and the output, JSON objects one per line in UTF-8.

#include <string>
#include <vector>

#include "platform/windows_prelude_win32.h"

namespace orv::inspector {

// How long a message sent to the target may take before the answer counts as empty.
inline constexpr UINT kSendTimeoutMs = 2000;
// The window class of dialogs, and so of message boxes.
inline constexpr wchar_t kDialogClass[] = L"#32770";

// ---- output ------------------------------------------------------------------------------------

// One line on stdout.
void Print(const std::string& line);
// One line on stderr, after "inspector: ".
void Complain(const std::string& line);
// A JSON string in UTF-8, quotes included.
std::string Quoted(const std::wstring& wide);
// A JSON boolean.
const char* Bool(bool value);
// A window handle as a JSON number.
std::string Handle(HWND window);

// ---- reading windows ---------------------------------------------------------------------------

// A control's text, through WM_GETTEXT; empty when the target does not answer in time.
std::wstring TextOf(HWND window);
// A top-level window's caption as the system keeps it, without a message to its owner: a
// process that is starting up or busy cannot hold up the search.
std::wstring CaptionOf(HWND window);
std::wstring ClassOf(HWND window);

// The first visible top-level window with exactly this caption and, with `className`, of this
// class; without one, of any class but a dialog's. Null when there is none.
HWND FindTopLevel(const std::wstring& title, const wchar_t* className);
// Polls every few milliseconds until such a window exists; null after `timeoutMs`.
HWND WaitForTopLevel(const std::wstring& title, const wchar_t* className, DWORD timeoutMs);

// The direct children of `parent`, in Z order.
std::vector<HWND> ChildrenOf(HWND parent);
// A child's rectangle in the client coordinates of its top-level window.
RECT ClientRectOf(HWND child, HWND topLevel);
// The control that has the keyboard focus in the window's thread; null for none.
HWND FocusOf(HWND window);

// Whether WM_GETICON answers an icon of this kind (ICON_BIG, ICON_SMALL, ICON_SMALL2). It answers
// only icons set with WM_SETICON; ICON_SMALL2 also falls back to the class.
bool HasIcon(HWND window, WPARAM which);
// The images of the first icon group in the executable of this process, as "[width,height,colours]"
// items joined by commas; empty when it cannot be read. Wine answers WM_GETICON from another
// process with nothing, so this is what can be checked from outside there: the window class takes
// its icon from this group.
std::string ExecutableIcons(DWORD processId);

}  // namespace orv::inspector
