#pragma once
// Starting the generated install script.

#include <optional>
#include <string>

#include "platform/unique_handle_win32.h"

namespace orv {

// The full path of the system's own command processor (in the system folder, never one found in
// the current folder or on PATH). A 32-bit program on 64-bit Windows gets the 32-bit one, named by
// its real folder (SysWOW64), as the file-system redirection would give it.
std::string SystemCommandProcessor();

// Starts the batch script at `scriptPath` (UTF-8) through the system's command processor, in a
// window that is minimized and has the focus, in the script's own folder (whatever the program's
// current folder is: a shortcut or an archiver may have set it anywhere, and the script's bare
// commands would be looked up there first), without waiting.
// Returns the command processor's process, so that the caller can learn when the script ends.
// Throws a Failure naming the script and the system's error text when the process cannot be
// created, or one naming the script when its path cannot be passed to the command processor
// safely.
UniqueKernelHandle StartScriptMinimized(const std::string& scriptPath);

// Starts the script as StartScriptMinimized does, in the same window state and folder, but
// through the shell's "runas" verb, so that the system runs it with administrator rights after
// asking the user for consent or for an administrator's password. The change to the script's
// folder is part of the command itself, since the system may start an elevated command processor
// in the system folder. `owner` (may be null) is the window that the consent prompt belongs to.
// Call it on a thread in a single-threaded COM apartment. Returns the started process (not waited
// for; the handle is empty where the system gives none) once the script has been started; nothing
// when the user declined the request for rights. Throws a Failure naming the script and the
// system's error text when it cannot be started for another reason, or naming the script when its
// path cannot be passed to the command processor safely.
std::optional<UniqueKernelHandle> StartScriptAsAdministrator(const std::string& scriptPath,
                                                             HWND owner);

}  // namespace orv
