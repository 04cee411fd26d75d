#pragma once
// Where the bundle's database server listens, read from its option file the way the server reads
// it, so that the watch checks the port that the server really opens.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "bundle/bundle_services.h"

namespace orv {

// The files that "!include" and "!includedir" lines name. Paths are passed as the option file
// holds them (bytes in the system's ANSI code page), absolute and with single separators.
class OptionIncludes {
 public:
  virtual ~OptionIncludes() = default;
  // The file's bytes; nothing where it does not exist or cannot be read.
  virtual std::optional<std::string> Read(const std::string& path) = 0;
  // The names of the option files in the folder (those ending in ".cnf" or ".ini", letter case
  // ignored), in the order the server takes them; nothing where the folder does not exist.
  virtual std::optional<std::vector<std::string>> OptionFilesIn(const std::string& folder) = 0;
};

struct DatabaseEndpoint {
  enum class Kind {
    kNoServer,  // the file has no group the server reads: no database is configured
    kTcpPort,   // the server listens on `port`
    kNoTcp,     // skip-networking: the server opens no TCP port at all
    kUnknown,   // an include that cannot be followed, or a port the server would refuse
  };
  Kind kind = Kind::kNoServer;
  int32_t port = 0;
};

// The server's version, as its executable's version resource gives it (5.1 for a 5.1.x server).
struct ServerVersion {
  int major = 0;
  int minor = 0;
};

// What the server reads besides the option file itself, learnt from how it is started.
struct ServerStart {
  // The name of the Windows service it runs as (the last argument of its registered command
  // line), as ANSI bytes: the server also reads the group of that name, unless it is "MySQL"
  // (letter case ignored). Empty: no such group.
  std::string serviceName;
  // Its version: the server reads the group of its own version only ([mysqld-5.1]). Where the
  // version is not known, every [mysqld-5.N] is taken, as the bundle's server is of version 5.
  std::optional<ServerVersion> version;
};

// The endpoint that the server takes from the option file's bytes. The server reads the groups
// [mysqld], [server], its version's group and its service's group (ServerStart); the last value
// read wins, across the groups and the included files, in the order the server reads them. Group
// and option names ignore letter case, "-" and "_" are one character in option names, blanks
// around names and "=" are ignored, lines starting with "#" or ";" are comments, and so is a "#"
// after a value. "port=0" is the server's default port 3306, as is a file without the key.
// "skip-networking" (or "skip_networking", with no value or a true one) opens no TCP port; a false
// value undoes it. "!include FILE" and "!includedir FOLDER" are followed. Like the server, an
// "!include" file that does not exist or cannot be read is skipped, and so are includes nested
// deeper than the server goes; a missing "!includedir" folder stops the server from reading its
// options at all (it does not start), and a relative path depends on the folder the server runs
// in: both leave the endpoint unknown. A UTF-8 byte order mark at the start of a file is skipped.
DatabaseEndpoint DatabaseEndpointFromMyIni(std::string_view bytes, OptionIncludes& includes,
                                           const ServerStart& start = {});

// The options that tell where the server keeps its data and writes its error log, read from the
// same groups, files and order as the endpoint (the last value read wins). Values are as the
// server takes them: a "#" outside quotes ends the value, a value in matching quotes loses them,
// and the escapes "\\", "\b", "\t", "\n", "\r", "\s" (a blank), "\"" and "\'" are read; any
// other backslash stays (the bundle writes its folder with every backslash doubled). ANSI bytes.
struct DatabaseFileOptions {
  std::optional<std::string> baseDir;   // basedir
  std::optional<std::string> dataDir;   // datadir
  std::optional<std::string> logError;  // log-error; "" where it names no file
  std::optional<std::string> pidFile;   // pid-file
  bool console = false;                 // console (a log on the console, not in a file)
  bool noServer = true;                 // no group the server reads: no database is configured
  bool unknown = false;  // an include that cannot be followed: the file does not tell
};

DatabaseFileOptions DatabaseFileOptionsFromMyIni(std::string_view bytes, OptionIncludes& includes,
                                                 const ServerStart& start = {});

// What a database server's command line, as a Windows service registers it (variables expanded),
// tells of the options it reads.
struct ServerCommandLine {
  // The file of "--defaults-file=FILE" (quotes removed), the only option file the server then
  // reads. The server takes it only among the leading "--defaults-..." arguments, and only in
  // this "=" form ("--defaults-file FILE" is an option it does not know, and it does not start).
  std::optional<std::string> defaultsFile;
  // The service's name: the last argument where there is one besides the program and it is no
  // option (does not start with "-"); "" otherwise.
  std::string serviceName;
};

// Splits `commandLine` (UTF-8) into arguments by the rules the C runtime reads a Windows command
// line with (the program's name up to its closing quote or the first blank; then blanks between
// arguments, double quotes grouping blanks, backslashes literal except before a quote) and
// reads what the server takes from them.
ServerCommandLine ReadServerCommandLine(std::string_view commandLine);

// The bundle's database service among `services`: one of the bundle's (insideBundle) whose
// executable is a "mysqld*.exe" or lies in the database's folder (`inDatabaseFolder` of its
// binary path); of several, the first that is not stopped, else the first. Null where there is
// none.
const ServiceFacts* BundleDatabaseService(
    const std::vector<ServiceFacts>& services,
    const std::function<bool(const std::string&)>& inDatabaseFolder);

// The port the watch checks: the TCP port where there is one; nothing where the server opens none,
// where no database is configured, or where the file does not tell.
std::optional<int32_t> DatabasePortToWatch(const DatabaseEndpoint& endpoint);

}  // namespace orv
