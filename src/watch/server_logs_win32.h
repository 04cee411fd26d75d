#pragma once
// The servers' logs as Windows holds them: the end of a log file, its size, the computer's name
// that the database server names its log after, the Application event log's entries of the web
// server's service, and where the bundle's two servers write their logs. Everything here may wait
// on a disk or on the event log service: call it off the window's thread.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "bundle/bundle_services.h"
#include "watch/server_logs.h"

namespace orv {

// How much of a log's end is read: enough for the lines of one failed start, however large the
// log has grown.
inline constexpr size_t kLogTailBytes = 64 * 1024;

// The last bytes of a log file.
struct LogTail {
  std::string bytes;      // the file's last bytes, at most the number asked for
  uint64_t offset = 0;    // where they start in the file
  uint64_t fileSize = 0;  // the file's size when it was read
};

// Reads at most `maxBytes` from the end of the file at `utf8Path`. The file is opened for reading
// only and shared for reading, writing and deleting, so that a running server goes on writing,
// renaming or removing it. Nothing where the file or its folder does not exist; a Failure that
// names the path and the system's text where it cannot be opened or read otherwise.
std::optional<LogTail> ReadLogTail(const std::string& utf8Path, size_t maxBytes = kLogTailBytes);

// This computer's host name as the database server takes it for "<host>.err" (the DNS host name,
// which the server's host name lookup gives; the NetBIOS name where that is not known), UTF-8.
// A Failure where the system tells neither.
std::string ComputerHostName();

// The moment now, in the forms the logs' stamps and the event log use.
struct LogMoment {
  CivilTime local;
  CivilTime utc;
  int64_t unixSeconds = 0;  // seconds since 1970-01-01 UTC, as the event log counts
};
LogMoment LogMomentNow() noexcept;

// An entry of the Application event log.
struct EventLogEntry {
  int64_t timeWritten = 0;  // seconds since 1970-01-01 UTC
  uint32_t eventId = 0;
  uint16_t type = 0;  // EVENTLOG_ERROR_TYPE, EVENTLOG_WARNING_TYPE, ...
  std::string source;
  // The strings the entry holds (UTF-8): the text that the source's message file would put into
  // its message. The message file itself is not read: it may be gone with the server.
  std::vector<std::string> strings;
};

// The Application log's entries written at or after `sinceUnixSeconds` by one of `sources` (letter
// case ignored; the web server's service writes under its service name, older releases under its
// display name: give both), oldest first. Read from the newest backwards, stopping at the first
// entry older than that, after `maxEntries` matching entries or after `maxRecords` read in all.
// Any user may read this log. A Failure that names the log where it cannot be opened or read.
std::vector<EventLogEntry> ApplicationEventsSince(const std::vector<std::string>& sources,
                                                  int64_t sinceUnixSeconds, size_t maxEntries = 20,
                                                  size_t maxRecords = 2000);

// One buffer of records as ReadEventLogW fills it (`size` bytes, newest first when read
// backwards): the entries of `sources` are appended to `found`. True where reading should stop:
// at a record older than `sinceUnixSeconds`, at `maxEntries` found, or at bytes that are no whole
// record. `records` counts the records read.
bool TakeEventRecords(const unsigned char* buffer, size_t size,
                      const std::vector<std::string>& sources, int64_t sinceUnixSeconds,
                      size_t maxEntries, std::vector<EventLogEntry>& found, size_t& records);

// The entries' strings as the text of a log for ExcerptOfLog: each string on lines of its own, in
// the ANSI code page (a character it lacks becomes the system's default character), with no time
// stamps (the entries are of the script's run already).
std::string EventLogText(const std::vector<EventLogEntry>& entries);

// Where the bundle in `appFolder` (UTF-8, as ConfigureBundle takes it) has its database server
// write its error log: the option file, service, version and base folder found as
// BundleDatabaseEndpoint finds them, read by DatabaseErrorLogPlace with this computer's host name.
// A UTF-8 path; nothing where the server writes no file or the files do not tell. Never throws.
std::optional<std::string> BundleDatabaseLogPath(const std::string& appFolder,
                                                 const std::vector<ServiceFacts>& services);

// Where the bundle's web server writes its error log: the written local\Apache2\conf\httpd.conf
// read by WebErrorLogPlace, the server's default root being local\Apache2. A UTF-8 path; nothing
// where it writes no file, the configuration cannot be read or does not tell. Never throws.
std::optional<std::string> BundleWebLogPath(const std::string& appFolder);

}  // namespace orv
