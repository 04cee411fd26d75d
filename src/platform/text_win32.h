#pragma once
// Conversions at the edge of the Win32 API. Inside, the program keeps text as UTF-8 and file
// content as bytes in the ANSI code page; UTF-16 exists only for API calls.

#include <string>
#include <string_view>

namespace orv {

std::wstring Utf8ToWide(std::string_view utf8);
std::string WideToUtf8(std::wstring_view wide);

// Converts to the ANSI code page exactly. A character that the code page cannot represent is a
// Failure naming `what` (for example the folder it came from), never a silent '?'.
std::string Utf8ToAnsiStrict(std::string_view utf8, std::string_view what);

// True when `byte` starts a double-byte character in the ANSI code page.
bool IsAnsiLeadByte(unsigned char byte);

}  // namespace orv
