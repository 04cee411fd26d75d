#include "platform/code_page_conversion.h"

#include <gtest/gtest.h>

namespace orv {
namespace {

void ExpectMode(std::initializer_list<unsigned> codePages, LossDetection mode) {
  for (const unsigned codePage : codePages)
    EXPECT_EQ(LossDetectionFor(codePage), mode) << "code page " << codePage;
}

TEST(CodePageConversion, FlagsAreThoseTheSystemAcceptsForTheCodePage) {
  // Neighbours of the special ranges are ordinary code pages.
  ExpectMode({936, 950, 932, 1252, 437, 50223, 57001, 57012}, LossDetection::kUsedDefaultChar);
  ExpectMode({65001, 54936}, LossDetection::kInvalidCharsError);
  ExpectMode({50220, 50221, 50222, 50225, 50227, 50229, 52936, 57002, 57011, 65000, 42},
             LossDetection::kRoundTrip);
}

}  // namespace
}  // namespace orv
