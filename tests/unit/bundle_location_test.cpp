// Which folders a bundle can work in.

#include "config/bundle_location.h"

#include <gtest/gtest.h>

#include <string>

namespace orv {
namespace {

const DriveFacts kLocalDisk{false, "\\Device\\HarddiskVolume3"};

TEST(BundleLocation, LocalAndRemovableDisksServe) {
  EXPECT_EQ(LocationProblem("D:\\srv\\web\\", kLocalDisk), "");
  EXPECT_EQ(LocationProblem("\\\\?\\E:\\web\\", {false, "\\Device\\HarddiskVolume9"}), "");
  EXPECT_EQ(LocationProblem("E:\\", {false, ""}), "");  // nothing known of the letter
}

// Each refusal names the folder and says to move the bundle to a local disk.
TEST(BundleLocation, SharesNetworkDrivesAndSubstitutedLettersAreRefused) {
  const std::string cases[] = {
      LocationProblem("\\\\server\\share\\web\\", {}),
      LocationProblem("\\\\?\\UNC\\server\\share\\web\\", {}),
      LocationProblem("N:\\web\\", {true, "\\Device\\LanmanRedirector\\;N:0\\server\\share"}),
      LocationProblem("S:\\web\\", {false, "\\??\\C:\\Users\\me\\bundle"}),
  };
  for (const std::string& problem : cases) {
    EXPECT_NE(problem.find("web"), std::string::npos) << problem;
    EXPECT_NE(problem.find("本机磁盘"), std::string::npos) << problem;
  }
  EXPECT_NE(cases[2].find("网络驱动器 N:"), std::string::npos) << cases[2];
  EXPECT_NE(cases[3].find("subst"), std::string::npos) << cases[3];
  EXPECT_NE(cases[3].find("C:\\Users\\me\\bundle"), std::string::npos) << cases[3];
}

TEST(BundleLocation, DriveRootOfLettersOnly) {
  EXPECT_EQ(DriveRootOf("d:\\web\\"), "d:\\");
  EXPECT_EQ(DriveRootOf("\\\\?\\D:\\web\\"), "D:\\");
  EXPECT_EQ(DriveRootOf("\\\\server\\share\\"), "");
  EXPECT_EQ(DriveRootOf("1:\\x"), "");
}

}  // namespace
}  // namespace orv
