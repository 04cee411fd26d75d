#pragma once
// Whole-file text reading and writing for the template engine: content in the ANSI code page, no
// byte-order mark read or written, line ends by the rules of config/text_content.h.

#include <string>
#include <string_view>

namespace orv {

// The whole file as text content: every line followed by CR LF. Throws a Failure naming the
// path when the file cannot be opened or read.
std::string ReadTextFile(std::string_view path);

// Replaces the file's content with `text` followed by CR LF, in one step: on failure the file is
// untouched and a Failure names the path. The folder must exist; nothing creates folders.
void WriteTextFile(std::string_view path, std::string_view text);

}  // namespace orv
