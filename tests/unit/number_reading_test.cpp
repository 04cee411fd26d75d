#include "probe/number_reading.h"

#include <gtest/gtest.h>

#include <string>

namespace orv {
namespace {

TEST(NumberReading, TakesTheLeadingNumberAfterBlanks) {
  EXPECT_EQ(ReadNumber("80"), 80.0);
  EXPECT_EQ(ReadNumber("  \t 80"), 80.0);
  EXPECT_EQ(ReadNumber("80端口"), 80.0);
  EXPECT_EQ(ReadNumber("12abc34"), 12.0);
  EXPECT_EQ(ReadNumber("1 2"), 1.0);
  EXPECT_EQ(ReadNumber("-7.25x"), -7.25);
  EXPECT_EQ(ReadNumber("+3"), 3.0);
  EXPECT_EQ(ReadNumber(".5"), 0.5);
  EXPECT_EQ(ReadNumber("5."), 5.0);
  EXPECT_EQ(ReadNumber("1.2.3"), 1.2);
  EXPECT_EQ(ReadNumber("0080"), 80.0);
}

TEST(NumberReading, TextWithoutANumberReadsZero) {
  for (const char* text : {"", "   ", "abc", "-", "+", ".", "-.", "e5", "x80", "１２"}) {
    EXPECT_EQ(ReadNumber(text), 0.0) << text;
    EXPECT_EQ(ReadInt16(text), 0) << text;
    EXPECT_EQ(ReadInt32(text), 0) << text;
  }
}

TEST(NumberReading, ExponentNeedsDigits) {
  EXPECT_EQ(ReadNumber("1e3"), 1000.0);
  EXPECT_EQ(ReadNumber("1E+3"), 1000.0);
  EXPECT_EQ(ReadNumber("25e-1"), 2.5);
  EXPECT_EQ(ReadNumber("7e"), 7.0);
  EXPECT_EQ(ReadNumber("7e+"), 7.0);
  EXPECT_EQ(ReadNumber("7e-x"), 7.0);
  EXPECT_EQ(ReadNumber("7ex2"), 7.0);
}

TEST(NumberReading, HugeMagnitudesOverflowTinyOnesReadZero) {
  EXPECT_EQ(ReadNumber("1e400"), std::nullopt);
  EXPECT_EQ(ReadNumber("-1e400"), std::nullopt);
  EXPECT_EQ(ReadNumber("1e99999999999999999999999"), std::nullopt);
  EXPECT_EQ(ReadNumber(std::string(400, '9')), std::nullopt);
  EXPECT_EQ(ReadNumber("1e-400"), 0.0);
  EXPECT_EQ(ReadNumber("0.000001e-99999999999999999999"), 0.0);
  EXPECT_EQ(ReadNumber("0e99999"), 0.0);
  EXPECT_EQ(ReadNumber("1.7e308"), 1.7e308);
  EXPECT_EQ(ReadInt32("1e400"), std::nullopt);
}

TEST(NumberReading, IntegersRoundHalfToEven) {
  EXPECT_EQ(ReadInt32("0.5"), 0);
  EXPECT_EQ(ReadInt32("1.5"), 2);
  EXPECT_EQ(ReadInt32("2.5"), 2);
  EXPECT_EQ(ReadInt32("80.5"), 80);
  EXPECT_EQ(ReadInt32("81.5"), 82);
  EXPECT_EQ(ReadInt32("80.500001"), 81);
  EXPECT_EQ(ReadInt32("80.49"), 80);
  EXPECT_EQ(ReadInt32("-2.5"), -2);
  EXPECT_EQ(ReadInt32("-3.5"), -4);
  EXPECT_EQ(ReadInt16("2.5"), 2);
  EXPECT_EQ(ReadInt16("3.5"), 4);
  EXPECT_EQ(ReadInt16("8e1"), 80);
}

TEST(NumberReading, Int16LimitsAfterRounding) {
  EXPECT_EQ(ReadInt16("32767"), 32767);
  EXPECT_EQ(ReadInt16("32767.4"), 32767);
  EXPECT_EQ(ReadInt16("32767.5"), std::nullopt);  // rounds to 32768
  EXPECT_EQ(ReadInt16("32768"), std::nullopt);
  EXPECT_EQ(ReadInt16("-32768"), -32768);
  EXPECT_EQ(ReadInt16("-32768.5"), -32768);  // the even neighbour lies inside
  EXPECT_EQ(ReadInt16("-32769"), std::nullopt);
  EXPECT_EQ(ReadInt16("1e5"), std::nullopt);
}

TEST(NumberReading, Int32LimitsAfterRounding) {
  EXPECT_EQ(ReadInt32("2147483647"), 2147483647);
  EXPECT_EQ(ReadInt32("2147483647.5"), std::nullopt);
  EXPECT_EQ(ReadInt32("2147483648"), std::nullopt);
  EXPECT_EQ(ReadInt32("-2147483648"), INT32_MIN);
  EXPECT_EQ(ReadInt32("-2147483648.5"), INT32_MIN);
  EXPECT_EQ(ReadInt32("-2147483649"), std::nullopt);
  EXPECT_EQ(ReadInt32("99999999999"), std::nullopt);
}

}  // namespace
}  // namespace orv
