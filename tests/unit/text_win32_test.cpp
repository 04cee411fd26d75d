// Conversions to a code page through the system, with an explicit code page, so that UTF-8 and a
// Western code page can be checked whatever the ANSI code page of the test run is.

#include "platform/text_win32.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/failure.h"

namespace orv {
namespace {

// The message of the Failure that converting `wide` strictly raises; "" when it converts.
std::string StrictFailure(std::wstring_view wide, UINT codePage) {
  try {
    WideToAnsiStrict(wide, "文件夹", codePage);
  } catch (const Failure& failure) {
    return failure.what();
  }
  return "";
}

TEST(StrictConversion, Utf8CodePageGivesTheUtf8BytesOfAFolder) {
  for (const std::string folder : {"D:\\srv\\web\\", "D:\\网站\\多维数据库\\"}) {
    EXPECT_EQ(Utf8ToAnsiStrict(folder, "文件夹", CP_UTF8), folder);
  }
}

TEST(StrictConversion, Utf8CodePageRefusesAnUnpairedSurrogate) {
  for (const std::wstring folder : {L"D:\\a\xD800z\\", L"D:\\\xDC00\\"}) {
    const std::string message = StrictFailure(folder, CP_UTF8);
    EXPECT_NE(message.find("代码页（65001）无法表示的字符"), std::string::npos) << message;
  }
}

TEST(StrictConversion, WesternCodePageRefusesChinese) {
  EXPECT_EQ(Utf8ToAnsiStrict("D:\\srv\\web\\", "文件夹", 1252), "D:\\srv\\web\\");
  EXPECT_NE(StrictFailure(L"D:\\\x7F51\x7AD9\\", 1252).find("代码页（1252）"), std::string::npos);
}

TEST(ConversionWithDefaultChar, PutsTheDefaultCharacterForWhatTheCodePageLacks) {
  EXPECT_EQ(Utf8ToAnsiWithDefaultChar("已经安装！", 1252), "?????");
  EXPECT_EQ(Utf8ToAnsiWithDefaultChar("已经安装！", 936),
            "\xD2\xD1\xBE\xAD\xB0\xB2\xD7\xB0\xA3\xA1");
  EXPECT_EQ(Utf8ToAnsiWithDefaultChar("已经安装！", CP_UTF8), "已经安装！");
}

}  // namespace
}  // namespace orv
