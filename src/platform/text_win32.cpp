#include "platform/text_win32.h"

#include "platform/code_page_conversion.h"
#include "platform/failure.h"
#include "platform/system_error_win32.h"

namespace orv {
namespace {

// The flags depend on the code page itself, so CP_ACP and CP_OEMCP are resolved to the system's
// ANSI and OEM code pages first.
UINT ActualCodePage(UINT codePage) {
  if (codePage == CP_ACP)
    return GetACP();
  return codePage == CP_OEMCP ? GetOEMCP() : codePage;
}

std::string CodePageName(UINT requested, UINT actual) {
  const char* name = "代码页（";
  if (requested == CP_ACP)
    name = "当前系统代码页（";
  else if (requested == CP_OEMCP)
    name = "命令提示符使用的代码页（";
  return name + std::to_string(actual) + "）";
}

// WideCharToMultiByte, once for the size and once for the bytes. False when the system refuses,
// with its error code in GetLastError(); `usedDefault` (may be null) tells whether the default
// character was put in.
bool ConvertFromWide(UINT codePage, DWORD flags, std::wstring_view wide, BOOL* usedDefault,
                     std::string& bytes) {
  const int size = static_cast<int>(wide.size());
  const int length =
      WideCharToMultiByte(codePage, flags, wide.data(), size, nullptr, 0, nullptr, usedDefault);
  if (length <= 0)
    return false;
  bytes.assign(static_cast<size_t>(length), '\0');
  return WideCharToMultiByte(codePage, flags, wide.data(), size, bytes.data(), length, nullptr,
                             nullptr) == length;
}

std::wstring WideFromCodePage(UINT codePage, std::string_view bytes) {
  const int size = static_cast<int>(bytes.size());
  const int length = MultiByteToWideChar(codePage, 0, bytes.data(), size, nullptr, 0);
  if (length <= 0)
    return {};
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(codePage, 0, bytes.data(), size, wide.data(), length);
  return wide;
}

}  // namespace

std::wstring AnsiToWide(std::string_view bytes, UINT codePage) {
  return WideFromCodePage(codePage, bytes);
}

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

std::string Utf8ToAnsiStrict(std::string_view utf8, std::string_view what, UINT codePage) {
  return WideToAnsiStrict(Utf8ToWide(utf8), what, codePage);
}

std::string WideToAnsiStrict(std::wstring_view wide, std::string_view what, UINT codePage) {
  if (wide.empty())
    return {};
  const UINT actual = ActualCodePage(codePage);
  const LossDetection mode = LossDetectionFor(actual);
  DWORD flags = 0;
  BOOL usedDefault = FALSE;
  BOOL* reportUsedDefault = nullptr;
  switch (mode) {
    case LossDetection::kUsedDefaultChar:
      flags = WC_NO_BEST_FIT_CHARS;
      reportUsedDefault = &usedDefault;
      break;
    case LossDetection::kInvalidCharsError:
      flags = WC_ERR_INVALID_CHARS;
      break;
    case LossDetection::kRoundTrip:
      break;
  }
  const std::string subject = std::string(what) + "“" + WideToUtf8(wide) + "”";
  const auto unrepresentable = [&] {
    return Failure(subject + "含有" + CodePageName(codePage, actual) +
                   "无法表示的字符，无法写入配置文件。");
  };

  std::string ansi;
  if (!ConvertFromWide(actual, flags, wide, reportUsedDefault, ansi)) {
    const DWORD error = GetLastError();
    // With WC_ERR_INVALID_CHARS this is how a character that cannot be written is reported.
    if (error == ERROR_NO_UNICODE_TRANSLATION)
      throw unrepresentable();
    throw Failure(subject + "转换到" + CodePageName(codePage, actual) + "失败：" +
                  SystemErrorText(error));
  }
  if (usedDefault)
    throw unrepresentable();
  // These code pages put their default character in without saying so.
  if (mode == LossDetection::kRoundTrip && WideFromCodePage(actual, ansi) != wide)
    throw unrepresentable();
  return ansi;
}

std::string Utf8ToAnsiWithDefaultChar(std::string_view utf8, UINT codePage) {
  const std::wstring wide = Utf8ToWide(utf8);
  if (wide.empty())
    return {};
  const UINT actual = ActualCodePage(codePage);
  // Without best fit, a missing character becomes the default character, not a look-alike.
  const DWORD flags = AllowsNoBestFit(LossDetectionFor(actual)) ? WC_NO_BEST_FIT_CHARS : 0;
  std::string ansi;
  if (!ConvertFromWide(actual, flags, wide, nullptr, ansi))
    ThrowLastError("转换到" + CodePageName(codePage, actual), utf8);
  return ansi;
}

// On a system whose ANSI code page is UTF-8 (65001) no byte is a lead byte, so placeholder
// matching treats every byte as a character of its own. That is right for UTF-8: the bytes of a
// multi-byte sequence are all 0x80 or above, so an ASCII byte such as "[" always starts a
// character and never sits inside one.
bool IsAnsiLeadByte(unsigned char byte) {
  return IsDBCSLeadByteEx(CP_ACP, byte) != FALSE;
}

}  // namespace orv
