#include "watch/port_holder_win32.h"

// The IP helper's declarations after the prelude; the library itself is loaded at run time.
#include <iphlpapi.h>

#include <optional>

#include "bundle/app_folder.h"
#include "bundle/bundle_services_win32.h"
#include "bundle/path_identity_win32.h"
#include "platform/system_library_win32.h"
#include "platform/text_win32.h"
#include "platform/unique_handle_win32.h"

namespace orv {
namespace {

using GetExtendedTcpTableFn = DWORD(WINAPI*)(PVOID, PDWORD, BOOL, ULONG, TCP_TABLE_CLASS, ULONG);
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

// The rows of a table that `listens` accepts, as listening sockets (`owner` gives a row's
// process, or 0).
template <typename Table, typename Listens, typename Owner>
void TakeListeners(const std::optional<std::vector<unsigned char>>& buffer, Listens listens,
                   Owner owner, std::vector<ListeningSocket>& sockets) {
  if (!buffer)
    return;
  const auto* table = reinterpret_cast<const Table*>(buffer->data());
  for (DWORD i = 0; i < table->dwNumEntries; ++i) {
    const auto& row = table->table[i];
    if (listens(row))
      sockets.push_back({ntohs(static_cast<u_short>(row.dwLocalPort)), owner(row)});
  }
}

// The listening TCP sockets, IPv4 and IPv6 (a server that listens on IPv6 for both families, as
// MySQL's "*" does, is only in the IPv6 table), with their owning processes or without (the
// owners cost more to ask for than the ports alone).
TcpListeners ReadListeners(bool withOwners) noexcept {
  TcpListeners listeners;
  try {
    const UniqueModule library = LoadSystemLibrary(L"iphlpapi.dll");
    const auto getTable =
        library ? LibraryFunction<GetExtendedTcpTableFn>(library.get(), "GetExtendedTcpTable")
                : nullptr;
    const auto getTable6 =
        library ? LibraryFunction<GetTcp6TableFn>(library.get(), "GetTcp6Table") : nullptr;
    if (getTable == nullptr || getTable6 == nullptr)
      return listeners;
    const auto extended = [&](ULONG family, TCP_TABLE_CLASS kind) {
      return ReadTable(
          [&](void* data, DWORD* size) { return getTable(data, size, FALSE, family, kind, 0); });
    };
    const auto pid = [](const auto& row) { return static_cast<uint32_t>(row.dwOwningPid); };
    const auto none = [](const auto&) { return 0u; };
    const auto all = [](const auto&) { return true; };  // a table of listeners only
    std::optional<std::vector<unsigned char>> v4;
    std::optional<std::vector<unsigned char>> v6;
    if (withOwners) {
      v4 = extended(AF_INET, TCP_TABLE_OWNER_PID_LISTENER);
      v6 = extended(AF_INET6, TCP_TABLE_OWNER_PID_LISTENER);
      TakeListeners<MIB_TCPTABLE_OWNER_PID>(v4, all, pid, listeners.sockets);
      TakeListeners<MIB_TCP6TABLE_OWNER_PID>(v6, all, pid, listeners.sockets);
    } else {
      // The basic IPv6 table has no class of its own in GetExtendedTcpTable.
      v4 = extended(AF_INET, TCP_TABLE_BASIC_LISTENER);
      v6 = ReadTable([&](void* data, DWORD* size) {
        return getTable6(static_cast<PMIB_TCP6TABLE>(data), size, FALSE);
      });
      TakeListeners<MIB_TCPTABLE>(v4, all, none, listeners.sockets);
      TakeListeners<MIB_TCP6TABLE>(
          v6, [](const MIB_TCP6ROW& row) { return row.State == MIB_TCP_STATE_LISTEN; }, none,
          listeners.sockets);
    }
    listeners.complete = v4 && v6;
  } catch (...) {
    // Out of memory for a table: what was read stands, and it is not complete.
    listeners.complete = false;
  }
  return listeners;
}

}  // namespace

TcpListeners ListeningTcpPorts() noexcept {
  return ReadListeners(false);
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
    return FindPortHolder(ReadListeners(true).sockets, port, processes);
  } catch (...) {
    // A holder that cannot be learnt is unknown: the user is told that Windows did not say who.
    return {};
  }
}

}  // namespace orv
