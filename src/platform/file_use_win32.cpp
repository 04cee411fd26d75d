#include "platform/file_use_win32.h"

#include <restartmanager.h>

#include <algorithm>
#include <cwchar>
#include <vector>

#include "platform/sized_text_win32.h"
#include "platform/system_library_win32.h"
#include "platform/text_win32.h"
#include "platform/unique_handle_win32.h"

namespace orv {
namespace {

using RmStartSessionFn = DWORD(WINAPI*)(DWORD*, DWORD, WCHAR*);
using RmRegisterResourcesFn = DWORD(WINAPI*)(DWORD, UINT, LPCWSTR*, UINT, RM_UNIQUE_PROCESS*, UINT,
                                             LPCWSTR*);
using RmGetListFn = DWORD(WINAPI*)(DWORD, UINT*, UINT*, RM_PROCESS_INFO*, LPDWORD);
using RmEndSessionFn = DWORD(WINAPI*)(DWORD);

// The list of holders can grow between the call that sizes it and the call that fills it.
constexpr int kListAttempts = 3;

// A Restart Manager session, ended by its owner.
class RestartManagerSession {
 public:
  RestartManagerSession(RmStartSessionFn start, RmEndSessionFn end) : end_(end) {
    WCHAR key[CCH_RM_SESSION_KEY + 1] = {};
    started_ = start(&handle_, 0, key) == ERROR_SUCCESS;
  }
  ~RestartManagerSession() {
    if (started_)
      end_(handle_);
  }
  RestartManagerSession(const RestartManagerSession&) = delete;
  RestartManagerSession& operator=(const RestartManagerSession&) = delete;

  bool started() const { return started_; }
  DWORD handle() const { return handle_; }

 private:
  RmEndSessionFn end_;
  DWORD handle_ = 0;
  bool started_ = false;
};

std::vector<RM_PROCESS_INFO> Holders(RmGetListFn getList, DWORD session) {
  std::vector<RM_PROCESS_INFO> holders;
  for (int attempt = 0; attempt < kListAttempts; ++attempt) {
    UINT needed = 0;
    UINT count = static_cast<UINT>(holders.size());
    DWORD reasons = 0;
    const DWORD result = getList(session, &needed, &count, holders.data(), &reasons);
    if (result == ERROR_SUCCESS) {
      holders.resize(count);
      return holders;
    }
    if (result != ERROR_MORE_DATA)
      break;
    holders.resize(needed);
  }
  return {};
}

}  // namespace

DWORD OpenForDeletionError(std::string_view path) noexcept {
  try {
    const UniqueFileHandle file(CreateFileW(Utf8ToWide(path).c_str(), DELETE, 0, nullptr,
                                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return file ? ERROR_SUCCESS : GetLastError();
  } catch (...) {
    return ERROR_OUTOFMEMORY;  // the path could not be converted: said as the system would
  }
}

std::string ProgramsUsingFile(std::string_view path) noexcept {
  try {
    const UniqueModule library = LoadSystemLibrary(L"rstrtmgr.dll");
    if (!library)
      return std::string();
    const auto start = LibraryFunction<RmStartSessionFn>(library.get(), "RmStartSession");
    const auto registerResources =
        LibraryFunction<RmRegisterResourcesFn>(library.get(), "RmRegisterResources");
    const auto getList = LibraryFunction<RmGetListFn>(library.get(), "RmGetList");
    const auto end = LibraryFunction<RmEndSessionFn>(library.get(), "RmEndSession");
    if (start == nullptr || registerResources == nullptr || getList == nullptr || end == nullptr)
      return std::string();

    const RestartManagerSession session(start, end);
    if (!session.started())
      return std::string();
    // The Restart Manager knows files by their full, plain path: the doubled separator that the
    // program's paths may carry is resolved first.
    const std::wstring given = Utf8ToWide(path);
    const std::optional<std::wstring> file = SizedText([&given](wchar_t* buffer, DWORD size) {
      return GetFullPathNameW(given.c_str(), size, buffer, nullptr);
    });
    if (!file)
      return std::string();
    LPCWSTR files[] = {file->c_str()};
    if (registerResources(session.handle(), 1, files, 0, nullptr, 0, nullptr) != ERROR_SUCCESS)
      return std::string();

    std::vector<std::wstring> names;
    for (const RM_PROCESS_INFO& holder : Holders(getList, session.handle())) {
      if (holder.Process.dwProcessId == GetCurrentProcessId())
        continue;
      const std::wstring name(holder.strAppName, wcsnlen(holder.strAppName, CCH_RM_MAX_APP_NAME));
      if (!name.empty() && std::find(names.begin(), names.end(), name) == names.end())
        names.push_back(name);
    }
    std::wstring joined;
    for (const std::wstring& name : names)
      joined += (joined.empty() ? L"" : L"、") + name;
    return WideToUtf8(joined);
  } catch (...) {
    // The holders cannot be named: the advice then speaks of "another program".
    return std::string();
  }
}

}  // namespace orv
