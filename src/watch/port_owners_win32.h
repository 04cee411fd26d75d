#pragma once
// What Windows tells about the ports that the watch cares for: whether something accepts a
// connection on a loopback port right now, and which program listens on a port.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/windows_prelude_win32.h"
#include "watch/port_holder.h"

namespace orv {

// The IPv4 sockets that listen, with their owning processes, from GetExtendedTcpTable (looked up
// at run time in the system's iphlpapi.dll). Empty where the system does not give the table.
std::vector<ListeningSocket> ListeningTcpSockets();

// Image paths of running processes, as far as this user may query them.
class SystemProcessImages final : public ProcessImages {
 public:
  std::optional<std::string> ImagePath(uint32_t processId) override;
};

// The holder of `port`, for the bundle in `appFolder` (UTF-8, trailing "\"). Never throws for
// lack of information: where Windows does not tell, the holder is unknown.
PortHolder HolderOfPort(int32_t port, const std::string& appFolder);

// True when a listener on 127.0.0.1 accepts a connection to `port`. A loopback connect is
// accepted or refused at once; one that gets no answer within `limitMs` (its packets dropped)
// counts as not accepted. Never throws: a connect that cannot be tried counts as not accepted.
bool LoopbackPortAccepts(int32_t port, DWORD limitMs);

}  // namespace orv
