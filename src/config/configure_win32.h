#pragma once
// Configures the bundle in the application folder for a port: fills the seven templates of
// TempFiles2, writes the configuration files and scripts, and starts the generated install script.

#include <string>

namespace orv {

// `port` is a port text such as "80" or "81". Throws a Failure that names the file or step and the
// system's error text; files written before the failure stay written.
void Configure(const std::string& port);

}  // namespace orv
