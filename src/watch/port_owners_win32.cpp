#include "watch/port_owners_win32.h"

// The IP helper's declarations after the prelude; the library itself is loaded at run time.
#include <iphlpapi.h>

#include <optional>

#include "bundle/app_folder.h"
#include "bundle/path_identity_win32.h"
#include "platform/system_library_win32.h"
#include "platform/text_win32.h"
#include "platform/unique_handle_win32.h"
#include "watch/services_win32.h"

namespace orv {
namespace {

using GetExtendedTcpTableFn = DWORD(WINAPI*)(PVOID, PDWORD, BOOL, ULONG, TCP_TABLE_CLASS, ULONG);

// The listening sockets of one address family into `sockets`; false where the table is not given.
using GetTcp6TableFn = ULONG(WINAPI*)(PMIB_TCP6TABLE, PULONG, BOOL);

// A table filled by `fill(buffer, size)`, which may grow between the call that sizes it and the
// one that fills it; nothing where the system does not give it.
template <typename Fill>
std::optional<std::vector<unsigned char>> ReadTable(const Fill& fill) {
  std::vector<unsigned char> buffer;
  DWORD size = 0;
  DWORD result = ERROR_INSUFFICIENT_BUFFER;
  for (int attempt = 0; attempt < 4 && result == ERROR_INSUFFICIENT_BUFFER; ++attempt) {
    buffer.resize(size + 4096);
    size = static_cast<DWORD>(buffer.size());
    result = fill(buffer.data(), &size);
  }
  if (result != NO_ERROR)
    return std::nullopt;
  return buffer;
}

// The listening sockets of one address family into `sockets`; false where the table is not given.
template <typename Table>
bool ReadListeners(GetExtendedTcpTableFn getTable, ULONG family,
                   std::vector<ListeningSocket>& sockets) {
  const auto buffer = ReadTable([&](void* data, DWORD* size) {
    return getTable(data, size, FALSE, family, TCP_TABLE_OWNER_PID_LISTENER, 0);
  });
  if (!buffer)
    return false;
  const auto* table = reinterpret_cast<const Table*>(buffer->data());
  for (DWORD i = 0; i < table->dwNumEntries; ++i) {
    const auto& row = table->table[i];
    sockets.push_back({ntohs(static_cast<u_short>(row.dwLocalPort)), row.dwOwningPid});
  }
  return true;
}

// The listening sockets with their owning processes, IPv4 and IPv6 (the owners cost more to ask
// for than the ports alone).
std::vector<ListeningSocket> OwnedListeningSockets() noexcept {
  std::vector<ListeningSocket> sockets;
  try {
    const UniqueModule library = LoadSystemLibrary(L"iphlpapi.dll");
    const auto getTable =
        library ? LibraryFunction<GetExtendedTcpTableFn>(library.get(), "GetExtendedTcpTable")
                : nullptr;
    if (getTable == nullptr)
      return sockets;
    // A server that listens on IPv6 for both families (MySQL's "*") is only in the IPv6 table.
    ReadListeners<MIB_TCPTABLE_OWNER_PID>(getTable, AF_INET, sockets);
    ReadListeners<MIB_TCP6TABLE_OWNER_PID>(getTable, AF_INET6, sockets);
  } catch (...) {
    // What was read stands; an owner not read is not known.
  }
  return sockets;
}

}  // namespace

TcpListeners ListeningTcpPorts() noexcept {
  TcpListeners listeners;
  try {
    const UniqueModule library = LoadSystemLibrary(L"iphlpapi.dll");
    if (!library)
      return listeners;
    const auto getTable =
        LibraryFunction<GetExtendedTcpTableFn>(library.get(), "GetExtendedTcpTable");
    const auto getTable6 = LibraryFunction<GetTcp6TableFn>(library.get(), "GetTcp6Table");
    if (getTable == nullptr || getTable6 == nullptr)
      return listeners;
    const auto v4 = ReadTable([&](void* data, DWORD* size) {
      return getTable(data, size, FALSE, AF_INET, TCP_TABLE_BASIC_LISTENER, 0);
    });
    const auto v6 = ReadTable([&](void* data, DWORD* size) {
      return getTable6(static_cast<PMIB_TCP6TABLE>(data), size, FALSE);
    });
    if (v4) {
      const auto* table = reinterpret_cast<const MIB_TCPTABLE*>(v4->data());
      for (DWORD i = 0; i < table->dwNumEntries; ++i)
        listeners.sockets.push_back({ntohs(static_cast<u_short>(table->table[i].dwLocalPort)), 0});
    }
    if (v6) {
      const auto* table = reinterpret_cast<const MIB_TCP6TABLE*>(v6->data());
      for (DWORD i = 0; i < table->dwNumEntries; ++i) {
        const MIB_TCP6ROW& row = table->table[i];
        if (row.State == MIB_TCP_STATE_LISTEN)
          listeners.sockets.push_back({ntohs(static_cast<u_short>(row.dwLocalPort)), 0});
      }
    }
    listeners.complete = v4 && v6;
  } catch (...) {
    listeners.complete = false;
  }
  return listeners;
}

SystemProcessFacts::SystemProcessFacts(std::string appFolder) : appFolder_(std::move(appFolder)) {}

const std::vector<ServiceFacts>& SystemProcessFacts::Services() {
  if (!services_)
    services_ = ListServices(appFolder_, ServiceStates::kRunning);
  return *services_;
}

std::optional<ProcessImage> SystemProcessFacts::Image(uint32_t processId) {
  const UniqueKernelHandle process(
      OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
  if (!process)
    return std::nullopt;
  std::wstring path(32768, L'\0');
  DWORD length = static_cast<DWORD>(path.size());
  if (!QueryFullProcessImageNameW(process.get(), 0, path.data(), &length))
    return std::nullopt;
  path.resize(length);
  return ProcessImage{WideToUtf8(path), FolderIdentity(ServersFolderOf(appFolder_)).Holds(path)};
}

PortHolder HolderOfPort(int32_t port, const std::string& appFolder) noexcept {
  try {
    SystemProcessFacts processes(appFolder);
    return FindPortHolder(OwnedListeningSockets(), port, processes);
  } catch (...) {
    return {};
  }
}

}  // namespace orv
