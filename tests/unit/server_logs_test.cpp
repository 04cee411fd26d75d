// The servers' error logs: where each one is, and which of its lines say why a server did not
// come up. The sample lines follow the formats the servers' own manuals give for each release.
#include "watch/server_logs.h"

#include <gtest/gtest.h>

namespace orv {
namespace {

using Kind = LogPlace::Kind;
using Lines = std::vector<std::string>;

LogPlace Database(const DatabaseFileOptions& options,
                  std::optional<ServerVersion> version = ServerVersion{5, 1}) {
  return DatabaseErrorLogPlace(options, "C:\\web\\local\\mysql5\\bin\\mysqld.exe", "PC-01.corp",
                               version);
}

TEST(DatabaseErrorLogPlace, FollowsTheServersDefaultsAndOptions) {
  // No option: "<host>.err" (cut at the host's first ".") in "<basedir>\data", the base folder
  // being the parent of the executable's folder.
  EXPECT_EQ(Database({}).path, "C:\\web\\local\\mysql5\\data\\PC-01.err");
  DatabaseFileOptions options;
  options.logError = "";
  EXPECT_EQ(Database(options).path, "C:\\web\\local\\mysql5\\data\\PC-01.err");
  options.pidFile = "D:\\run\\server.pid";  // only its name counts, in the data folder
  EXPECT_EQ(Database(options).path, "C:\\web\\local\\mysql5\\data\\server.err");
  // A named file: inside the data folder unless full, ".err" added where it has no extension.
  options.logError = "logs/mysql";
  EXPECT_EQ(Database(options).path, "C:\\web\\local\\mysql5\\data\\logs\\mysql.err");
  options.logError = "..\\mysql.log";
  EXPECT_EQ(Database(options).path, "C:\\web\\local\\mysql5\\mysql.log");
  options.logError = "E:/logs/db.txt";
  EXPECT_EQ(Database(options).path, "E:\\logs\\db.txt");
  // The data folder: a relative one lies in the base folder, which "basedir" may move.
  options = {};
  options.baseDir = "D:\\db";
  options.dataDir = "store";
  EXPECT_EQ(Database(options).path, "D:\\db\\store\\PC-01.err");
  options.dataDir = "\\\\server\\share\\data";
  EXPECT_EQ(Database(options).path, "\\\\server\\share\\data\\PC-01.err");
  // A relative base folder depends on where the server runs; an include that was not read hides
  // the options.
  options.baseDir = "db";
  EXPECT_EQ(Database(options).kind, Kind::kUnknown);
  options = {};
  options.unknown = true;
  EXPECT_EQ(Database(options).kind, Kind::kUnknown);
}

TEST(DatabaseErrorLogPlace, TheConsoleTakesTheLogFrom57OnOrWithoutLogError) {
  DatabaseFileOptions options;
  options.console = true;
  EXPECT_EQ(Database(options, ServerVersion{5, 5}).kind, Kind::kNoFile);
  options.logError = "db.err";
  EXPECT_EQ(Database(options, ServerVersion{5, 6}).path, "C:\\web\\local\\mysql5\\data\\db.err");
  EXPECT_EQ(Database(options, std::nullopt).kind, Kind::kFile);
  EXPECT_EQ(Database(options, ServerVersion{5, 7}).kind, Kind::kNoFile);
}

TEST(WebErrorLogPlace, TheMainServersErrorLogInsideServerRoot) {
  constexpr std::string_view kRoot = "C:\\web\\local\\Apache2";
  EXPECT_EQ(WebErrorLogPlace("Listen 80\r\n", kRoot).path,
            "C:\\web\\local\\Apache2\\logs\\error.log");
  EXPECT_EQ(
      WebErrorLogPlace("ServerRoot \"D:/b/local/Apache2\"\r\nerrorlog logs/e.log\r\n", kRoot).path,
      "D:\\b\\local\\Apache2\\logs\\e.log");
  // Quoted with blanks; the last one of the main server counts, not a virtual host's.
  EXPECT_EQ(WebErrorLogPlace("ErrorLog x.log\n  ErrorLog \"my logs/err.log\"\n"
                             "<VirtualHost *:80>\nErrorLog \"logs/site.log\"\n</VirtualHost>\n"
                             "# ErrorLog commented.log\n",
                             kRoot)
                .path,
            "C:\\web\\local\\Apache2\\my logs\\err.log");
  // A path from the drive's root, and a full one.
  EXPECT_EQ(WebErrorLogPlace("ErrorLog /logs/e.log\n", kRoot).path, "C:\\logs\\e.log");
  EXPECT_EQ(WebErrorLogPlace("ErrorLog \"E:\\\\x\\\\e.log\"\n", kRoot).path, "E:\\x\\e.log");
  // Piped logs and the system log are no file; a relative ServerRoot is not known.
  EXPECT_EQ(WebErrorLogPlace("ErrorLog \"|bin/rotatelogs.exe logs/e.%Y 86400\"\n", kRoot).kind,
            Kind::kNoFile);
  EXPECT_EQ(WebErrorLogPlace("ErrorLog syslog:local1\n", kRoot).kind, Kind::kNoFile);
  EXPECT_EQ(WebErrorLogPlace("ServerRoot Apache2\n", kRoot).kind, Kind::kUnknown);
}

// The script started at 2009-11-18 12:30:00 local time, 04:30:00 UTC.
LogSince Since(std::optional<uint64_t> sizeAtStart = std::nullopt, uint64_t textOffset = 0) {
  LogSince since;
  since.local = CivilTime{2009, 11, 18, 12, 30, 0};
  since.utc = CivilTime{2009, 11, 18, 4, 30, 0};
  since.sizeAtStart = sizeAtStart;
  since.textOffset = textOffset;
  return since;
}

TEST(ExcerptOfLog, DatabaseReleases50To55WithTheirShortStampsAndTheEnginesLines) {
  // 5.1 and 5.5 (the same stamp; its hour padded with a blank): an earlier run's lines and the
  // notes of this one are left out, and the first error is the cause.
  const LogExcerpt bind = ExcerptOfLog(
      "091118  9:05:12 [ERROR] Can't start server: Bind on TCP/IP port: No such file or directory\n"
      "091118 12:30:01 [Note] Plugin 'FEDERATED' is disabled.\r\n"
      "091118 12:30:01  InnoDB: Started; log sequence number 0 46409\r\n"
      "091118 12:30:02 [ERROR] Can't start server: Bind on TCP/IP port: No such file or "
      "directory\r\n"
      "091118 12:30:02 [ERROR] Do you already have another mysqld server running on port: 3306 "
      "?\r\n"
      "091118 12:30:02 [ERROR] Aborting\r\n"
      "\r\n"
      "091118 12:30:02 [Note] C:\\web\\local\\mysql5\\bin\\mysqld.exe: Shutdown complete\r\n",
      Since(), LeadBytes::CodePage936());
  EXPECT_EQ(bind.cause, "Can't start server: Bind on TCP/IP port: No such file or directory");
  EXPECT_EQ(bind.lines, (Lines{"Can't start server: Bind on TCP/IP port: No such file or directory",
                               "Do you already have another mysqld server running on port: 3306 ?",
                               "Aborting"}));
  // A data folder the server cannot write to (5.1): the warning that names the file says more
  // than the error that the server ends.
  EXPECT_EQ(ExcerptOfLog("091118 12:30:01 [Warning] Can't create test file "
                         "C:\\web\\local\\mysql5\\data\\PC.lower-test\n"
                         "091118 12:30:01 [ERROR] Aborting\n",
                         Since(), LeadBytes())
                .cause,
            "Can't create test file C:\\web\\local\\mysql5\\data\\PC.lower-test");
  // 5.0: the storage engine's lines without a stamp belong to the stamped line before them;
  // its advice with a link says nothing. A 5.1 start banner goes with its note.
  const LogExcerpt locked = ExcerptOfLog(
      "091117 23:00:00  InnoDB: Operating system error number 2 in a file operation.\n"
      "InnoDB: File name .\\ibdata1\n"
      "091118 12:30:05  InnoDB: Operating system error number 32 in a file operation.\n"
      "InnoDB: Some operating system error numbers are described at\n"
      "InnoDB: http://dev.mysql.com/doc/refman/5.0/en/operating-system-error-codes.html\n"
      "InnoDB: File name .\\ibdata1\n"
      "InnoDB: File operation call: 'open'.\n"
      "InnoDB: Cannot continue operation.\n"
      "091118 12:30:06 [Note] C:\\web\\local\\mysql5\\bin\\mysqld.exe: ready for connections.\n"
      "Version: '5.1.73-community'  socket: ''  port: 3306  MySQL Community Server (GPL)\n",
      Since(), LeadBytes());
  EXPECT_EQ(locked.cause, "Operating system error number 32 in a file operation.");
  EXPECT_EQ(locked.lines,
            (Lines{"InnoDB: Operating system error number 32 in a file operation.",
                   "InnoDB: File name .\\ibdata1", "InnoDB: File operation call: 'open'.",
                   "InnoDB: Cannot continue operation."}));
}

TEST(ExcerptOfLog, DatabaseReleases56And57WithTheirLongStamps) {
  // 5.6: local time and the thread's number; the engine retries its lock, and says so each time.
  const LogExcerpt locked = ExcerptOfLog(
      "2009-11-18 12:29:59 4524 [ERROR] InnoDB: Unable to lock .\\ibdata1, error: 33\n"
      "2009-11-18 12:30:00 4524 [Warning] Buffered warning: Changed limits: max_open_files: 2048\n"
      "2009-11-18 12:30:01 4524 [ERROR] InnoDB: Unable to lock .\\ibdata1, error: 32\n"
      "2009-11-18 12:30:02 4524 [ERROR] InnoDB: Unable to lock .\\ibdata1, error: 32\n"
      "2009-11-18 12:30:02 4524 [Note] InnoDB: Check that you do not already have another mysqld "
      "process using the same InnoDB data or log files.\n",
      Since(), LeadBytes());
  EXPECT_EQ(locked.lines, Lines{"InnoDB: Unable to lock .\\ibdata1, error: 32"});
  // 5.7: UTC ("Z") by default, or the local time with its offset; compared with the start in UTC.
  const LogExcerpt bind = ExcerptOfLog(
      "2009-11-18T04:29:59.999999Z 0 [ERROR] Can't open the mysql.plugin table.\n"
      "2009-11-18T04:30:01.123456Z 0 [Note] mysqld.exe (mysqld 5.7.44) starting as process 4524 "
      "...\n"
      "2009-11-18T04:30:01.523456Z 0 [Warning] Changed limits: table_open_cache: 431\n"
      "2009-11-18T12:30:02.000001+08:00 0 [ERROR] Do you already have another mysqld server "
      "running on port: 3306 ?\n"
      "2009-11-18T12:29:02.000001+08:00 0 [ERROR] Can't start server: Bind on TCP/IP port\n",
      Since(), LeadBytes());
  EXPECT_EQ(bind.cause, "Do you already have another mysqld server running on port: 3306 ?");
  EXPECT_EQ(bind.lines.size(), 1u);
}

TEST(ExcerptOfLog, WebServerReleases22And24AndItsServicesEventLogLines) {
  // 2.2: "[time] [level]"; the start banner is a notice.
  const LogExcerpt old = ExcerptOfLog(
      "[Wed Nov 18 12:30:01 2009] [notice] Apache/2.2.25 (Win32) configured -- resuming normal "
      "operations\n"
      "[Wed Nov 18 12:30:01 2009] [crit] (OS 10048)Only one usage of each socket address "
      "(protocol/network address/port) is normally permitted.  : make_sock: could not bind to "
      "address 0.0.0.0:80\n"
      "[Wed Nov 18 12:30:01 2009] [alert] no listening sockets available, shutting down\n"
      "[Wed Nov 18 12:30:01 2009] [error] Unable to open logs\n",
      Since(), LeadBytes(), {.lines = 2, .lineBytes = 240, .causeBytes = 200});
  ASSERT_EQ(old.lines.size(), 2u);
  // The cause starts with what it says; the system's text before it stays in the excerpt.
  EXPECT_EQ(old.cause, "make_sock: could not bind to address 0.0.0.0:80");
  EXPECT_EQ(old.lines[0],
            "(OS 10048)Only one usage of each socket address (protocol/network address/port) is "
            "normally permitted.  : make_sock: could not bind to address 0.0.0.0:80");
  // The two most telling, in the log's order.
  EXPECT_EQ(old.lines[1], "no listening sockets available, shutting down");
  // 2.4: "[time.usec] [module:level] [pid N:tid M]", an earlier day's lines left out.
  const LogExcerpt current = ExcerptOfLog(
      "[Tue Nov 17 12:30:01.000001 2009] [core:error] [pid 100:tid 200] AH00000: old\n"
      "[Wed Nov 18 12:30:01.123456 2009] [mpm_winnt:notice] [pid 4524:tid 404] AH00455: "
      "Apache/2.4.58 (Win64) configured -- resuming normal operations\n"
      "[Wed Nov 18 12:30:01.223456 2009] [core:alert] [pid 4524:tid 404] AH00451: no listening "
      "sockets available, shutting down\n",
      Since(), LeadBytes());
  EXPECT_EQ(current.lines, Lines{"AH00451: no listening sockets available, shutting down"});
  // The service's event log entries (2.2 and 2.4): the header says nothing, ">>> " goes; the
  // system's text in code page 936 (找不到指定的模块。) is kept, and the cause is cut between
  // characters.
  const std::string moduleMissing =
      "\xD5\xD2\xB2\xBB\xB5\xBD\xD6\xB8\xB6\xA8\xB5\xC4\xC4\xA3\xBF\xE9\xA1\xA3";
  const std::string cannotLoad =
      "Cannot load C:/web/local/Apache2/modules/php5apache2_2.dll into server: " + moduleMissing;
  const LogExcerpt events = ExcerptOfLog(
      "The Apache service named Apache2.4 reported the following error:\n"
      ">>> AH00526: Syntax error on line 128 of C:/web/local/Apache2/conf/httpd.conf:\n"
      ">>> " +
          cannotLoad + "\n",
      {}, LeadBytes::CodePage936(), {.lines = 6, .lineBytes = 240, .causeBytes = 79});
  EXPECT_EQ(events.lines,
            (Lines{"AH00526: Syntax error on line 128 of C:/web/local/Apache2/conf/httpd.conf:",
                   cannotLoad}));
  EXPECT_EQ(events.cause, "Syntax error on line 128 of C:/web/local/Apache2/conf/httpd.conf:");
  const LogExcerpt loadOnly =
      ExcerptOfLog(">>> " + cannotLoad + "\n", {}, LeadBytes::CodePage936(),
                   {.lines = 6, .lineBytes = 240, .causeBytes = cannotLoad.size() - 3});
  EXPECT_EQ(loadOnly.cause, cannotLoad.substr(0, cannotLoad.size() - 4));  // not half a character
  EXPECT_TRUE(loadOnly.causeCut);
}

TEST(ExcerptOfLog, WithoutStampsTheBytesSinceTheStartCount) {
  const std::string before = "InnoDB: Error: old\n";
  const std::string after = "InnoDB: Unable to lock ./ibdata1, error: 32\nInnoDB: Error: new\n";
  EXPECT_EQ(ExcerptOfLog(before + after, Since(before.size()), LeadBytes()).lines,
            (Lines{"InnoDB: Unable to lock ./ibdata1, error: 32", "InnoDB: Error: new"}));
  // A tail of the file: its first line may be cut, and is left out.
  EXPECT_EQ(ExcerptOfLog("an error: cut\n" + after, Since(500, 500), LeadBytes()).lines.size(), 2u);
  // A file shorter than at the start was replaced: all of it is new.
  EXPECT_EQ(ExcerptOfLog(before, Since(5000), LeadBytes()).lines, Lines{"InnoDB: Error: old"});
  // A stamped line is judged by its stamp, wherever it lies.
  EXPECT_TRUE(
      ExcerptOfLog(before + "091118 12:29:00 [ERROR] Aborting\n", Since(0), LeadBytes()).cause ==
      "InnoDB: Error: old");
  EXPECT_EQ(ExcerptOfLog("091118 12:31:00 [ERROR] x\n", Since(20), LeadBytes()).lines, Lines{"x"});
}

TEST(ExcerptOfLog, UntrustedBytesAreCleanedAndCut) {
  // Control characters go (the escape of a terminal sequence, a bell, a zero byte), a tab is a
  // blank; a lead byte without its second byte is dropped.
  constexpr char kRaw[] = "091118 12:30:01 [ERROR] a\x1B[2Jb\x07\tc\0d \xB5\n";
  const LogExcerpt excerpt =
      ExcerptOfLog(std::string(kRaw, sizeof(kRaw) - 1), Since(), LeadBytes::CodePage936());
  EXPECT_EQ(excerpt.lines, Lines{"a[2Jb cd"});
  // Long lines are cut at a character's start: "错" is 0xB4 0xED, and 0x5B ("[") as a second
  // byte does not start anything.
  std::string wide = "091118 12:30:01 [ERROR] ";
  for (int i = 0; i < 100; ++i)
    wide += "\xB4\xED";
  const LogExcerpt cut = ExcerptOfLog(wide + "\n", Since(), LeadBytes::CodePage936(),
                                      {.lines = 6, .lineBytes = 21, .causeBytes = 11});
  EXPECT_EQ(cut.lines, Lines{wide.substr(24, 20)});
  EXPECT_EQ(cut.cause, wide.substr(24, 10));
  EXPECT_TRUE(cut.causeCut);
  // A cause's words that would start on a character's second byte ("\x81S" is one character)
  // do not start the cause line.
  EXPECT_EQ(ExcerptOfLog("\x81Syntax error on line 1\n", {}, LeadBytes::CodePage936()).cause,
            "\x81Syntax error on line 1");
  // Nothing that says a cause: no cause.
  EXPECT_EQ(ExcerptOfLog("091118 12:30:01 [Note] Event Scheduler: Loaded 0 events\n", Since(),
                         LeadBytes())
                .cause,
            "");
}

}  // namespace
}  // namespace orv
