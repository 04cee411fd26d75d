#include "configure/text_content.h"

#include <cstring>

namespace orv {

std::string TextFromFileBytes(std::string_view bytes) {
  std::string text;
  text.reserve(bytes.size() + bytes.size() / 32 + 2);
  size_t start = 0;
  while (start < bytes.size()) {
    // CR is never the second byte of a double-byte character, so lines are cut on bytes.
    const void* found = std::memchr(bytes.data() + start, '\r', bytes.size() - start);
    const size_t end =
        found ? static_cast<size_t>(static_cast<const char*>(found) - bytes.data()) : bytes.size();
    text.append(bytes.data() + start, end - start);
    text += "\r\n";
    start = end;
    if (start < bytes.size()) {
      ++start;  // the CR
      if (start < bytes.size() && bytes[start] == '\n')
        ++start;  // CR LF is one line end
    }
  }
  return text;
}

std::string FileBytesFromText(std::string_view text) {
  std::string bytes;
  bytes.reserve(text.size() + 2);
  bytes.append(text);
  bytes += "\r\n";
  return bytes;
}

}  // namespace orv
