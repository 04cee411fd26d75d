#pragma once
// The installation state on this machine: where the bundle is, and whether it is configured.

#include <string>
#include <string_view>

namespace orv {

// The application folder with exactly one trailing "\" (UTF-8). Throws a Failure when the system
// cannot report the executable's path.
std::string AppFolder();

// True when the completion marker exists as an ordinary file in the application folder.
bool IsInstalled();

// The same for the bundle in `appFolder` (UTF-8, with its trailing "\"): read-only and archive
// markers count, directories and hidden or system files do not; letter case is ignored.
bool IsInstalledIn(std::string_view appFolder);

// Creates or replaces the completion marker. Never reports anything: a marker that cannot be
// written is simply missing, and the next start opens the scan window again.
void WriteFinishMarker() noexcept;

// The same for the bundle in `appFolder`. On success the marker holds the marker line in the ANSI
// code page, with the system's default character for each character that the code page lacks
// (none in code page 936), and CR LF; on failure an existing marker is left as it was.
void WriteFinishMarkerIn(std::string_view appFolder) noexcept;

}  // namespace orv
