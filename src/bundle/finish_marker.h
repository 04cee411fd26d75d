#pragma once
// The completion marker: a plain file in the application folder whose presence alone means that
// the bundle has been configured. Its content is never read.

#include <string>
#include <string_view>

namespace orv::marker {

// Written under one spelling and looked up under another; the system matches names without
// regard to letter case, so both name the same file.
inline constexpr std::string_view kWriteName = "\\Finish.txt";
inline constexpr std::string_view kLookupName = "\\finish.txt";

// The one line the marker holds (UTF-8 here; written in the ANSI code page with CR LF).
inline constexpr std::string_view kLine = "已经安装！";

// The notice shown when the marker is present.
inline constexpr std::string_view kNoticeText =
    "已经正确配置Dovrel全文数据库。如果您想重新配置本系统，请先执行unstall.bat，然后删除finish."
    "txt文件，再执行Orvandimex.exe。";
inline constexpr std::string_view kNoticeTitle = "安装Dovrel全文数据库";

inline std::string WritePath(std::string_view appFolder) {
  return std::string(appFolder) + std::string(kWriteName);
}
inline std::string LookupPath(std::string_view appFolder) {
  return std::string(appFolder) + std::string(kLookupName);
}

}  // namespace orv::marker
