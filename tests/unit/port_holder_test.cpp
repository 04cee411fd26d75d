#include "watch/port_holder.h"

#include <gtest/gtest.h>

#include <map>

namespace orv {
namespace {

class FakeImages : public ProcessImages {
 public:
  std::map<uint32_t, std::string> paths;
  std::optional<std::string> ImagePath(uint32_t processId) override {
    const auto found = paths.find(processId);
    if (found == paths.end())
      return std::nullopt;
    return found->second;
  }
};

constexpr char kBundle[] = "D:\\Dovrel\\";

TEST(PortHolder, NamesTheProgramThatListens) {
  FakeImages images;
  images.paths = {{1200, "C:\\Program Files\\MySQL\\bin\\mysqld.exe"},
                  {1300, "d:\\dovrel\\local\\mysql5\\bin\\mysqld-nt.exe"},
                  {1400, "D:\\Dovrel2\\httpd.exe"}};
  const std::vector<ListeningSocket> table = {{80, 0},      {3306, 0},    {3306, 1200},
                                              {3307, 1300}, {8080, 1400}, {443, 4}};

  PortHolder holder = FindPortHolder(table, 3306, kBundle, images);
  EXPECT_EQ(holder.kind, HolderKind::kProgram);
  EXPECT_EQ(HolderName(holder), "mysqld.exe");

  // The bundle's own server, from an earlier configuration (letter case ignored).
  holder = FindPortHolder(table, 3307, kBundle, images);
  EXPECT_EQ(holder.kind, HolderKind::kOwnBundle);
  EXPECT_EQ(holder.image, "mysqld-nt.exe");

  // A folder whose name only starts like the bundle's is another program's.
  EXPECT_EQ(FindPortHolder(table, 8080, kBundle, images).kind, HolderKind::kProgram);

  holder = FindPortHolder(table, 443, kBundle, images);
  EXPECT_EQ(holder.kind, HolderKind::kSystem);
  EXPECT_NE(HolderName(holder).find("HTTP"), std::string::npos);
}

TEST(PortHolder, IsAnotherProgramWhereTheSystemDoesNotTell) {
  FakeImages images;
  // No owner in the table (as under Wine), an owner without an image, no row at all.
  const std::vector<ListeningSocket> table = {{80, 0}, {81, 1500}};
  for (const int32_t port : {80, 81, 82}) {
    const PortHolder holder = FindPortHolder(table, port, kBundle, images);
    EXPECT_EQ(holder.kind, HolderKind::kUnknown) << port;
    EXPECT_EQ(HolderName(holder), "另一个程序") << port;
  }
  EXPECT_EQ(FindPortHolder({}, 80, kBundle, images).kind, HolderKind::kUnknown);
}

TEST(PortHolder, TooltipTellsTheBundlesOwnProgramFromAConflict) {
  EXPECT_EQ(PortHolderText(80, {}), "端口 80 已被 另一个程序 占用");
  EXPECT_EQ(PortHolderText(80, {HolderKind::kProgram, "w3wp.exe"}), "端口 80 已被 w3wp.exe 占用");
  const std::string own = PortHolderText(80, {HolderKind::kOwnBundle, "httpd.exe"});
  EXPECT_NE(own.find("本捆绑包的 httpd.exe"), std::string::npos) << own;
  EXPECT_EQ(own.find("占用"), std::string::npos) << own;
}

}  // namespace
}  // namespace orv
