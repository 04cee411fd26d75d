#pragma once
// A file of this build that ctest names in an environment variable, as a Unix path, seen as Wine's
// programs see it (drive Z: is the Unix root). Empty where the variable is not set.

#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/text_win32.h"

namespace orv {

inline std::filesystem::path BuiltFile(const char* variable) {
  const char* unixPath = std::getenv(variable);
  if (unixPath == nullptr)
    return {};
  std::string path = std::string("Z:") + unixPath;
  for (char& c : path)
    c = c == '/' ? '\\' : c;
  return Utf8ToWide(path);
}

}  // namespace orv
