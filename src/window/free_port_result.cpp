#include "window/free_port_result.h"

namespace orv {

SiteLinks LinksForPort(const std::string& port) {
  // The web's default port is left out of the addresses; it is compared as text, so that only
  // the exact text "80" counts.
  const std::string host = port == "80" ? "http://localhost" : "http://localhost:" + port;
  SiteLinks links;
  links.portCaption = "当前可用端口：" + port;
  links.qornTag = host + "/qorn";
  links.qornCaption = "Dovrel访问网址：" + links.qornTag;
  links.zelTag = host + "/zel";
  links.zelCaption = "Brenlit访问网址：" + links.zelTag;
  return links;
}

void ShowFreePort(const std::string& port, FreePortSteps& steps) {
  steps.Configure(port);  // a failure here leaves the labels and the marker untouched
  steps.ShowLinks(LinksForPort(port));
  steps.WriteFinishMarker();
}

}  // namespace orv
