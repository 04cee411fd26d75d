#pragma once
// The scan window's controls as its layout gives them (scan_window_layout.h): created, laid out at
// a density, and given a font.

#include <array>

#include "platform/windows_prelude_win32.h"
#include "probe/port_probe.h"
#include "window/scan_window_layout.h"

namespace orv {

using ScanControls = std::array<HWND, scan::kControls.size()>;

// Creates every control of the layout, in its order, as a child of `window` (not yet placed).
// Throws a Failure that names the control that could not be created.
ScanControls CreateScanControls(HWND window);

// Places the controls at `dpi`; the status bar docks itself to the bottom edge, with the designed
// height and one panel of the designed width.
void LayoutScanControls(const ScanControls& controls, UINT dpi);

// Gives every control `font` (which must outlive them or be replaced first).
void SetScanControlsFont(const ScanControls& controls, HFONT font);

// Registers the window class `name` with the window procedure `procedure`, the icons (may be null),
// the arrow cursor and the dialog's background; one already registered is taken as it is. Throws a
// Failure with the system's text.
void RegisterWindowClass(HINSTANCE instance, const wchar_t* name, WNDPROC procedure,
                         HICON largeIcon, HICON smallIcon);

// The hidden text box that holds what the probe reads as `box`.
int BoxControlId(ProbeBox box);

// The control of `id`; null for an id that the layout does not have.
HWND ScanControl(const ScanControls& controls, int id);

}  // namespace orv
