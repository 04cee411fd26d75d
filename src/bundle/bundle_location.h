#pragma once
// Where a bundle can work: on a disk of this machine. A folder on a network share, a mapped network
// drive or a substituted drive letter is seen by the user's programs, but not by the install
// script when it runs elevated (another logon session, without the user's drive letters), nor by
// the services, which run as the system.

#include <string>
#include <string_view>

namespace orv {

// What the system says of the folder's drive letter.
struct DriveFacts {
  bool remote = false;    // GetDriveType says DRIVE_REMOTE
  std::string dosDevice;  // what the letter stands for (QueryDosDevice), UTF-8; empty if unknown
};

// Why the bundle in `folder` (UTF-8, a full path) cannot work where it is, as the message for the
// user (what to do included); empty when it can. A UNC path (also in its "\\?\UNC\" form), a
// remote drive and a drive letter that stands for a folder ("\??\...", as subst makes it) are
// refused; local and removable disks are not.
std::string LocationProblem(std::string_view folder, const DriveFacts& drive);

// The drive letter's root ("D:\") of a folder that starts with one, also after "\\?\"; empty for
// a UNC path or anything else.
std::string DriveRootOf(std::string_view folder);

}  // namespace orv
