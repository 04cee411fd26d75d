#pragma once
// Conversions at the edge of the Win32 API. Inside, the program keeps text as UTF-8 and file
// content as bytes in the ANSI code page; UTF-16 exists only for API calls.

#include <string>
#include <string_view>

#include "platform/windows_prelude_win32.h"

namespace orv {

std::wstring Utf8ToWide(std::string_view utf8);
std::string WideToUtf8(std::wstring_view wide);

// Converts to `codePage` (by default the ANSI code page; CP_OEMCP for the OEM one) exactly. A
// character that the code page cannot represent is a Failure naming `what` (for example the folder
// it came from), never a silent '?'; so is a conversion that the system refuses, with the system's
// error text.
std::string Utf8ToAnsiStrict(std::string_view utf8, std::string_view what, UINT codePage = CP_ACP);
std::string WideToAnsiStrict(std::wstring_view wide, std::string_view what, UINT codePage = CP_ACP);

// Converts to `codePage` (by default the ANSI code page), putting the system's default character
// for every character that the code page lacks. For text whose exact bytes do not matter, such as
// the completion marker's line. Throws a Failure only when the system refuses the conversion.
std::string Utf8ToAnsiWithDefaultChar(std::string_view utf8, UINT codePage = CP_ACP);

// Bytes in `codePage` (by default the ANSI code page) as UTF-16, for a path read from a file.
std::wstring AnsiToWide(std::string_view bytes, UINT codePage = CP_ACP);

// True when `byte` starts a double-byte character in the ANSI code page.
bool IsAnsiLeadByte(unsigned char byte);

}  // namespace orv
