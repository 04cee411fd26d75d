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

}  // namespace orv
