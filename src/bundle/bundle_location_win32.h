#pragma once
// What the system says of the drive that a folder lies on.

#include <string>

#include "bundle/bundle_location.h"

namespace orv {

// The drive type and the DOS device of the drive letter that `folder` (UTF-8) starts with; empty
// facts for a folder without one (a UNC path).
DriveFacts DriveFactsOf(const std::string& folder);

}  // namespace orv
