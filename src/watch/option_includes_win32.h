#pragma once
// The database's endpoint as the bundle's server will read it from its option file, with the
// files that the option file includes read from disk.

#include <string>

#include "watch/my_ini_port.h"

namespace orv {

// Reads included option files and lists included folders; paths are in the ANSI code page, as the
// option file holds them.
class SystemOptionIncludes final : public OptionIncludes {
 public:
  std::optional<std::string> Read(const std::string& path) override;
  std::optional<std::vector<std::string>> OptionFilesIn(const std::string& folder) override;
};

// The endpoint from the written my.ini of the bundle in `appFolder` (UTF-8, trailing "\"): no
// server where the file cannot be read. Never throws.
DatabaseEndpoint BundleDatabaseEndpoint(const std::string& appFolder) noexcept;

}  // namespace orv
