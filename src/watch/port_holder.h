#pragma once
// Which program holds a TCP port, named from the system's table of listening sockets and their
// owning processes. Windows gives the table; the rules of naming are here, so that they can be
// played against any table.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orv {

// One listening socket of the table.
struct ListeningSocket {
  int32_t port = 0;
  uint32_t processId = 0;  // 0 where the system does not tell
};

// The full image path of a running process (UTF-8); nothing where the system does not give it.
class ProcessImages {
 public:
  virtual ~ProcessImages() = default;
  virtual std::optional<std::string> ImagePath(uint32_t processId) = 0;
};

enum class HolderKind {
  kUnknown,    // no row with an owner: the system does not tell
  kOwnBundle,  // a program of the bundle's own folder (a server of an earlier configuration)
  kSystem,     // the system process: the kernel's HTTP service, which IIS and others use
  kProgram,    // another program, named by its image
};

struct PortHolder {
  HolderKind kind = HolderKind::kUnknown;
  std::string image;  // kProgram and kOwnBundle: the image's file name, such as "mysqld.exe"
};

// The holder of `port` as the table tells; `appFolder` is the bundle's folder (UTF-8, with its
// trailing "\"), whose programs are the bundle's own. A row with a known owner wins over one
// without.
PortHolder FindPortHolder(const std::vector<ListeningSocket>& table, int32_t port,
                          std::string_view appFolder, ProcessImages& images);

// The holder as the user is told: the image's name, the system's HTTP service, or "another
// program" where the system does not tell.
std::string HolderName(const PortHolder& holder);

// What the port label's tooltip says about the port below the one found: who holds it, or that
// the bundle's own program does (from an earlier configuration, which is no conflict).
std::string PortHolderText(int32_t port, const PortHolder& holder);

}  // namespace orv
