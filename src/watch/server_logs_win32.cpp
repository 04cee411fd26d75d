#include "watch/server_logs_win32.h"

#include <algorithm>
#include <cstring>

#include "bundle/app_folder.h"
#include "configure/configure_bundle.h"
#include "platform/failure.h"
#include "platform/file_system_win32.h"
#include "platform/system_error_win32.h"
#include "platform/text_win32.h"
#include "platform/unique_handle_win32.h"
#include "watch/my_ini_port_win32.h"

namespace orv {
namespace {

void CloseEventLogHandle(HANDLE log) noexcept {
  ::CloseEventLog(log);
}
using UniqueEventLog = UniqueResource<HANDLE, 0, CloseEventLogHandle>;

// The most ReadEventLogW takes in one buffer.
constexpr DWORD kMostEventBytes = 0x7FFFF;

bool IsMissing(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
         error == ERROR_INVALID_NAME || error == ERROR_BAD_NETPATH;
}

// Opens the log for reading without keeping its writer from writing, renaming or deleting it.
// An invalid handle where it does not exist; a Failure otherwise.
UniqueFileHandle OpenShared(const std::string& utf8Path) {
  UniqueFileHandle file(CreateFileW(Utf8ToWide(utf8Path).c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    const DWORD error = GetLastError();
    if (!IsMissing(error))
      throw ErrorFailure("打开日志文件", utf8Path, error, FileAction::kRead);
  }
  return file;
}

uint64_t SizeOf(HANDLE file, const std::string& utf8Path) {
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file, &size))
    ThrowLastError("读取日志文件的大小", utf8Path, FileAction::kRead);
  return static_cast<uint64_t>(size.QuadPart);
}

CivilTime CivilOf(const SYSTEMTIME& t) {
  return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
}

// A string of an entry: UTF-16 up to its terminating zero, not past `end`.
std::string EntryString(const wchar_t* text, const wchar_t* end) {
  const wchar_t* stop = std::find(text, end, L'\0');
  return WideToUtf8(std::wstring_view(text, static_cast<size_t>(stop - text)));
}

bool SameSource(const std::string& a, const std::string& b) {
  const std::wstring wideA = Utf8ToWide(a);
  const std::wstring wideB = Utf8ToWide(b);
  return CompareStringOrdinal(wideA.data(), static_cast<int>(wideA.size()), wideB.data(),
                              static_cast<int>(wideB.size()), TRUE) == CSTR_EQUAL;
}

}  // namespace

std::optional<LogTail> ReadLogTail(const std::string& utf8Path, size_t maxBytes) {
  const UniqueFileHandle file = OpenShared(utf8Path);
  if (!file)
    return std::nullopt;
  LogTail tail;
  tail.fileSize = SizeOf(file.get(), utf8Path);
  tail.offset = tail.fileSize > maxBytes ? tail.fileSize - maxBytes : 0;
  LARGE_INTEGER at{};
  at.QuadPart = static_cast<LONGLONG>(tail.offset);
  if (!SetFilePointerEx(file.get(), at, nullptr, FILE_BEGIN))
    ThrowLastError("读取日志文件", utf8Path, FileAction::kRead);
  tail.bytes.resize(static_cast<size_t>(tail.fileSize - tail.offset));
  size_t read = 0;
  // The server may write on meanwhile: what was there when the size was taken is read, and a
  // file cut shorter meanwhile ends the read early.
  while (read < tail.bytes.size()) {
    DWORD got = 0;
    const DWORD want = static_cast<DWORD>(std::min<size_t>(tail.bytes.size() - read, 1 << 20));
    if (!ReadFile(file.get(), tail.bytes.data() + read, want, &got, nullptr))
      ThrowLastError("读取日志文件", utf8Path, FileAction::kRead);
    if (got == 0)
      break;
    read += got;
  }
  tail.bytes.resize(read);
  return tail;
}

std::string ComputerHostName() {
  for (const COMPUTER_NAME_FORMAT format : {ComputerNameDnsHostname, ComputerNameNetBIOS}) {
    DWORD size = 0;
    GetComputerNameExW(format, nullptr, &size);
    if (size == 0)
      continue;
    std::wstring name(size, L'\0');
    if (GetComputerNameExW(format, name.data(), &size) && size > 0) {
      name.resize(size);
      return WideToUtf8(name);
    }
  }
  ThrowLastError("读取计算机名", "");
}

LogMoment LogMomentNow() noexcept {
  SYSTEMTIME utc{};
  SYSTEMTIME local{};
  GetSystemTime(&utc);
  GetLocalTime(&local);
  FILETIME file{};
  SystemTimeToFileTime(&utc, &file);
  ULARGE_INTEGER ticks{};
  ticks.LowPart = file.dwLowDateTime;
  ticks.HighPart = file.dwHighDateTime;
  // 100 ns ticks since 1601; 11644473600 s lie between 1601 and 1970.
  const int64_t unixSeconds = static_cast<int64_t>(ticks.QuadPart / 10000000) - 11644473600LL;
  return {CivilOf(local), CivilOf(utc), unixSeconds};
}

