#pragma once
// Configures the bundle in the application folder for a port: fills the seven templates of
// TempFiles2, writes the configuration files and scripts, and starts the generated install script
// (through the request for administrator rights when the program's own are not elevated).

#include <cstdint>
#include <functional>
#include <string>

#include "platform/unique_handle_win32.h"

namespace orv {

// `port` is the port found, such as 80 or 81; `owner` (may be null) is the window that a request
// for administrator rights belongs to. Returns the started install script's process, so that the
// caller can learn when it ends (empty where the system gave none). `beforeScript` (may be empty)
// is called once every file is written, just before the script is started; it must not throw.
// Throws a Failure that names the file or step and the system's error text; files written before
// the failure stay written.
UniqueKernelHandle Configure(int32_t port, HWND owner,
                             const std::function<void()>& beforeScript = {});

// The same for the bundle in `folder` (UTF-8, exactly one trailing "\"). A folder with a
// character that the ANSI code page cannot represent exactly is refused before anything is read
// or written, since it would go into the files as "?".
UniqueKernelHandle ConfigureIn(const std::string& folder, int32_t port, HWND owner = nullptr,
                               const std::function<void()>& beforeScript = {});

}  // namespace orv
