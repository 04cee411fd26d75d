#include "configure/failure_remedy_win32.h"

#include "configure/configure_bundle.h"
#include "configure/failure_remedy.h"
#include "platform/file_use_win32.h"
#include "platform/text_win32.h"

namespace orv {
namespace {

static_assert(win_error::kFileNotFound == ERROR_FILE_NOT_FOUND);
static_assert(win_error::kPathNotFound == ERROR_PATH_NOT_FOUND);
static_assert(win_error::kAccessDenied == ERROR_ACCESS_DENIED);
static_assert(win_error::kWriteProtect == ERROR_WRITE_PROTECT);
static_assert(win_error::kSharingViolation == ERROR_SHARING_VIOLATION);
static_assert(win_error::kLockViolation == ERROR_LOCK_VIOLATION);
static_assert(win_error::kHandleDiskFull == ERROR_HANDLE_DISK_FULL);
static_assert(win_error::kNetworkAccessDenied == ERROR_NETWORK_ACCESS_DENIED);
static_assert(win_error::kDiskFull == ERROR_DISK_FULL);
static_assert(win_error::kBufferOverflow == ERROR_BUFFER_OVERFLOW);
static_assert(win_error::kFilenameExcedRange == ERROR_FILENAME_EXCED_RANGE);
static_assert(win_error::kDirectory == ERROR_DIRECTORY);
static_assert(win_error::kUserMappedFile == ERROR_USER_MAPPED_FILE);

bool FolderExists(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(Utf8ToWide(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Access denied means either "in use" or "not allowed": a file that cannot be opened for deletion
// with no sharing is held by another program; one that can, or that does not exist, was refused
// for this user's rights (on the file or on its folder, where the temporary file goes).
TargetState LookAtTarget(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(Utf8ToWide(path).c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
      return TargetState::kNotLooked;
    if (attributes & FILE_ATTRIBUTE_READONLY)
      return TargetState::kReadOnly;
  }
  switch (OpenForDeletionError(path)) {
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return TargetState::kInUse;
    case ERROR_SUCCESS:
    case ERROR_ACCESS_DENIED:
    case ERROR_FILE_NOT_FOUND:
      return TargetState::kNotAllowed;
    default:
      return TargetState::kNotLooked;
  }
}

}  // namespace

std::string RemedyFor(const Failure& failure, std::string_view appFolder) noexcept {
  try {
    RemedyFacts facts;
    facts.failure = failure.facts();
    if (facts.failure.action == FileAction::kNone)
      return std::string();
    facts.templateFolderExists = FolderExists(TemplateFolderPath(appFolder));
    if (facts.failure.code == ERROR_ACCESS_DENIED)
      facts.target = LookAtTarget(facts.failure.path);
    const Remedy remedy = ChooseRemedy(facts);
    if (remedy == Remedy::kCloseHolder)
      facts.holders = ProgramsUsingFile(facts.failure.path);
    return RemedyText(remedy, facts);
  } catch (...) {
    return std::string();
  }
}

}  // namespace orv
