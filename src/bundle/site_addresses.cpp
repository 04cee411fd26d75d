#include "bundle/site_addresses.h"

namespace orv {

std::string PortSuffix(int32_t port) {
  return port == 80 ? std::string() : ":" + std::to_string(port);
}

std::string SiteHost(int32_t port) {
  return "localhost" + PortSuffix(port);
}

std::string_view SitePath(SiteLink link) {
  return link == SiteLink::kQorn ? "/qorn" : "/zel";
}

std::string_view SiteName(SiteLink link) {
  return link == SiteLink::kQorn ? "Dovrel" : "Brenlit";
}

std::string SiteAddress(SiteLink link, int32_t port) {
  return "http://" + SiteHost(port) + std::string(SitePath(link));
}

std::string SiteCaption(SiteLink link, int32_t port) {
  return std::string(link == SiteLink::kQorn ? kQornCaption : kZelCaption) +
         SiteAddress(link, port);
}

}  // namespace orv
