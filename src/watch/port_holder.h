#pragma once
// Which program holds a TCP port, named from the system's table of listening sockets and their
// owning processes, then the services that run in that process, then its image. Windows gives the
// facts; the rules of naming are here, so that they can be played against any table.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "bundle/bundle_services.h"

namespace orv {

// One listening socket of the table.
struct ListeningSocket {
  int32_t port = 0;
  uint32_t processId = 0;  // 0 where the system does not tell
};

// A running process's image: its full path (UTF-8) and whether it lies inside the bundle's servers'
// folder (ServersFolderOf, by the path's identity, path_identity_win32.h).
struct ProcessImage {
  std::string path;
  bool insideBundle = false;
};

// What the system tells about the process that owns a port; asked only for an owner that the
// table names (not 0, not the system process).
class ProcessFacts {
 public:
  virtual ~ProcessFacts() = default;
  // Every service, with its process id where it runs (bundle_services_win32.h).
  virtual const std::vector<ServiceFacts>& Services() = 0;
  // The image of a process; nothing where this user may not open it.
  virtual std::optional<ProcessImage> Image(uint32_t processId) = 0;
};

enum class HolderKind {
  kUnknown,    // the system does not tell: no owner in the table, a process that is no service
               // and cannot be opened
  kOwnBundle,  // a service or a program of the bundle's own folder (an earlier configuration)
  kSystem,     // the system process: the kernel's HTTP service, which IIS and others use
  kService,    // another service, named by its display name
  kProgram,    // another program, named by its image's file name
};

struct PortHolder {
  HolderKind kind = HolderKind::kUnknown;
  std::string name;      // kService, kProgram, kOwnBundle: the display name or the image's name
  bool service = false;  // `name` is a service's (kService, and kOwnBundle by a service)
};

// The holder of `port` as the table tells: the first row of the port with a known owner (a row
// with an owner wins over one without). The system process is the kernel's HTTP service; another
// owner is looked up among the running services first (several in one process: the bundle's, or
// the first), then as an image.
PortHolder FindPortHolder(const std::vector<ListeningSocket>& table, int32_t port,
                          ProcessFacts& processes);

// True when the table has a listener on `port`.
bool TableListensOn(const std::vector<ListeningSocket>& table, int32_t port);

// The holder as the user is told: 服务“…”, the image's name, the system's HTTP service; "" for an
// unknown holder, whom nothing names.
std::string HolderName(const PortHolder& holder);

// What the port label's tooltip says while the holder of `port` is still being asked.
std::string PortHolderPendingText(int32_t port);

// What the port label's tooltip says about the port below the one found: who holds it, that
// Windows does not say who, or that the bundle's own service or program does (from an earlier
// configuration, which is no conflict).
std::string PortHolderText(int32_t port, const PortHolder& holder);

}  // namespace orv
