#include "watch/port_owners_win32.h"

// The IP helper's declarations after the prelude; the library itself is loaded at run time.
#include <iphlpapi.h>

#include "bundle/path_identity_win32.h"
#include "platform/system_library_win32.h"
#include "platform/text_win32.h"
#include "platform/unique_handle_win32.h"
#include "watch/services_win32.h"

namespace orv {
namespace {

using GetExtendedTcpTableFn = DWORD(WINAPI*)(PVOID, PDWORD, BOOL, ULONG, TCP_TABLE_CLASS, ULONG);

// The listening sockets of one address family into `sockets`; false where the table is not given.
template <typename Table>
bool ReadListeners(GetExtendedTcpTableFn getTable, ULONG family,
                   std::vector<ListeningSocket>& sockets) {
  // The table may grow between the call that sizes it and the one that fills it.
  std::vector<unsigned char> buffer;
  DWORD size = 0;
  DWORD result = ERROR_INSUFFICIENT_BUFFER;
  for (int attempt = 0; attempt < 4 && result == ERROR_INSUFFICIENT_BUFFER; ++attempt) {
    buffer.resize(size + 4096);
    size = static_cast<DWORD>(buffer.size());
    result = getTable(buffer.data(), &size, FALSE, family, TCP_TABLE_OWNER_PID_LISTENER, 0);
  }
  if (result != NO_ERROR)
    return false;
  const auto* table = reinterpret_cast<const Table*>(buffer.data());
  for (DWORD i = 0; i < table->dwNumEntries; ++i) {
    const auto& row = table->table[i];
    sockets.push_back({ntohs(static_cast<u_short>(row.dwLocalPort)), row.dwOwningPid});
  }
  return true;
}

}  // namespace

TcpListeners ListeningTcpSockets() noexcept {
  TcpListeners listeners;
  try {
    const UniqueModule library = LoadSystemLibrary(L"iphlpapi.dll");
    const auto getTable =
        library ? LibraryFunction<GetExtendedTcpTableFn>(library.get(), "GetExtendedTcpTable")
                : nullptr;
    if (getTable == nullptr)
      return listeners;
    // A server that listens on IPv6 for both families (MySQL's "*") is only in the IPv6 table.
    const bool v4 = ReadListeners<MIB_TCPTABLE_OWNER_PID>(getTable, AF_INET, listeners.sockets);
    const bool v6 = ReadListeners<MIB_TCP6TABLE_OWNER_PID>(getTable, AF_INET6, listeners.sockets);
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
  return ProcessImage{WideToUtf8(path), FolderIdentity(appFolder_).Holds(path)};
}

PortHolder HolderOfPort(const std::vector<ListeningSocket>& table, int32_t port,
                        const std::string& appFolder) noexcept {
  try {
    SystemProcessFacts processes(appFolder);
    return FindPortHolder(table, port, processes);
  } catch (...) {
    return {};
  }
}

PortHolder HolderOfPort(int32_t port, const std::string& appFolder) noexcept {
  return HolderOfPort(ListeningTcpSockets().sockets, port, appFolder);
}

}  // namespace orv
