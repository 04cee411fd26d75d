#pragma once
// Whole-file access for the program's few files. Paths are UTF-8 and are passed to the system as
// they are: a doubled "\" inside a path is accepted by the system's path handling.

#include <string>
#include <string_view>

namespace orv {

// The file's bytes, unchanged. Throws a Failure naming the path when it cannot be opened or read.
std::string ReadWholeFile(std::string_view path);

// Replaces the file's content with `bytes` in one step: the bytes go to a temporary file in the
// target's folder, are flushed, and the temporary file is moved over the target. On success the
// target holds exactly `bytes`; on failure it is untouched (old content, or still absent), the
// temporary file is removed, and a Failure names the path. A read-only target is refused, also
// where the system would let its owner replace it. A briefly locked target is retried for about a
// second.
void ReplaceWholeFile(std::string_view path, std::string_view bytes);

// True when the path names an ordinary file: letter case ignored; read-only and archive files
// included; directories, hidden and system files not.
bool OrdinaryFileExists(std::string_view path);

// The folder part of a path: everything before its last "\" or "/"; empty when there is none.
std::string_view FolderOf(std::string_view path);

}  // namespace orv
