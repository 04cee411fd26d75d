#include "configure/text_content.h"

#include <gtest/gtest.h>

namespace orv {
namespace {

TEST(TextFromFileBytes, EmptyFileIsEmptyText) {
  EXPECT_EQ(TextFromFileBytes(""), "");
}

TEST(TextFromFileBytes, CrLfLinesComeBackOnceEach) {
  EXPECT_EQ(TextFromFileBytes("a\r\nb\r\n"), "a\r\nb\r\n");
  EXPECT_EQ(TextFromFileBytes("\r\n"), "\r\n");
  EXPECT_EQ(TextFromFileBytes("\r\n\r\n"), "\r\n\r\n");
}

TEST(TextFromFileBytes, LastLineWithoutLineEndReadsAsIfItHadOne) {
  EXPECT_EQ(TextFromFileBytes("a\r\nb"), TextFromFileBytes("a\r\nb\r\n"));
  EXPECT_EQ(TextFromFileBytes("x"), "x\r\n");
}

TEST(TextFromFileBytes, LoneCrEndsALine) {
  EXPECT_EQ(TextFromFileBytes("a\rb\r"), "a\r\nb\r\n");
  EXPECT_EQ(TextFromFileBytes("a\r\rb"), "a\r\n\r\nb\r\n");
}

TEST(TextFromFileBytes, LoneLfStaysInsideItsLine) {
  EXPECT_EQ(TextFromFileBytes("a\nb\n"), "a\nb\n\r\n");
  EXPECT_EQ(TextFromFileBytes("\n"), "\n\r\n");
  // LF CR is a lone LF and then a line end.
  EXPECT_EQ(TextFromFileBytes("a\n\rb"), "a\n\r\nb\r\n");
}

TEST(TextFromFileBytes, KeepsEveryOtherByte) {
  // Code page 936 text, NUL, a byte-order-mark-like prefix and 0xFF pass through untouched.
  const std::string bytes("\xEF\xBB\xBF\xD6\xD0\xCE\xC4\x00\xFF\x80[", 12);
  EXPECT_EQ(TextFromFileBytes(bytes + "\r\n"), bytes + "\r\n");
  EXPECT_EQ(TextFromFileBytes(bytes), bytes + "\r\n");
}

TEST(FileBytesFromText, AddsOneCrLf) {
  EXPECT_EQ(FileBytesFromText(""), "\r\n");
  EXPECT_EQ(FileBytesFromText("a\r\nb"), "a\r\nb\r\n");
}

TEST(FileBytesFromText, ReadThenWriteAddsOneCrLfAtTheEnd) {
  EXPECT_EQ(FileBytesFromText(TextFromFileBytes("a\r\nb")), "a\r\nb\r\n\r\n");
  EXPECT_EQ(FileBytesFromText(TextFromFileBytes("")), "\r\n");
}

}  // namespace
}  // namespace orv
