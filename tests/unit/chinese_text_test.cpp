#include "platform/chinese_text.h"

#include <gtest/gtest.h>

namespace orv {
namespace {

TEST(JoinWords, SpacesBetweenChineseAndLatinButNotBesideQuotesOrParentheses) {
  EXPECT_EQ(JoinWords({"端口 80 已被", "w3wp.exe", "占用"}), "端口 80 已被 w3wp.exe 占用");
  EXPECT_EQ(JoinWords({"已被", "服务“MySQL”", "占用"}), "已被服务“MySQL”占用");
  EXPECT_EQ(JoinWords({"已被", "系统的 HTTP 服务（IIS 等）", "占用"}),
            "已被系统的 HTTP 服务（IIS 等）占用");
  EXPECT_EQ(JoinWords({"已被", "另一个程序", "占用"}), "已被另一个程序占用");
  EXPECT_EQ(JoinWords({"Dovrel", "", "和", "Brenlit"}), "Dovrel 和 Brenlit");
  EXPECT_EQ(JoinWords({"a", "b"}), "ab");  // Latin beside Latin is the caller's own text
}

TEST(AsSentence, EndsWithOneFullStop) {
  EXPECT_EQ(AsSentence("进程意外终止。"), "进程意外终止。");
  EXPECT_EQ(AsSentence("进程意外终止"), "进程意外终止。");
  EXPECT_EQ(AsSentence("Access is denied."), "Access is denied.");
  EXPECT_EQ(AsSentence(""), "");
}

}  // namespace
}  // namespace orv
