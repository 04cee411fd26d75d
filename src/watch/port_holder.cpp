#include "watch/port_holder.h"

#include "platform/chinese_text.h"

namespace orv {
namespace {

// The process that the system's own services run in; the kernel's HTTP service listens for IIS
// and the other programs that share its ports.
constexpr uint32_t kSystemProcessId = 4;

std::string FileName(const std::string& path) {
  const size_t separator = path.find_last_of("\\/");
  return separator == std::string::npos ? path : path.substr(separator + 1);
}

// The services that run in `processId`, the bundle's first.
PortHolder ServiceHolder(const std::vector<ServiceFacts>& services, uint32_t processId) {
  const ServiceFacts* named = nullptr;
  for (const ServiceFacts& service : services) {
    if (service.processId != processId || service.state == kServiceStopped)
      continue;
    if (named == nullptr || (service.insideBundle && !named->insideBundle))
      named = &service;
  }
  if (named == nullptr)
    return {};
  const HolderKind kind = named->insideBundle ? HolderKind::kOwnBundle : HolderKind::kService;
  return {kind, ServiceTitle(*named), true};
}

}  // namespace

PortHolder FindPortHolder(const std::vector<ListeningSocket>& table, int32_t port,
                          ProcessFacts& processes) {
  for (const ListeningSocket& row : table) {
    if (row.port != port || row.processId == 0)
      continue;
    if (row.processId == kSystemProcessId)
      return {HolderKind::kSystem, {}, false};
    PortHolder holder = ServiceHolder(processes.Services(), row.processId);
    if (holder.kind != HolderKind::kUnknown)
      return holder;
    const std::optional<ProcessImage> image = processes.Image(row.processId);
    if (!image || image->path.empty())
      return {};  // a process the system does not name
    const HolderKind kind = image->insideBundle ? HolderKind::kOwnBundle : HolderKind::kProgram;
    return {kind, FileName(image->path), false};
  }
  return {};
}

bool TableListensOn(const std::vector<ListeningSocket>& table, int32_t port) {
  for (const ListeningSocket& row : table) {
    if (row.port == port)
      return true;
  }
  return false;
}

std::string HolderName(const PortHolder& holder) {
  switch (holder.kind) {
    case HolderKind::kSystem:
      return "系统的 HTTP 服务（IIS 等）";
    case HolderKind::kOwnBundle:
    case HolderKind::kService:
    case HolderKind::kProgram:
      // The services that share its process are not named: the user can act on the one named.
      return holder.service ? "服务“" + holder.name + "”" : holder.name;
    case HolderKind::kUnknown:
      break;
  }
  return {};
}

std::string PortHolderPendingText(int32_t port) {
  return "端口 " + std::to_string(port) + " 已被占用（正在查询是哪个程序…）";
}

std::string PortHolderText(int32_t port, const PortHolder& holder) {
  const std::string where = "端口 " + std::to_string(port);
  if (holder.kind == HolderKind::kOwnBundle)
    return JoinWords({where, "由本系统的", HolderName(holder), "使用（以前的配置留下的）"});
  if (holder.kind == HolderKind::kUnknown)
    return where + " 已被占用（无法确定是哪个程序）";
  return JoinWords({where, "已被", HolderName(holder), "占用"});
}

}  // namespace orv
