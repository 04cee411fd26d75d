#include "watch/option_includes_win32.h"

#include <algorithm>

#include "configure/configure_bundle.h"
#include "platform/file_system_win32.h"
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

DatabaseEndpoint BundleDatabaseEndpoint(const std::string& appFolder) noexcept {
  try {
    SystemOptionIncludes includes;
    return DatabaseEndpointFromMyIni(ReadWholeFile(DatabaseOptionFilePath(appFolder)), includes);
  } catch (...) {
    return {};  // without my.ini there is no database to watch
  }
}

}  // namespace orv