bool TakeEventRecords(const unsigned char* buffer, size_t size,
                      const std::vector<std::string>& sources, int64_t sinceUnixSeconds,
                      size_t maxEntries, std::vector<EventLogEntry>& found, size_t& records) {
  // The buffer holds whole records, each one's length first.
  for (size_t at = 0; at + sizeof(EVENTLOGRECORD) <= size;) {
    EVENTLOGRECORD record;
    std::memcpy(&record, buffer + at, sizeof(record));
    if (record.Length < sizeof(EVENTLOGRECORD) || at + record.Length > size)
      return true;  // not a record: nothing after it can be read either
    ++records;
    if (static_cast<int64_t>(record.TimeWritten) < sinceUnixSeconds)
      return true;
    // The strings are UTF-16 and need not lie at an even address in a copy of the buffer: each
    // record is copied out whole.
    std::vector<wchar_t> text((record.Length - sizeof(EVENTLOGRECORD)) / sizeof(wchar_t));
    std::memcpy(text.data(), buffer + at + sizeof(EVENTLOGRECORD), text.size() * sizeof(wchar_t));
    const wchar_t* end = text.data() + text.size();
    EventLogEntry entry;
    entry.source = EntryString(text.data(), end);
    const bool wanted = std::any_of(sources.begin(), sources.end(), [&entry](const auto& name) {
      return SameSource(name, entry.source);
    });
    if (wanted && record.StringOffset >= sizeof(EVENTLOGRECORD) &&
        record.StringOffset < record.Length) {
      entry.timeWritten = record.TimeWritten;
      entry.eventId = record.EventID;
      entry.type = record.EventType;
      const wchar_t* string =
          text.data() + (record.StringOffset - sizeof(EVENTLOGRECORD)) / sizeof(wchar_t);
      for (WORD i = 0; i < record.NumStrings && string < end; ++i) {
        entry.strings.push_back(EntryString(string, end));
        string = std::find(string, end, L'\0') + 1;
      }
      found.push_back(std::move(entry));
      if (found.size() >= maxEntries)
        return true;
    }
    at += record.Length;
  }
  return false;
}

std::vector<EventLogEntry> ApplicationEventsSince(const std::vector<std::string>& sources,
                                                  int64_t sinceUnixSeconds, size_t maxEntries,
                                                  size_t maxRecords) {
  const UniqueEventLog log(OpenEventLogW(nullptr, L"Application"));
  if (!log)
    ThrowLastError("打开 Windows 事件日志", "Application");
  std::vector<EventLogEntry> found;
  std::vector<unsigned char> buffer(64 * 1024);
  size_t records = 0;
  while (found.size() < maxEntries && records < maxRecords) {
    DWORD read = 0;
    DWORD needed = 0;
    if (!ReadEventLogW(log.get(), EVENTLOG_SEQUENTIAL_READ | EVENTLOG_BACKWARDS_READ, 0,
                       buffer.data(), static_cast<DWORD>(buffer.size()), &read, &needed)) {
      const DWORD error = GetLastError();
      if (error == ERROR_HANDLE_EOF)
        break;
      if (error == ERROR_INSUFFICIENT_BUFFER && needed > buffer.size() &&
          needed <= kMostEventBytes) {
        buffer.resize(needed);
        continue;
      }
      throw ErrorFailure("读取 Windows 事件日志", "Application", error);
    }
    if (read == 0)
      break;
    if (TakeEventRecords(buffer.data(), read, sources, sinceUnixSeconds, maxEntries, found,
                         records))
      break;
  }
  std::reverse(found.begin(), found.end());
  return found;
}

std::string EventLogText(const std::vector<EventLogEntry>& entries) {
  std::string text;
  for (const EventLogEntry& entry : entries) {
    for (const std::string& string : entry.strings) {
      text += Utf8ToAnsiWithDefaultChar(string);
      text += '\n';
    }
  }
  return text;
}

std::optional<std::string> BundleDatabaseLogPath(const std::string& appFolder,
                                                 const std::vector<ServiceFacts>& services) {
  try {
    const BundleDatabaseServer server = FindBundleDatabaseServer(appFolder, services);
    if (server.unknown)
      return std::nullopt;
    const std::string bytes = ReadWholeFile(server.optionFile);
    SystemOptionIncludes includes;
    const DatabaseFileOptions options = DatabaseFileOptionsFromMyIni(bytes, includes, server.start);
    if (options.noServer)
      return std::nullopt;
    const LogPlace place =
        DatabaseErrorLogPlace(options, Utf8ToAnsiStrict(server.serverProgram, "database server"),
                              Utf8ToAnsiWithDefaultChar(ComputerHostName()), server.start.version);
    if (place.kind != LogPlace::Kind::kFile)
      return std::nullopt;
    return WideToUtf8(AnsiToWide(place.path));
  } catch (...) {
    return std::nullopt;
  }
}

std::optional<std::string> BundleWebLogPath(const std::string& appFolder) {
  try {
    const auto httpdConf =
        std::find_if(Templates().begin(), Templates().end(),
                     [](const Template& entry) { return entry.output.ends_with("\\httpd.conf"); });
    if (httpdConf == Templates().end())
      return std::nullopt;
    const std::string bytes = ReadWholeFile(OutputPath(appFolder, *httpdConf));
    const std::string root =
        Utf8ToAnsiStrict(ServersFolderOf(appFolder) + "Apache2", "web server folder");
    const LogPlace place = WebErrorLogPlace(bytes, root);
    if (place.kind != LogPlace::Kind::kFile)
      return std::nullopt;
    return WideToUtf8(AnsiToWide(place.path));
  } catch (...) {
    return std::nullopt;
  }
}

}  // namespace orv
