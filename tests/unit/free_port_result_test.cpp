#include "window/free_port_result.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/failure.h"

namespace orv {
namespace {

TEST(SiteLinks, PortEightyCarriesNoPort) {
  const SiteLinks links = LinksForPort("80");
  EXPECT_EQ(links.portCaption, "当前可用端口：80");
  EXPECT_EQ(links.qornCaption, "Dovrel访问网址：http://localhost/qorn");
  EXPECT_EQ(links.qornTag, "http://localhost/qorn");
  EXPECT_EQ(links.zelCaption, "Brenlit访问网址：http://localhost/zel");
  EXPECT_EQ(links.zelTag, "http://localhost/zel");
}

TEST(SiteLinks, OtherPortsAreWrittenIntoTheAddress) {
  const SiteLinks links = LinksForPort("81");
  EXPECT_EQ(links.portCaption, "当前可用端口：81");
  EXPECT_EQ(links.qornCaption, "Dovrel访问网址：http://localhost:81/qorn");
  EXPECT_EQ(links.qornTag, "http://localhost:81/qorn");
  EXPECT_EQ(links.zelCaption, "Brenlit访问网址：http://localhost:81/zel");
  EXPECT_EQ(links.zelTag, "http://localhost:81/zel");
}

TEST(SiteLinks, EightyIsComparedAsText) {
  EXPECT_EQ(LinksForPort("8080").qornTag, "http://localhost:8080/qorn");
  EXPECT_EQ(LinksForPort("180").zelTag, "http://localhost:180/zel");
  EXPECT_EQ(LinksForPort("080").qornTag, "http://localhost:080/qorn");
}

class RecordingSteps : public FreePortSteps {
 public:
  void Configure(const std::string& port) override {
    calls.push_back("Configure " + port);
    if (failConfigure)
      throw Failure("写入文件“httpd.conf”失败：拒绝访问。");
  }
  void ShowLinks(const SiteLinks& links) override { calls.push_back("ShowLinks " + links.qornTag); }
  void WriteFinishMarker() override { calls.push_back("WriteFinishMarker"); }

  bool failConfigure = false;
  std::vector<std::string> calls;
};

TEST(ShowFreePort, ConfiguresThenShowsTheLinksThenWritesTheMarker) {
  RecordingSteps steps;
  ShowFreePort("81", steps);
  EXPECT_EQ(steps.calls,
            (std::vector<std::string>{"Configure 81", "ShowLinks http://localhost:81/qorn",
                                      "WriteFinishMarker"}));
}

TEST(ShowFreePort, AFailedConfigurationShowsNothingAndWritesNoMarker) {
  RecordingSteps steps;
  steps.failConfigure = true;
  EXPECT_THROW(ShowFreePort("80", steps), Failure);
  EXPECT_EQ(steps.calls, std::vector<std::string>{"Configure 80"});
}

}  // namespace
}  // namespace orv
