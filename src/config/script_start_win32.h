#pragma once
// Starting the generated install script.

#include <string>

namespace orv {

// The full path of the system's own command processor (in the system folder, never one found in
// the current folder or on PATH). A 32-bit program on 64-bit Windows gets the 32-bit one, named by
// its real folder (SysWOW64), as the file-system redirection would give it.
std::string SystemCommandProcessor();

// Starts the batch script at `scriptPath` (UTF-8) through the system's command processor, in a
// window that is minimized and has the focus, in the caller's current folder, without waiting.
// The process and thread handles are closed at once. Throws a Failure naming the script and the
// system's error text when the process cannot be created, or one naming the script when its path
// cannot be passed to the command processor safely.
void StartScriptMinimized(const std::string& scriptPath);

// Starts the script as StartScriptMinimized does, in the same window state and current folder, but
// through the shell's "runas" verb, so that the system runs it with administrator rights after
// asking the user for consent or for an administrator's password. Call it on a thread in a
// single-threaded COM apartment. Returns true once the script has been started (not waited for);
// false when the user declined the request for rights. Throws a Failure naming the script and the
// system's error text when it cannot be started for another reason, or naming the script when its
// path cannot be passed to the command processor safely.
bool StartScriptAsAdministrator(const std::string& scriptPath);

}  // namespace orv
