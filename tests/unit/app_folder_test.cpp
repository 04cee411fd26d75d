#include "bundle/app_folder.h"

#include <gtest/gtest.h>

#include "bundle/finish_marker.h"

namespace orv {
namespace {

TEST(AppFolder, AddsOneSeparatorToAnOrdinaryFolder) {
  EXPECT_EQ(AppFolderFrom("D:\\srv\\web"), "D:\\srv\\web\\");
  EXPECT_EQ(AppFolderFrom("C:\\a"), "C:\\a\\");
}

TEST(AppFolder, KeepsADriveRootAsTheSystemSpellsIt) {
  EXPECT_EQ(AppFolderFrom("D:\\"), "D:\\");
}

TEST(AppFolder, ExecutableFolderKeepsTheRootSeparatorOnly) {
  EXPECT_EQ(ExecutableFolderOf("D:\\srv\\web\\Orvandimex.exe"), "D:\\srv\\web");
  EXPECT_EQ(ExecutableFolderOf("D:\\Orvandimex.exe"), "D:\\");
  EXPECT_EQ(AppFolderFrom(ExecutableFolderOf("D:\\Orvandimex.exe")), "D:\\");
  EXPECT_EQ(ExecutableFolderOf("\\\\server\\share\\web\\Orvandimex.exe"), "\\\\server\\share\\web");
}

TEST(FinishMarker, PathsKeepTheDoubledSeparator) {
  EXPECT_EQ(marker::WritePath("D:\\srv\\web\\"), "D:\\srv\\web\\\\Finish.txt");
  EXPECT_EQ(marker::LookupPath("D:\\"), "D:\\\\finish.txt");
}

}  // namespace
}  // namespace orv
