#pragma once
// What Windows tells about the ports that the watch cares for: which sockets listen, and which
// program, service or system part holds a port.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/windows_prelude_win32.h"
#include "watch/port_holder.h"

namespace orv {

// The TCP ports that listen, IPv4 and IPv6, without their owners (every process id 0), from the
// tables that do not name them (GetExtendedTcpTable's basic one, GetTcp6Table; looked up at run
// time in the system's iphlpapi.dll): asking Windows for the owners costs more, and under Wine
// about 0.8 s a family with a thousand listeners.
struct TcpListeners {
  std::vector<ListeningSocket> sockets;
  bool complete = false;  // both families' tables were read: a port not among them has no listener
};
TcpListeners ListeningTcpPorts() noexcept;

// The processes behind a port, for the bundle in `appFolder`: the services (ListServices, asked
// once, when first needed) and the images of processes, as far as this user may open them.
class SystemProcessFacts final : public ProcessFacts {
 public:
  explicit SystemProcessFacts(std::string appFolder);
  const std::vector<ServiceFacts>& Services() override;
  std::optional<ProcessImage> Image(uint32_t processId) override;

 private:
  std::string appFolder_;
  std::optional<std::vector<ServiceFacts>> services_;
};

// The holder of `port`, from the listening sockets with their owners read now, for the bundle in
// `appFolder` (UTF-8, trailing "\"). Never throws: where Windows does not tell, the holder is
// unknown.
PortHolder HolderOfPort(int32_t port, const std::string& appFolder) noexcept;

}  // namespace orv
