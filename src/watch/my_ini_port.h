#pragma once
// The database's port as the bundle's written my.ini gives it to the server.

#include <cstdint>
#include <optional>
#include <string_view>

namespace orv {

// The port the server takes from the file's bytes: the last "port" key of the [mysqld] sections,
// or 3306 (the server's own default) when they have none. Section and key names are matched
// without regard to letter case; blanks around them and around "=" are ignored, lines that start
// with "#" or ";" are comments, and so is a "#" after a value. Nothing when the file has no
// [mysqld] section (no database is configured) or its port is not a port number (1 to 65535),
// which the server would refuse to start with.
std::optional<int32_t> DatabasePortFromMyIni(std::string_view bytes);

}  // namespace orv
