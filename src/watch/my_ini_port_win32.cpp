#include "watch/my_ini_port_win32.h"

#include <algorithm>

#include "bundle/path_identity_win32.h"
#include "configure/configure_bundle.h"
#include "platform/failure.h"
#include "platform/file_system_win32.h"
#include "platform/system_library_win32.h"
#include "platform/text_win32.h"
#include "platform/unique_handle_win32.h"

namespace orv {
namespace {

bool EndsWithIgnoringCase(std::wstring_view name, std::wstring_view ending) {
  return name.size() > ending.size() &&
         CompareStringOrdinal(name.data() + name.size() - ending.size(),
                              static_cast<int>(ending.size()), ending.data(),
                              static_cast<int>(ending.size()), TRUE) == CSTR_EQUAL;
}

// A drive path ("C:\\..."), or a UNC one.
bool IsAbsolutePath(std::string_view path) {
  const bool drive = path.size() >= 3 && path[1] == ':' && (path[2] == '\\' || path[2] == '/');
  return drive || path.starts_with("\\\\") || path.starts_with("//");
}

}  // namespace

std::optional<std::string> SystemOptionIncludes::Read(const std::string& path) {
  try {
    return ReadWholeFile(WideToUtf8(AnsiToWide(path)));
  } catch (...) {
    return std::nullopt;
  }
}

std::optional<std::vector<std::string>> SystemOptionIncludes::OptionFilesIn(
    const std::string& folder) {
  std::wstring pattern = AnsiToWide(folder);
  if (pattern.empty())
    return std::nullopt;
  if (pattern.back() != L'\\' && pattern.back() != L'/')
    pattern += L'\\';
  pattern += L'*';
  WIN32_FIND_DATAW found{};
  const UniqueFindHandle search(FindFirstFileW(pattern.c_str(), &found));
  if (!search)
    return GetLastError() == ERROR_FILE_NOT_FOUND ? std::optional(std::vector<std::string>{})
                                                  : std::nullopt;
  std::vector<std::wstring> names;
  do {
    const std::wstring_view name = found.cFileName;
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
        (EndsWithIgnoringCase(name, L".cnf") || EndsWithIgnoringCase(name, L".ini")))
      names.emplace_back(name);
  } while (FindNextFileW(search.get(), &found));
  // A listing that broke off is not the folder's whole content.
  if (GetLastError() != ERROR_NO_MORE_FILES)
    return std::nullopt;
  // The server takes them in the order of their names.
  std::sort(names.begin(), names.end(), [](const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                                static_cast<int>(b.size()), TRUE) == CSTR_LESS_THAN;
  });
  std::vector<std::string> result;
  for (const std::wstring& name : names)
    result.push_back(WideToAnsiStrict(name, "option file name"));
  return result;
}

std::optional<ServerVersion> ExecutableVersion(const std::string& utf8Path) noexcept {
  try {
    using SizeFn = DWORD(WINAPI*)(LPCWSTR, LPDWORD);
    using InfoFn = BOOL(WINAPI*)(LPCWSTR, DWORD, DWORD, LPVOID);
    using QueryFn = BOOL(WINAPI*)(LPCVOID, LPCWSTR, LPVOID*, PUINT);
    const UniqueModule library = LoadSystemLibrary(L"version.dll");
    if (!library)
      return std::nullopt;
    const auto size = LibraryFunction<SizeFn>(library.get(), "GetFileVersionInfoSizeW");
    const auto info = LibraryFunction<InfoFn>(library.get(), "GetFileVersionInfoW");
    const auto query = LibraryFunction<QueryFn>(library.get(), "VerQueryValueW");
    if (size == nullptr || info == nullptr || query == nullptr)
      return std::nullopt;
    const std::wstring path = Utf8ToWide(utf8Path);
    DWORD ignored = 0;
    const DWORD bytes = size(path.c_str(), &ignored);
    if (bytes == 0)
      return std::nullopt;  // no version resource, or no such file
    std::vector<unsigned char> block(bytes);
    if (!info(path.c_str(), 0, bytes, block.data()))
      return std::nullopt;
    void* value = nullptr;
    UINT length = 0;
    if (!query(block.data(), L"\\", &value, &length) || value == nullptr ||
        length < sizeof(VS_FIXEDFILEINFO))
      return std::nullopt;
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
    if (fixed->dwSignature != 0xFEEF04BD)
      return std::nullopt;
    return ServerVersion{HIWORD(fixed->dwFileVersionMS), LOWORD(fixed->dwFileVersionMS)};
  } catch (...) {
    return std::nullopt;
  }
}

BundleDatabaseServer FindBundleDatabaseServer(const std::string& appFolder,
                                              const std::vector<ServiceFacts>& services) {
  BundleDatabaseServer found;
  found.optionFile = DatabaseOptionFilePath(appFolder);
  const std::string databaseFolder =
      found.optionFile.substr(0, found.optionFile.find_last_of('\\') + 1);
  found.serverProgram = databaseFolder + "bin\\mysqld.exe";
  const FolderIdentity database(databaseFolder);
  const ServiceFacts* service = BundleDatabaseService(
      services, [&database](const std::string& path) { return database.Holds(path); });
  if (service != nullptr) {
    found.serverProgram = service->binaryPath;
    const ServerCommandLine commandLine = ReadServerCommandLine(service->commandLine);
    if (commandLine.defaultsFile) {
      found.unknown = !IsAbsolutePath(*commandLine.defaultsFile);
      found.optionFile = *commandLine.defaultsFile;
    }
    try {
      found.start.serviceName = Utf8ToAnsiStrict(commandLine.serviceName, "service name");
    } catch (const Failure&) {
      // A name with no ANSI form matches no group of the ANSI option file.
    }
  }
  found.start.version = ExecutableVersion(found.serverProgram);
  return found;
}

DatabaseEndpoint BundleDatabaseEndpoint(const std::string& appFolder,
                                        const std::vector<ServiceFacts>& services) noexcept {
  try {
    const BundleDatabaseServer server = FindBundleDatabaseServer(appFolder, services);
    if (server.unknown)
      return {DatabaseEndpoint::Kind::kUnknown};
    std::string bytes;
    try {
      bytes = ReadWholeFile(server.optionFile);
    } catch (const Failure&) {
      return {};  // without its option file there is no database to watch
    }
    SystemOptionIncludes includes;
    return DatabaseEndpointFromMyIni(bytes, includes, server.start);
  } catch (...) {
    return {DatabaseEndpoint::Kind::kUnknown};
  }
}

}  // namespace orv
