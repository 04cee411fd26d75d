#pragma once
// The application folder: the folder of the program's executable, spelled with exactly one
// trailing "\". Every path of the program is this folder followed by a literal that itself starts
// with "\" ("\Finish.txt"); the doubled separator is accepted by the system and kept.

#include <string>
#include <string_view>

namespace orv {

// `executableFolder` as the system reports it: without a trailing "\" except for a drive root,
// which is reported as three characters such as "D:\" and is returned unchanged.
std::string AppFolderFrom(std::string_view executableFolder);

// The folder part of a full executable path ("D:\srv\web\Orvandimex.exe" gives "D:\srv\web",
// "D:\Orvandimex.exe" gives "D:\"), as the system reports an executable's folder.
std::string ExecutableFolderOf(std::string_view executablePath);

// The folder of the bundle's own servers, `appFolder` (with its trailing "\") followed by
// "local\": the templates put the web server and the database there. What runs from it is the
// bundle's; what runs from elsewhere is not, even beside the program or, for a bundle unpacked to
// a drive root, elsewhere on that drive.
std::string ServersFolderOf(std::string_view appFolder);

}  // namespace orv
