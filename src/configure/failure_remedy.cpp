#include "configure/failure_remedy.h"

namespace orv {
namespace {

// A full path must fit in MAX_PATH characters with its terminating zero; a longer one is refused
// as a missing path (ERROR_PATH_NOT_FOUND) rather than with a code of its own.
constexpr size_t kMaxPath = 260;

// The path's length in UTF-16 code units, as the system counts it.
size_t Utf16Length(const std::string& utf8) {
  size_t units = 0;
  for (const char c : utf8) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte & 0xC0) != 0x80)
      ++units;  // a character starts here
    if (byte >= 0xF0)
      ++units;  // four bytes in UTF-8, a surrogate pair in UTF-16
  }
  return units;
}

bool IsNotFound(uint32_t code) {
  return code == win_error::kFileNotFound || code == win_error::kPathNotFound ||
         code == win_error::kDirectory;
}

bool IsInUse(uint32_t code) {
  return code == win_error::kSharingViolation || code == win_error::kLockViolation ||
         code == win_error::kUserMappedFile;
}

constexpr char kStartThere[] = "再在那里启动 Orvandimex.exe。";
// Where the fix is to move or extract the folder, Retry cannot help: the box says to cancel.
constexpr char kCancel[] = "重试无法解决此问题。请点击“取消”，";

}  // namespace

std::string DriveOf(const std::string& path) {
  if (path.size() >= 2 && path[1] == ':' &&
      ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'))) {
    return std::string(1, static_cast<char>(path[0] & ~0x20)) + ":";
  }
  if (path.rfind("\\\\", 0) == 0) {
    // \\server\share: up to the separator after the share's name.
    const size_t server = path.find('\\', 2);
    if (server == std::string::npos || server == 2)
      return std::string();
    const size_t share = path.find('\\', server + 1);
    return share == server + 1 ? std::string() : path.substr(0, share);
  }
  return std::string();
}

Remedy ChooseRemedy(const RemedyFacts& facts) {
  const FailureFacts& failure = facts.failure;
  if (failure.action == FileAction::kNone)
    return Remedy::kNone;
  const uint32_t code = failure.code;

  // A path too long is reported as missing; it is told apart by its length, before anything is
  // concluded from a missing file.
  if (code == win_error::kFilenameExcedRange || code == win_error::kBufferOverflow ||
      (IsNotFound(code) && Utf16Length(failure.path) >= kMaxPath)) {
    return Remedy::kMoveToShorterPath;
  }
  if (IsNotFound(code))
    return facts.templateFolderExists ? Remedy::kExtractAgain : Remedy::kExtractWholeArchive;
  if (IsInUse(code))
    return Remedy::kCloseHolder;
  if (code == win_error::kDiskFull || code == win_error::kHandleDiskFull)
    return Remedy::kFreeDiskSpace;
  if (code == win_error::kWriteProtect || code == win_error::kNetworkAccessDenied)
    return Remedy::kMoveToWritableFolder;
  if (code == win_error::kAccessDenied) {
    switch (facts.target) {
      case TargetState::kInUse:
        return Remedy::kCloseHolder;
      case TargetState::kReadOnly:
        return Remedy::kClearReadOnly;
      case TargetState::kNotAllowed:
        // Only writing needs the folder's rights; a template that cannot be read is another
        // matter, which the system's text names.
        return failure.action == FileAction::kWrite ? Remedy::kMoveToWritableFolder : Remedy::kNone;
      case TargetState::kNotLooked:
        return Remedy::kNone;
    }
  }
  return Remedy::kNone;
}

std::string RemedyText(Remedy remedy, const RemedyFacts& facts) {
  switch (remedy) {
    case Remedy::kNone:
      return std::string();
    case Remedy::kExtractWholeArchive:
      return "Orvandimex.exe 不在本系统的文件夹中（例如直接在压缩包中打开了它，或只复制了它）。" +
             std::string(kCancel) + "先把整个压缩包解压到一个文件夹，" + kStartThere;
    case Remedy::kExtractAgain:
      return "本系统缺少文件。" + std::string(kCancel) + "把整个压缩包重新解压到一个文件夹，" +
             kStartThere;
    case Remedy::kCloseHolder:
      if (!facts.holders.empty())
        return "该文件正被“" + facts.holders + "”使用：请关闭它，然后点击“重试”。";
      return "该文件正被另一个程序使用（例如编辑器或杀毒软件）：请关闭该程序，然后点击“重试”。";
    case Remedy::kClearReadOnly:
      return "该文件是只读的：请在文件的属性中取消勾选“只读”，然后点击“重试”。";
    case Remedy::kMoveToWritableFolder:
      return "您没有写入本系统文件夹的权限。" + std::string(kCancel) +
             "把本系统的整个文件夹移到您可以写入的位置（例如本地磁盘 D: 上的文件夹），" +
             kStartThere;
    case Remedy::kMoveToShorterPath:
      return "路径太长。" + std::string(kCancel) + "把本系统的整个文件夹移到路径较短的位置，" +
             kStartThere;
    case Remedy::kFreeDiskSpace: {
      const std::string drive = DriveOf(facts.failure.path);
      if (drive.empty())
        return "磁盘空间不足：请在该文件所在的磁盘上释放空间，然后点击“重试”。";
      return "磁盘空间不足：请在驱动器 " + drive + " 上释放空间，然后点击“重试”。";
    }
  }
  return std::string();
}

}  // namespace orv
