#pragma once
// The content rules of whole-file text: what a template's bytes read as, and what bytes a text is
// written as. Content stays a byte string in the ANSI code page throughout; only line ends change.

#include <string>
#include <string_view>

namespace orv {

// The file's bytes as text content: the bytes are cut into lines at every CR or CR LF, and each
// line comes back followed by CR LF. A lone LF is no line end and stays inside its line; a last
// line without a line end reads as if it had one; an empty file reads as the empty text. Every
// other byte passes through unchanged.
std::string TextFromFileBytes(std::string_view bytes);

// The bytes that a text is written as: the text unchanged, then one CR LF.
std::string FileBytesFromText(std::string_view text);

}  // namespace orv
