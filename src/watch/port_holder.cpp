#include "watch/port_holder.h"

namespace orv {
namespace {

// The process that the system's own services run in; the kernel's HTTP service listens for IIS
// and the other programs that share its ports.
constexpr uint32_t kSystemProcessId = 4;

char FoldCase(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : (c == '/' ? '\\' : c);
}

// Paths are compared as the file system does for ASCII letters; other characters must match.
bool StartsWithFolder(std::string_view path, std::string_view folder) {
  if (folder.empty() || path.size() <= folder.size())
    return false;
  for (size_t i = 0; i < folder.size(); ++i) {
    if (FoldCase(path[i]) != FoldCase(folder[i]))
      return false;
  }
  return true;
}

std::string FileName(const std::string& path) {
  const size_t separator = path.find_last_of("\\/");
  return separator == std::string::npos ? path : path.substr(separator + 1);
}

}  // namespace

PortHolder FindPortHolder(const std::vector<ListeningSocket>& table, int32_t port,
                          std::string_view appFolder, ProcessImages& images) {
  for (const ListeningSocket& row : table) {
    if (row.port != port || row.processId == 0)
      continue;
    if (row.processId == kSystemProcessId)
      return {HolderKind::kSystem, {}};
    const std::optional<std::string> path = images.ImagePath(row.processId);
    if (!path || path->empty())
      return {};  // a process the system does not name
    const HolderKind kind =
        StartsWithFolder(*path, appFolder) ? HolderKind::kOwnBundle : HolderKind::kProgram;
    return {kind, FileName(*path)};
  }
  return {};
}

std::string HolderName(const PortHolder& holder) {
  switch (holder.kind) {
    case HolderKind::kSystem:
      return "系统的 HTTP 服务（IIS 等）";
    case HolderKind::kOwnBundle:
    case HolderKind::kProgram:
      return holder.image;
    case HolderKind::kUnknown:
      break;
  }
  return "另一个程序";
}

std::string PortHolderText(int32_t port, const PortHolder& holder) {
  const std::string where = "端口 " + std::to_string(port);
  if (holder.kind == HolderKind::kOwnBundle)
    return where + " 由本捆绑包的 " + holder.image + " 使用（以前的配置留下的）";
  return where + " 已被 " + HolderName(holder) + " 占用";
}

}  // namespace orv
