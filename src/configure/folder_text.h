#pragma once
// The bundle's folder as the programs that read the generated files will read it back.

#include <string>
#include <string_view>

#include "configure/placeholder.h"

namespace orv {

// The folder text for the database server's option file, whose reader takes a backslash as the
// start of an escape ("\b", "\t", "\n", "\r", "\s" and "\\" become backspace, tab, newline,
// carriage return, space and one backslash): every backslash byte written twice, so that the
// reader gives back exactly the folder.
std::string OptionFileText(std::string_view folderText);

// The offset of the first double-byte character of `text` whose second byte is a backslash
// (0x5C, as in code pages 932, 936 and 950), or npos. The configuration readers take such a byte
// as a backslash, which corrupts the folder.
size_t FindBackslashSecondByte(std::string_view text, const LeadBytes& leads);

// The character of `utf8` that holds the byte at `offset` of `text`, where `text` is the same text
// converted character for character to a code page with the lead bytes `leads` (as the
// application folder and its text are). Empty when the two do not line up.
std::string CharacterAt(std::string_view utf8, std::string_view text, size_t offset,
                        const LeadBytes& leads);

}  // namespace orv
