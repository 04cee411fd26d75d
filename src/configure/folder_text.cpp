#include "configure/folder_text.h"

namespace orv {
namespace {

// The length of the UTF-8 sequence that starts with `lead`.
size_t Utf8Length(unsigned char lead) {
  if (lead < 0x80)
    return 1;
  if (lead >= 0xF0)
    return 4;
  if (lead >= 0xE0)
    return 3;
  return 2;
}

}  // namespace

std::string OptionFileText(std::string_view folderText) {
  std::string escaped;
  escaped.reserve(folderText.size() + 8);
  for (const char c : folderText) {
    escaped += c;
    if (c == '\\')
      escaped += c;
  }
  return escaped;
}

size_t FindBackslashSecondByte(std::string_view text, const LeadBytes& leads) {
  for (size_t at = 0; at < text.size(); ++at) {
    if (!leads.IsLead(static_cast<unsigned char>(text[at])))
      continue;
    if (at + 1 < text.size() && text[at + 1] == '\\')
      return at;
    ++at;  // the second byte
  }
  return std::string_view::npos;
}

std::string CharacterAt(std::string_view utf8, std::string_view text, size_t offset,
                        const LeadBytes& leads) {
  size_t index = 0;  // characters of `text` before the one at `offset`
  for (size_t at = 0; at < offset && at < text.size(); ++index)
    at += leads.IsLead(static_cast<unsigned char>(text[at])) ? 2 : 1;
  size_t at = 0;
  for (; index > 0 && at < utf8.size(); --index)
    at += Utf8Length(static_cast<unsigned char>(utf8[at]));
  if (at >= utf8.size())
    return std::string();
  return std::string(utf8.substr(at, Utf8Length(static_cast<unsigned char>(utf8[at]))));
}

}  // namespace orv
