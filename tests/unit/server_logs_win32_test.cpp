// The servers' logs on a real file system under Wine: the end of a log that a server holds open,
// the bundle's two log paths from its written configuration, the computer's name and the time.
// Wine's event log keeps no entries (its ReadEventLogW reports the end at once): reading it is
// tested for not failing, and an entry written here is checked only where the log keeps it.
#include "watch/server_logs_win32.h"

#include <gtest/gtest.h>

#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "platform/failure.h"
#include "platform/text_win32.h"
#include "platform/unique_handle_win32.h"

namespace orv {
namespace {

std::filesystem::path Fresh(const wchar_t* name) {
  const std::filesystem::path folder = std::filesystem::temp_directory_path() / name;
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  return folder;
}

void Write(const std::filesystem::path& path, const std::string& bytes) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string Utf8(const std::filesystem::path& path) {
  return WideToUtf8(path.wstring());
}

TEST(ReadLogTail, ReadsTheEndOfAFileThatItsServerHoldsOpen) {
  const std::filesystem::path folder = Fresh(L"orv logs 日志");
  const std::filesystem::path log = folder / L"PC.err";
  std::string bytes;
  for (int i = 0; bytes.size() < 200000; ++i)
    bytes += "091118 12:30:01 [Note] line " + std::to_string(i) + "\r\n";
  Write(log, bytes);
  // The server writes on with the sharing the C runtime gives: reading, writing and deleting by
  // others allowed.
  const UniqueFileHandle writer(CreateFileW(
      log.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(writer);
  const std::string more = "091118 12:30:02 [ERROR] Aborting\r\n";
  DWORD written = 0;
  ASSERT_TRUE(
      WriteFile(writer.get(), more.data(), static_cast<DWORD>(more.size()), &written, nullptr));
  bytes += more;

  const std::optional<LogTail> tail = ReadLogTail(Utf8(log), 1000);
  ASSERT_TRUE(tail);
  EXPECT_EQ(tail->fileSize, bytes.size());
  EXPECT_EQ(tail->offset, bytes.size() - 1000);
  EXPECT_EQ(tail->bytes, bytes.substr(bytes.size() - 1000));
  // A small file whole; a missing file or folder is no log yet.
  Write(folder / L"small.log", "abc");
  EXPECT_EQ(ReadLogTail(Utf8(folder / L"small.log"))->bytes, "abc");
  EXPECT_FALSE(ReadLogTail(Utf8(folder / L"none.err")));
  EXPECT_FALSE(ReadLogTail(Utf8(folder / L"no folder" / L"none.err")));
  // A folder is no file to read: said, with the path.
  EXPECT_THROW(ReadLogTail(Utf8(folder)), Failure);
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
}

TEST(LogMomentNow, LocalAndUtcTimeAndTheEventLogsSeconds) {
  const LogMoment now = LogMomentNow();
  EXPECT_NEAR(static_cast<double>(now.unixSeconds), static_cast<double>(std::time(nullptr)), 5);
  const std::time_t seconds = static_cast<std::time_t>(now.unixSeconds);
  const std::tm utc = *std::gmtime(&seconds);
  EXPECT_EQ(now.utc.year, utc.tm_year + 1900);
  EXPECT_EQ(now.utc.hour, utc.tm_hour);
  EXPECT_EQ(now.utc.minute, utc.tm_min);
  EXPECT_GE(now.local.year, 2020);
  const std::string host = ComputerHostName();
  EXPECT_FALSE(host.empty());
  EXPECT_EQ(host.find_first_of("\\/ "), std::string::npos) << host;
}

TEST(BundleLogPaths, FromTheWrittenConfiguration) {
  const std::filesystem::path bundle = Fresh(L"orv log bundle");
  const std::string folder = Utf8(bundle);
  // The bundle writes its folder into my.ini with doubled backslashes.
  std::string doubled;
  for (const char c : folder)
    doubled += c == '\\' ? std::string("\\\\") : std::string(1, c);
  Write(bundle / L"local" / L"mysql5" / L"my.ini",
        "[mysqld]\r\nport=3306\r\nbasedir=\"" + doubled + "\\\\local\\\\mysql5\"\r\n");
  EXPECT_EQ(BundleDatabaseLogPath(folder, {}),
            folder + "\\local\\mysql5\\data\\" +
                ComputerHostName().substr(0, ComputerHostName().find('.')) + ".err");
  Write(bundle / L"local" / L"mysql5" / L"my.ini",
        "[mysqld]\r\ndatadir=\"" + doubled + "\\\\db\"\r\nlog-error=mysql\r\n");
  EXPECT_EQ(BundleDatabaseLogPath(folder, {}), folder + "\\db\\mysql.err");
  Write(bundle / L"local" / L"mysql5" / L"my.ini", "[mysqld]\r\nconsole\r\n");
  EXPECT_FALSE(BundleDatabaseLogPath(folder, {}));

  EXPECT_FALSE(BundleWebLogPath(folder));  // no httpd.conf written yet
  Write(bundle / L"local" / L"Apache2" / L"conf" / L"httpd.conf",
        "ServerRoot \"" + folder + "\\local\\Apache2\"\r\nListen 80\r\n");
  EXPECT_EQ(BundleWebLogPath(folder), folder + "\\local\\Apache2\\logs\\error.log");
  Write(bundle / L"local" / L"Apache2" / L"conf" / L"httpd.conf",
        "ErrorLog \"|bin/rotatelogs.exe logs/error.%Y 86400\"\r\n");
  EXPECT_FALSE(BundleWebLogPath(folder));
  std::error_code ignored;
  std::filesystem::remove_all(bundle, ignored);
}

// A record as the event log service lays it out: the header, the source's and the computer's
// names, the strings, padding, and the length again.
std::vector<unsigned char> Record(const std::wstring& source, DWORD timeWritten,
                                  const std::vector<std::wstring>& strings) {
  std::wstring names = source + L'\0' + L"PC" + L'\0';
  std::wstring text;
  for (const std::wstring& string : strings)
    text += string + L'\0';
  EVENTLOGRECORD header{};
  header.Reserved = 0x654C664C;  // "LfLe"
  header.TimeGenerated = header.TimeWritten = timeWritten;
  header.EventID = 0xC0000000 | 3299;
  header.EventType = EVENTLOG_ERROR_TYPE;
  header.NumStrings = static_cast<WORD>(strings.size());
  header.StringOffset = static_cast<DWORD>(sizeof(header) + names.size() * sizeof(wchar_t));
  size_t length = header.StringOffset + text.size() * sizeof(wchar_t);
  length = (length + 3) / 4 * 4 + sizeof(DWORD);
  header.Length = static_cast<DWORD>(length);
  std::vector<unsigned char> record(length);
  std::memcpy(record.data(), &header, sizeof(header));
  std::memcpy(record.data() + sizeof(header), names.data(), names.size() * sizeof(wchar_t));
  std::memcpy(record.data() + header.StringOffset, text.data(), text.size() * sizeof(wchar_t));
  std::memcpy(record.data() + length - sizeof(DWORD), &header.Length, sizeof(DWORD));
  return record;
}

TEST(TakeEventRecords, TheSourcesEntriesUntilAnOlderOne) {
  // Newest first, as read backwards: another source's entry, ours, then ours before the moment.
  std::vector<unsigned char> buffer;
  for (const auto& record :
       {Record(L"Other", 1000, {L"x"}),
        Record(L"Apache2.4", 999,
               {L"The Apache service named Apache2.4 reported the following error:\r\n",
                L">>> Cannot load modules/mod_x.so into server: 找不到指定的模块。"}),
        Record(L"Apache2.4", 900, {L"old"})})
    buffer.insert(buffer.end(), record.begin(), record.end());
  std::vector<EventLogEntry> found;
  size_t records = 0;
  EXPECT_TRUE(
      TakeEventRecords(buffer.data(), buffer.size(), {"apache2.4"}, 950, 20, found, records));
  EXPECT_EQ(records, 3u);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].source, "Apache2.4");
  EXPECT_EQ(found[0].timeWritten, 999);
  EXPECT_EQ(found[0].eventId & 0xFFFF, 3299u);
  ASSERT_EQ(found[0].strings.size(), 2u);
  EXPECT_EQ(found[0].strings[1],
            ">>> Cannot load modules/mod_x.so into server: 找不到指定的模块。");
  // Without an older one, the next buffer is asked for; a cut record (the first one is 84 bytes)
  // ends the reading.
  found.clear();
  EXPECT_FALSE(
      TakeEventRecords(buffer.data(), buffer.size(), {"Apache2.4"}, 0, 20, found, records));
  EXPECT_EQ(found.size(), 2u);
  EXPECT_TRUE(TakeEventRecords(buffer.data(), 84 + 60, {"Apache2.4"}, 0, 20, found, records));
}

TEST(ApplicationEventsSince, ReadsTheEntriesOfASourceSinceAMoment) {
  const LogMoment start = LogMomentNow();
  const wchar_t* kSource = L"OrvLogsTest";
  const HANDLE source = RegisterEventSourceW(nullptr, kSource);
  ASSERT_NE(source, nullptr) << GetLastError();
  const wchar_t* strings[] = {L"The service named OrvLogsTest reported the following error:\r\n",
                              L">>> AH00526: Syntax error on line 3 of C:/x/httpd.conf:"};
  const bool reported =
      ReportEventW(source, EVENTLOG_ERROR_TYPE, 0, 3299, nullptr, 2, 0, strings, nullptr) != FALSE;
  DeregisterEventSource(source);
  std::vector<EventLogEntry> entries;
  ASSERT_NO_THROW(entries = ApplicationEventsSince({"orvlogstest"}, start.unixSeconds - 1));
  // Whether the log keeps entries at all is asked of it directly, not of the code under test.
  DWORD kept = 0;
  if (const HANDLE log = OpenEventLogW(nullptr, L"Application"); log != nullptr) {
    if (GetNumberOfEventLogRecords(log, &kept) == FALSE)
      kept = 0;
    CloseEventLog(log);
  }
  if (!reported || kept == 0)
    GTEST_SKIP()
        << "the event log keeps no entry here (Wine keeps none): only the read was checked";
  ASSERT_FALSE(entries.empty()) << kept << " entries in the log, none of this source read";
  ASSERT_EQ(entries.back().strings.size(), 2u);
  EXPECT_EQ(entries.back().eventId & 0xFFFF, 3299u);
  EXPECT_EQ(ExcerptOfLog(EventLogText(entries), {}, LeadBytes()).cause,
            "Syntax error on line 3 of C:/x/httpd.conf:");
  // Nothing of the source written before the moment asked.
  EXPECT_TRUE(ApplicationEventsSince({"OrvLogsTest"}, start.unixSeconds + 3600).empty());
}

}  // namespace
}  // namespace orv
