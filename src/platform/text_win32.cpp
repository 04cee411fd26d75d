#include "platform/text_win32.h"

#include "platform/failure.h"
#include "platform/windows_prelude_win32.h"

namespace orv {

std::wstring Utf8ToWide(std::string_view utf8) {
  if (utf8.empty())
    return {};
  const int size = static_cast<int>(utf8.size());
  const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, wide.data(), length);
  return wide;
}

std::string WideToUtf8(std::wstring_view wide) {
  if (wide.empty())
    return {};
  const int size = static_cast<int>(wide.size());
  const int length =
      WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, utf8.data(), length, nullptr, nullptr);
  return utf8;
}

std::string Utf8ToAnsiStrict(std::string_view utf8, std::string_view what) {
  const std::wstring wide = Utf8ToWide(utf8);
  if (wide.empty())
    return {};
  const int size = static_cast<int>(wide.size());
  BOOL usedDefault = FALSE;
  const int length = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), size, nullptr,
                                         0, nullptr, &usedDefault);
  if (length <= 0 || usedDefault) {
    throw Failure(std::string(what) + "“" + std::string(utf8) + "”含有当前系统代码页（" +
                  std::to_string(GetACP()) + "）无法表示的字符，无法写入配置文件。");
  }
  std::string ansi(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), size, ansi.data(), length, nullptr,
                      nullptr);
  return ansi;
}

bool IsAnsiLeadByte(unsigned char byte) {
  return IsDBCSLeadByteEx(CP_ACP, byte) != FALSE;
}

}  // namespace orv
