#include "bundle/site_addresses.h"

#include <gtest/gtest.h>

namespace orv {
namespace {

TEST(SiteAddresses, PortEightyIsLeftOutOfEveryAddress) {
  EXPECT_EQ(PortSuffix(80), "");
  EXPECT_EQ(SiteHost(80), "localhost");
  EXPECT_EQ(SiteAddress(SiteLink::kQorn, 80), "http://localhost/qorn");
  EXPECT_EQ(SiteCaption(SiteLink::kZel, 80), "Brenlit访问网址：http://localhost/zel");
}

TEST(SiteAddresses, OtherPortsAreWrittenIntoTheAddress) {
  for (const int32_t port : {81, 180, 8080}) {
    const std::string text = std::to_string(port);
    EXPECT_EQ(PortSuffix(port), ":" + text);
    EXPECT_EQ(SiteHost(port), "localhost:" + text);
    EXPECT_EQ(SiteAddress(SiteLink::kZel, port), "http://localhost:" + text + "/zel");
    EXPECT_EQ(SiteCaption(SiteLink::kQorn, port),
              "Dovrel访问网址：http://localhost:" + text + "/qorn");
  }
}

}  // namespace
}  // namespace orv
