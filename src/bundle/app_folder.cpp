#include "bundle/app_folder.h"

namespace orv {

std::string AppFolderFrom(std::string_view executableFolder) {
  std::string folder(executableFolder);
  if (folder.size() == 3)
    return folder;  // a drive root such as "D:\"
  return folder + "\\";
}

std::string ServersFolderOf(std::string_view appFolder) {
  return std::string(appFolder) + "local\\";
}

std::string ExecutableFolderOf(std::string_view executablePath) {
  const size_t slash = executablePath.find_last_of('\\');
  if (slash == std::string_view::npos)
    return std::string();
  // "D:\x.exe": the root keeps its separator, as the system spells it.
  if (slash == 2 && executablePath[1] == ':')
    return std::string(executablePath.substr(0, 3));
  return std::string(executablePath.substr(0, slash));
}

}  // namespace orv
