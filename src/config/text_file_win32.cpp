#include "config/text_file_win32.h"

#include "config/text_content.h"
#include "platform/file_system_win32.h"

namespace orv {

std::string ReadTextFile(std::string_view path) {
  return TextFromFileBytes(ReadWholeFile(path));
}

void WriteTextFile(std::string_view path, std::string_view text) {
  ReplaceWholeFile(path, FileBytesFromText(text));
}

}  // namespace orv
