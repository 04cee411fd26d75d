#include "scan/port_probe.h"

// Placeholder until the probe engine lands: the window loads and probes nothing.
namespace orv {
void PortProbe::FormLoad() {}
void PortProbe::Scan() {}
void PortProbe::Stop() {}
void PortProbe::SocketConnected(int16_t) {}
void PortProbe::SocketFailed(int16_t) {}
void PortProbe::TimerTick() {}
void PortProbe::ProbeNextPort(int16_t) {}
}  // namespace orv
