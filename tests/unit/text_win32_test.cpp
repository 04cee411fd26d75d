// Conversions through the system to an explicit code page, so that UTF-8 and a Western code page
// are checked whatever the ANSI code page of the test run is.

#include "platform/text_win32.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/failure.h"

namespace orv {
namespace {

TEST(StrictConversion, Utf8CodePageGivesTheUtf8BytesOfAFolder) {
  for (const std::string folder : {"D:\\srv\\web\\", "D:\\网站\\多维数据库\\"}) {
    EXPECT_EQ(Utf8ToAnsiStrict(folder, "文件夹", CP_UTF8), folder);
  }
}

TEST(StrictConversion, Utf8CodePageRefusesAnUnpairedSurrogate) {
  for (const std::wstring folder : {L"D:\\a\xD800z\\", L"D:\\\xDC00\\"}) {
    try {
      WideToAnsiStrict(folder, "文件夹", CP_UTF8);
      ADD_FAILURE() << "converted " << folder.size() << " characters";
    } catch (const Failure& failure) {
      EXPECT_NE(std::string(failure.what()).find("代码页（65001）无法表示的字符"),
                std::string::npos)
          << failure.what();
    }
  }
}

TEST(ConversionWithDefaultChar, PutsTheDefaultCharacterForWhatTheCodePageLacks) {
  EXPECT_EQ(Utf8ToAnsiWithDefaultChar("已经安装！", 1252), "?????");
  EXPECT_EQ(Utf8ToAnsiWithDefaultChar("已经安装！", CP_UTF8), "已经安装！");
}

}  // namespace
}  // namespace orv
