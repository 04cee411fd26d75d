#pragma once
// Where the bundle's database server listens, read from its option file the way the server reads
// it, so that the watch checks the port that the server really opens.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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

// The endpoint that the server takes from the option file's bytes. The server reads the groups
// [mysqld], [server] and its version's group ([mysqld-5.5] and the like; every [mysqld-5.N] is
// taken, as the bundle's server is of version 5); the last value read wins, across the groups and
// the included files, in the order the server reads them. Group and option names ignore letter
// case, "-" and "_" are one character in option names, blanks around names and "=" are ignored,
// lines starting with "#" or ";" are comments, and so is a "#" after a value. "port=0" is the
// server's default port 3306, as is a file without the key. "skip-networking" (or
// "skip_networking", with no value or a true one) opens no TCP port; a false value undoes it.
// "!include FILE" and "!includedir FOLDER" are followed where they can be; one that cannot (a
// missing file or folder, a relative path, includes nested too deep) leaves the endpoint unknown.
// A UTF-8 byte order mark at the start of a file is skipped.
DatabaseEndpoint DatabaseEndpointFromMyIni(std::string_view bytes, OptionIncludes& includes);

// The port the watch checks: the TCP port where there is one; nothing where the server opens none,
// where no database is configured, or where the file does not tell.
std::optional<int32_t> DatabasePortToWatch(const DatabaseEndpoint& endpoint);

}  // namespace orv
