// Which folders a bundle can work in: local and removable disks; not a share, a network drive or
// a substituted letter, whose refusal names the folder and says where to move it.

#include "bundle/bundle_location.h"

#include <gtest/gtest.h>

#include <string>

namespace orv {
namespace {

TEST(BundleLocation, OnlyDisksOfThisMachineServe) {
  EXPECT_EQ(LocationProblem("D:\\web\\", {false, "\\Device\\HarddiskVolume3"}), "");
  EXPECT_EQ(LocationProblem("\\\\?\\E:\\web\\", {false, ""}), "");
  const std::string refused[] = {
      LocationProblem("\\\\server\\share\\web\\", {}),
      LocationProblem("\\\\?\\UNC\\server\\share\\web\\", {}),
      LocationProblem("N:\\web\\", {true, "\\Device\\LanmanRedirector\\;N:0\\server\\share"}),
      LocationProblem("S:\\web\\", {false, "\\??\\C:\\Users\\me\\bundle"}),
  };
  for (const std::string& problem : refused) {
    EXPECT_NE(problem.find("web"), std::string::npos) << problem;
    EXPECT_NE(problem.find("本地磁盘"), std::string::npos) << problem;
    EXPECT_NE(problem.find("请点击“取消”"), std::string::npos) << problem;  // Retry cannot help
  }
  EXPECT_NE(refused[2].find("网络驱动器 N:"), std::string::npos) << refused[2];
  EXPECT_NE(refused[3].find("subst"), std::string::npos) << refused[3];
}

}  // namespace
}  // namespace orv
