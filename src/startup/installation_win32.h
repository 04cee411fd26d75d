#pragma once
// The installation state on this machine: where the bundle is, and whether it is configured.

#include <string>

namespace orv {

// The application folder with exactly one trailing "\" (UTF-8). Throws a Failure when the system
// cannot report the executable's path.
std::string AppFolder();

// True when the completion marker exists as an ordinary file in the application folder.
bool IsInstalled();

// Creates or replaces the completion marker. Never reports anything: a marker that cannot be
// written is simply missing, and the next start opens the scan window again.
void WriteFinishMarker() noexcept;

}  // namespace orv
