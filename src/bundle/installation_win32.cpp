#include "bundle/installation_win32.h"

#include <vector>

#include "bundle/app_folder.h"
#include "bundle/finish_marker.h"
#include "platform/file_system_win32.h"
#include "platform/system_error_win32.h"
#include "platform/text_win32.h"

namespace orv {

std::string AppFolder() {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD length =
        GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0)
      ThrowLastError("获取程序路径", "");
    if (length < buffer.size()) {
      return AppFolderFrom(ExecutableFolderOf(WideToUtf8({buffer.data(), length})));
    }
    buffer.resize(buffer.size() * 2);  // truncated: try again with more room
  }
}

bool IsInstalled() {
  return IsInstalledIn(AppFolder());
}

bool IsInstalledIn(std::string_view appFolder) {
  return OrdinaryFileExists(marker::LookupPath(appFolder));
}

void WriteFinishMarker() noexcept {
  try {
    WriteFinishMarkerIn(AppFolder());
  } catch (...) {
    // AppFolder failed: no marker, as for any other failure to write it.
  }
}

void WriteFinishMarkerIn(std::string_view appFolder) noexcept {
  try {
    // Only the marker's presence counts, so a code page that lacks some of the line's characters
    // gets its default character for them rather than no marker at all.
    const std::string content = Utf8ToAnsiWithDefaultChar(marker::kLine) + "\r\n";
    ReplaceWholeFile(marker::WritePath(appFolder), content);
  } catch (...) {
    // A missing marker only means that the next start configures the bundle again.
  }
}

}  // namespace orv
