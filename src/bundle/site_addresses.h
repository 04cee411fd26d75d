#pragma once
// The addresses of the bundle's two sites, in one place: the web's default port 80 is left out of
// an address (and of the "[port2]" placeholder), every other port is written into it. The window's
// links, the configuration's templates and the watch's requests all take them from here.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace orv {

// The two sites, in the order the window shows their links.
enum class SiteLink : int16_t { kQorn = 0, kZel = 1 };
inline constexpr std::array<SiteLink, 2> kSiteLinks = {SiteLink::kQorn, SiteLink::kZel};

// The links' captions before the address, and the port label's before the port.
inline constexpr std::string_view kQornCaption = "Dovrel访问网址：";
inline constexpr std::string_view kZelCaption = "Brenlit访问网址：";
inline constexpr std::string_view kFoundPortCaption = "当前可用端口：";

// What follows the host for `port`: "" for 80, ":81" for 81.
std::string PortSuffix(int32_t port);
// The host as the links name it: "localhost", "localhost:81".
std::string SiteHost(int32_t port);
// The site's path: "/qorn", "/zel".
std::string_view SitePath(SiteLink link);
// The site's name as its link's caption gives it ("Dovrel", "Brenlit").
std::string_view SiteName(SiteLink link);
// The address a click on the link opens: "http://localhost/qorn", "http://localhost:81/zel".
std::string SiteAddress(SiteLink link, int32_t port);
// The link's caption: its caption before the address, then the address.
std::string SiteCaption(SiteLink link, int32_t port);

}  // namespace orv
