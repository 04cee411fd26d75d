#include "bundle/bundle_location.h"

namespace orv {
namespace {

constexpr std::string_view kLongPrefix = "\\\\?\\";
constexpr std::string_view kLongUncPrefix = "\\\\?\\UNC\\";
// The system's namespace of DOS devices, where a substituted drive points.
constexpr std::string_view kDosDevicePrefix = "\\??\\";

bool IsLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

}  // namespace

std::string DriveRootOf(std::string_view folder) {
  if (folder.substr(0, kLongPrefix.size()) == kLongPrefix)
    folder.remove_prefix(kLongPrefix.size());
  if (folder.size() >= 3 && IsLetter(folder[0]) && folder[1] == ':' && folder[2] == '\\')
    return std::string(folder.substr(0, 3));
  return std::string();
}

std::string LocationProblem(std::string_view folder, const DriveFacts& drive) {
  std::string where;
  const std::string root = DriveRootOf(folder);
  if (root.empty()) {
    if (folder.substr(0, 2) == "\\\\" || folder.substr(0, kLongUncPrefix.size()) == kLongUncPrefix)
      where = "位于网络共享上";
  } else if (drive.remote) {
    where = "位于网络驱动器 " + root.substr(0, 2) + " 上";
  } else if (drive.dosDevice.substr(0, kDosDevicePrefix.size()) == kDosDevicePrefix) {
    where = "位于用 subst 映射的驱动器 " + root.substr(0, 2) + " 上（它指向“" +
            drive.dosDevice.substr(kDosDevicePrefix.size()) + "”）";
  }
  if (where.empty())
    return std::string();
  return "本系统的文件夹“" + std::string(folder) + "”" + where +
         "。以管理员身份运行的安装脚本，以及作为 Windows 服务运行的 Web 服务器和 MySQL "
         "数据库，都无法访问这样的位置，配置无法生效。重试无法解决此问题。请点击“取消”，"
         "把整个文件夹移到本地磁盘上（例如 D:\\ 下），再从那里启动本程序。";
}

}  // namespace orv
