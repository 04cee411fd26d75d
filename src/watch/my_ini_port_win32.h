#pragma once
// The database's endpoint as the bundle's server will read it from its option file, with the
// files that the option file includes read from disk.

#include <optional>
#include <string>
#include <vector>

#include "watch/my_ini_port.h"

namespace orv {

// Reads included option files and lists included folders; paths are in the ANSI code page, as the
// option file holds them.
class SystemOptionIncludes final : public OptionIncludes {
 public:
  std::optional<std::string> Read(const std::string& path) override;
  std::optional<std::vector<std::string>> OptionFilesIn(const std::string& folder) override;
};

// The version in the version resource of the executable at `utf8Path` (its fixed file version's
// major and minor numbers); nothing where the file has none or cannot be read. version.dll is
// loaded from the system folder at run time. Never throws.
std::optional<ServerVersion> ExecutableVersion(const std::string& utf8Path) noexcept;

// How the bundle's database server is started: the option file it reads, its executable and what
// its start tells (ServerStart); found as BundleDatabaseEndpoint below describes. Paths in UTF-8.
struct BundleDatabaseServer {
  std::string optionFile;
  std::string serverProgram;
  ServerStart start;
  bool unknown = false;  // a relative "--defaults-file=": the folder the server runs in decides
};

// May read files: not for the window's thread. Throws a Failure only where the service's name or
// a path cannot be converted.
BundleDatabaseServer FindBundleDatabaseServer(const std::string& appFolder,
                                              const std::vector<ServiceFacts>& services);

// The endpoint of the bundle in `appFolder` (UTF-8, trailing "\") as its database server reads
// it. Where `services` (ListServices) hold the bundle's database service (BundleDatabaseService),
// its registered command line tells the option file (its "--defaults-file=", else the bundle's
// written my.ini, which the server finds beside its own folder), the service's group and, from
// its executable, the server's version. Otherwise the bundle's written my.ini is read with the
// version of local\mysql5\bin\mysqld.exe where it has one. No server where the option file cannot
// be read; unknown where the defaults file is a relative path (the server resolves it in the
// folder it runs in). May read files: not for the window's thread. Never throws.
DatabaseEndpoint BundleDatabaseEndpoint(const std::string& appFolder,
                                        const std::vector<ServiceFacts>& services) noexcept;

}  // namespace orv
