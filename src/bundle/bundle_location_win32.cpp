#include "bundle/bundle_location_win32.h"

#include <vector>

#include "platform/text_win32.h"

namespace orv {

DriveFacts DriveFactsOf(const std::string& folder) {
  DriveFacts facts;
  const std::string root = DriveRootOf(folder);
  if (root.empty())
    return facts;
  const std::wstring wideRoot = Utf8ToWide(root);
  facts.remote = GetDriveTypeW(wideRoot.c_str()) == DRIVE_REMOTE;
  // The first of the names the letter stands for; a substituted drive gives "\??\C:\...".
  std::vector<wchar_t> target(1024);
  const std::wstring letter = wideRoot.substr(0, 2);
  const DWORD length =
      QueryDosDeviceW(letter.c_str(), target.data(), static_cast<DWORD>(target.size()));
  if (length > 0)
    facts.dosDevice = WideToUtf8(target.data());
  return facts;
}

}  // namespace orv
