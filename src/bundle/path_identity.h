#pragma once
// A path's identity: what Windows compares when it asks whether two names are one. The Win32 side
// (path_identity_win32.h) resolves a path to its final form and upper-cases it by the file
// system's rules; the rules made of identities are here, so that they can be tried natively.

#include <string>
#include <string_view>

namespace orv {

// How Windows upper-cases a name for an ordinal, case-insensitive comparison: one UTF-16 unit for
// one, by a fixed table that no locale changes. The Win32 side gives the system's own.
using NameUpperCase = std::u16string (*)(std::u16string_view);

// The identity of a resolved path (its final path, without "\\?\"): upper-cased by `upperCase`,
// "/" written as "\", a run of separators as one (a UNC path keeps its leading "\\"), and no
// trailing separator ("D:\" gives "D:", "D:\Web\" gives "D:\WEB").
std::u16string PathIdentity(std::u16string_view resolvedPath, NameUpperCase upperCase);

// True when what has the identity `path` lies inside the folder of identity `folder`: the path
// starts with the folder followed by a separator, and names something below it. A folder is not
// inside itself, nor inside a folder whose name only starts like its own ("C:\WEB2\X.EXE" is not
// inside "C:\WEB"); an empty folder holds nothing.
bool IsInsideFolder(std::u16string_view path, std::u16string_view folder);

}  // namespace orv
