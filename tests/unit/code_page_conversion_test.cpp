#include "platform/code_page_conversion.h"

#include <gtest/gtest.h>

namespace orv {
namespace {

TEST(CodePageConversion, ByteCodePagesReportTheDefaultCharacter) {
  for (const unsigned codePage : {936u, 950u, 932u, 949u, 1252u, 1251u, 874u, 437u}) {
    EXPECT_EQ(LossDetectionFor(codePage), LossDetection::kUsedDefaultChar) << codePage;
  }
}

TEST(CodePageConversion, Utf8AndGb18030FailOnWhatTheyCannotWrite) {
  EXPECT_EQ(LossDetectionFor(65001), LossDetection::kInvalidCharsError);
  EXPECT_EQ(LossDetectionFor(54936), LossDetection::kInvalidCharsError);
}

TEST(CodePageConversion, CodePagesWithoutFlagsAreCheckedByConvertingBack) {
  for (const unsigned codePage : {50220u, 50221u, 50222u, 50225u, 50227u, 50229u, 52936u, 57002u,
                                  57006u, 57011u, 65000u, 42u}) {
    EXPECT_EQ(LossDetectionFor(codePage), LossDetection::kRoundTrip) << codePage;
  }
  // Neighbours of those ranges are ordinary code pages.
  for (const unsigned codePage : {50000u, 50223u, 50228u, 57001u, 57012u, 41u}) {
    EXPECT_EQ(LossDetectionFor(codePage), LossDetection::kUsedDefaultChar) << codePage;
  }
}

TEST(CodePageConversion, BestFitIsTurnedOffOnlyWhereTheSystemAllowsIt) {
  EXPECT_TRUE(AllowsNoBestFit(LossDetectionFor(936)));
  EXPECT_FALSE(AllowsNoBestFit(LossDetectionFor(65001)));
  EXPECT_FALSE(AllowsNoBestFit(LossDetectionFor(50220)));
}

}  // namespace
}  // namespace orv
