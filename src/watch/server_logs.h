#pragma once
// What the bundle's servers wrote about why they did not come up: where each one keeps its error
// log, and the lines of a log that say the cause. A log is not trusted input: its bytes stay in
// the code page they were written in (the system's ANSI code page; the caller converts them for
// display), control characters are dropped, long lines are cut at a character's start, and
// nothing in a log is executed or opened.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "configure/placeholder.h"
#include "watch/my_ini_port.h"

namespace orv {

// Where a server writes its error log.
struct LogPlace {
  enum class Kind {
    kFile,     // `path`, absolute
    kNoFile,   // the console, a piped log or the system log: no file to read
    kUnknown,  // the configuration does not tell (a relative base folder, an include not read)
  };
  Kind kind = Kind::kUnknown;
  std::string path;  // bytes in the code page of the configuration it was read from
};

// The database server's error log, from the options it reads (DatabaseFileOptionsFromMyIni),
// its executable `serverProgram` and the computer's host name (both in the options' code page),
// and its version where known. The rules of the server's 5.0 to 5.7 releases on Windows:
// - the base folder is "basedir", else the parent of the folder that holds the executable (the
//   server finds its base folder from its own path, whatever that folder is called); a relative
//   "basedir" is resolved in the folder the server runs in, which the file does not tell;
// - the data folder is "datadir", a relative one inside the base folder, else "<basedir>\data";
// - "log-error=FILE" is inside the data folder unless absolute, with ".err" added where its name
//   has no extension; without it, or without a file name, the log is "<host>.err" in the data
//   folder, or "<pid-file's name>.err" there where "pid-file" is set (the host name is cut at its
//   first "."; the server replaces everything from there by the extension);
// - "console" writes the log to the console instead: from 5.7 on always, before 5.7 only where
//   "log-error" is not given. Where the version is not known, the rule before 5.7 is taken.
LogPlace DatabaseErrorLogPlace(const DatabaseFileOptions& options, std::string_view serverProgram,
                               std::string_view hostName,
                               const std::optional<ServerVersion>& version);

// The web server's error log from its configuration file's bytes: the last "ErrorLog" of the
// main server (not inside <VirtualHost>), its argument quoted or not, relative to the last
// "ServerRoot" (else to `defaultServerRoot`, the parent of the folder of the server's executable,
// as the Windows server takes it); "logs\error.log" there without the directive. A piped log
// ("|..." ) or "syslog"/"syslog:..." is no file. A relative "ServerRoot" is unknown (it is taken
// in the folder the server runs in). Files that the configuration includes are not read.
LogPlace WebErrorLogPlace(std::string_view httpdConf, std::string_view defaultServerRoot);

// A civil date and time (no zone), to the second.
struct CivilTime {
  int year = 1970;
  int month = 1;  // 1 to 12
  int day = 1;    // 1 to 31
  int hour = 0;
  int minute = 0;
  int second = 0;
};

// Which part of a log was written since the install script started. A line counts by its own
// time stamp where it has one and the moment in its stamp's zone is known; a line without one
// belongs to the stamped line before it. Otherwise by its place in the file: at or after
// `sizeAtStart` (where the file is now shorter than that, it was replaced: all of it counts).
// Where neither tells, the line counts.
struct LogSince {
  std::optional<CivilTime> local;       // the script's start in local time
  std::optional<CivilTime> utc;         // the same moment in UTC
  std::optional<uint64_t> sizeAtStart;  // the file's size then (0 where it did not exist)
  uint64_t textOffset = 0;              // where the given bytes start in the file
};

struct ExcerptLimits {
  size_t lines = 6;         // lines in the excerpt at most
  size_t lineBytes = 240;   // bytes of a line at most
  size_t causeBytes = 120;  // bytes of the cause line at most
};

struct LogExcerpt {
  // The lines that say the cause, in the order written, without their time stamps, severities
  // and process numbers; a repeated line once. Where there are more than `lines`, the most
  // telling ones.
  std::vector<std::string> lines;
  // The most telling of them, cut to `causeBytes`; "" where no line says a cause.
  std::string cause;
  bool causeCut = false;  // the cause was cut: the caller may add an ellipsis
};

// The lines of a log's `bytes` that say why a server did not come up, written since `since`.
// Formats read: the database server's 5.0, 5.1 and 5.5 ("YYMMDD HH:MM:SS [ERROR] ..."), 5.6
// ("YYYY-MM-DD HH:MM:SS THREAD [ERROR] ..."), 5.7 ("YYYY-MM-DDTHH:MM:SS.uuuuuuZ THREAD [ERROR]",
// or with a "+hh:mm" offset) and its storage engine's lines ("InnoDB: ..."); the web server's 2.2
// ("[Wed Oct 11 14:32:52 2000] [error] ...") and 2.4 ("[Wed Oct 11 14:32:52.123456 2000]
// [core:error] [pid 1234:tid 5678] ..."); and lines without a stamp (what the web server's
// service wrote to the event log, EventLogText). Kept: errors, and other lines that name a port,
// a file or a module; not notes, start banners, nor warnings that name nothing. Where `bytes` is
// a tail (textOffset > 0), its first, partial line is skipped. `leads` is the code page's
// lead-byte rule, for cutting lines.
LogExcerpt ExcerptOfLog(std::string_view bytes, const LogSince& since, const LeadBytes& leads,
                        const ExcerptLimits& limits = {});

}  // namespace orv
