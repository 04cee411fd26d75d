#include "platform/file_system_win32.h"

#include <algorithm>

#include "platform/failure.h"
#include "platform/system_error_win32.h"
#include "platform/text_win32.h"
#include "platform/unique_handle_win32.h"

namespace orv {
namespace {

constexpr int kLockedRetries = 20;
constexpr DWORD kLockedRetryDelayMs = 50;
constexpr DWORD kChunk = 1u << 20;

bool IsLockError(DWORD code) {
  return code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION ||
         code == ERROR_ACCESS_DENIED;
}

// Calls `attempt` (true on success, the error in GetLastError() otherwise) again while it fails on
// a lock, which an on-access scanner or an indexer holds for a moment on a file just made or
// changed. ERROR_SUCCESS, or the last error.
template <typename Attempt>
DWORD RetriedWhileLocked(Attempt attempt) {
  for (int tries = 0;; ++tries) {
    if (attempt())
      return ERROR_SUCCESS;
    const DWORD code = GetLastError();
    if (!IsLockError(code) || tries >= kLockedRetries)
      return code;
    Sleep(kLockedRetryDelayMs);
  }
}

}  // namespace

std::string_view FolderOf(std::string_view path) {
  const size_t slash = path.find_last_of("\\/");
  return slash == std::string_view::npos ? std::string_view() : path.substr(0, slash);
}

std::string ReadWholeFile(std::string_view path) {
  UniqueFileHandle file(CreateFileW(Utf8ToWide(path).c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file)
    ThrowLastError("打开文件", path, FileAction::kRead);
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.get(), &size))
    ThrowLastError("读取文件", path, FileAction::kRead);
  std::string bytes;
  bytes.resize(static_cast<size_t>(size.QuadPart));
  size_t done = 0;
  while (done < bytes.size()) {
    const DWORD want = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, kChunk));
    DWORD got = 0;
    if (!ReadFile(file.get(), bytes.data() + done, want, &got, nullptr)) {
      ThrowLastError("读取文件", path, FileAction::kRead);
    }
    if (got == 0)
      break;  // the file shrank while being read
    done += got;
  }
  bytes.resize(done);
  return bytes;
}

void ReplaceWholeFile(std::string_view path, std::string_view bytes) {
  const std::wstring target = Utf8ToWide(path);
  const DWORD attributes = GetFileAttributesW(target.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
      throw ErrorFailure("写入文件", path, ERROR_ACCESS_DENIED, FileAction::kWrite);
    }
    if (attributes & FILE_ATTRIBUTE_READONLY) {
      throw ErrorFailure("写入文件", path, ERROR_ACCESS_DENIED, FileAction::kWrite);
    }
  }

  std::wstring folder = Utf8ToWide(FolderOf(path));
  if (folder.empty())
    folder = L".";
  wchar_t temporary[MAX_PATH + 1] = {};
  if (folder.size() > MAX_PATH - 14 || !GetTempFileNameW(folder.c_str(), L"orv", 0, temporary)) {
    const DWORD code = folder.size() > MAX_PATH - 14 ? ERROR_FILENAME_EXCED_RANGE : GetLastError();
    throw ErrorFailure("写入文件", path, code, FileAction::kWrite);
  }

  // From here on the temporary file exists and is removed on every failure.
  DWORD failure = ERROR_SUCCESS;
  {
    // The file GetTempFileNameW has just made may be held by a scanner for a moment, like the
    // target in the final move.
    UniqueFileHandle file;
    failure = RetriedWhileLocked([&] {
      file.reset(CreateFileW(temporary, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
      return file.valid();
    });
    size_t done = 0;
    while (failure == ERROR_SUCCESS && done < bytes.size()) {
      const DWORD want = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, kChunk));
      DWORD wrote = 0;
      if (!WriteFile(file.get(), bytes.data() + done, want, &wrote, nullptr) || wrote == 0) {
        failure = GetLastError();
        if (failure == ERROR_SUCCESS)
          failure = ERROR_WRITE_FAULT;
      }
      done += wrote;
    }
    if (failure == ERROR_SUCCESS && !FlushFileBuffers(file.get()))
      failure = GetLastError();
  }
  if (failure == ERROR_SUCCESS) {
    failure = RetriedWhileLocked([&] {
      return MoveFileExW(temporary, target.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
    });
    if (failure == ERROR_SUCCESS)
      return;
  }
  DeleteFileW(temporary);
  throw ErrorFailure("写入文件", path, failure, FileAction::kWrite);
}

bool OrdinaryFileExists(std::string_view path) {
  WIN32_FIND_DATAW found{};
  UniqueFindHandle search(FindFirstFileW(Utf8ToWide(path).c_str(), &found));
  if (!search)
    return false;
  constexpr DWORD kNotOrdinary =
      FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  do {
    if ((found.dwFileAttributes & kNotOrdinary) == 0)
      return true;
  } while (FindNextFileW(search.get(), &found));
  return false;
}

}  // namespace orv
