#pragma once
// Configures the bundle in the application folder for a port: fills the seven templates of
// TempFiles2, writes the configuration files and scripts, and starts the generated install script
// (through the request for administrator rights when the program's own are not elevated).

#include <string>

namespace orv {

// `port` is a port text such as "80" or "81". Throws a Failure that names the file or step and the
// system's error text; files written before the failure stay written.
void Configure(const std::string& port);

// The same for the bundle in `folder` (UTF-8, exactly one trailing "\"). A folder with a
// character that the ANSI code page cannot represent exactly is refused before anything is read
// or written, since it would go into the files as "?".
void ConfigureIn(const std::string& folder, const std::string& port);

}  // namespace orv
