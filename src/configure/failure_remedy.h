#pragma once
// What the user can do about a failed configuration: one sentence that follows the failure's own
// text (the step, the path and the system's text), chosen from the facts of the failure and of
// what a second look at the machine found. The choice is made here, without the machine, so that
// every failure can be tried against it; the Win32 layer only gathers the facts.

#include <cstdint>
#include <string>

#include "platform/failure.h"

namespace orv {

// The system's error codes that choose a remedy (the values of winerror.h).
namespace win_error {
constexpr uint32_t kFileNotFound = 2;
constexpr uint32_t kPathNotFound = 3;
constexpr uint32_t kAccessDenied = 5;
constexpr uint32_t kWriteProtect = 19;
constexpr uint32_t kSharingViolation = 32;
constexpr uint32_t kLockViolation = 33;
constexpr uint32_t kHandleDiskFull = 39;
constexpr uint32_t kNetworkAccessDenied = 65;
constexpr uint32_t kDiskFull = 112;
constexpr uint32_t kBufferOverflow = 111;  // "文件名太长"
constexpr uint32_t kFilenameExcedRange = 206;
constexpr uint32_t kDirectory = 267;  // "目录名称无效": the folder of a new file is missing
constexpr uint32_t kUserMappedFile = 1224;
}  // namespace win_error

// What a second look at a file that could not be opened or replaced found.
enum class TargetState {
  kNotLooked,   // no look taken, or it told nothing
  kReadOnly,    // the file carries the read-only attribute
  kInUse,       // another program has it open: it cannot be opened for deletion with no sharing
  kNotAllowed,  // it is not in use, or it does not exist: this user may not change it or its folder
};

struct RemedyFacts {
  FailureFacts failure;
  bool templateFolderExists = true;  // TempFiles2 in the application folder
  TargetState target = TargetState::kNotLooked;
  std::string holders;  // the programs that have the file open, as the system names them; or empty
};

enum class Remedy {
  kNone,                  // nothing the user can do that the failure's text does not say
  kExtractWholeArchive,   // the program was started without the rest of the bundle
  kExtractAgain,          // a part of the bundle is missing
  kCloseHolder,           // another program has the file open
  kClearReadOnly,         // the file is read-only
  kMoveToWritableFolder,  // this user may not write into the bundle's folders
  kMoveToShorterPath,     // the path is too long for the system
  kFreeDiskSpace,         // the drive is full
};

Remedy ChooseRemedy(const RemedyFacts& facts);

// The sentence for the remedy, in Simplified Chinese; empty for kNone. Names the holding programs
// and the full drive where the facts know them.
std::string RemedyText(Remedy remedy, const RemedyFacts& facts);

// The drive of a path: "D:" for "D:\...", "\\server\share" for a network path; empty otherwise.
std::string DriveOf(const std::string& path);

}  // namespace orv
