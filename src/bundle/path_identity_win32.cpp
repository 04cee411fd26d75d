#include "bundle/path_identity_win32.h"

#include "bundle/path_identity.h"
#include "platform/sized_text_win32.h"
#include "platform/text_win32.h"
#include "platform/unique_handle_win32.h"

namespace orv {
namespace {

// The full path in its long form: each step where the system can give it, `path` itself else.
std::wstring FullLongPathOf(const std::wstring& path) {
  const std::wstring full = SizedText([&path](wchar_t* buffer, DWORD size) {
                              return GetFullPathNameW(path.c_str(), size, buffer, nullptr);
                            }).value_or(path);
  return SizedText([&full](wchar_t* buffer, DWORD size) {
           return GetLongPathNameW(full.c_str(), buffer, size);
         })
      .value_or(full);
}

std::u16string AsUtf16(std::wstring_view text) {
  return std::u16string(text.begin(), text.end());
}

}  // namespace

std::wstring FinalPathOf(const std::wstring& path) {
  const UniqueFileHandle handle(
      CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!handle)
    return FullLongPathOf(path);
  const std::optional<std::wstring> resolved = SizedText([&handle](wchar_t* buffer, DWORD size) {
    return GetFinalPathNameByHandleW(handle.get(), buffer, size,
                                     FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  });
  if (!resolved || resolved->empty())
    return FullLongPathOf(path);
  const std::wstring& text = *resolved;
  if (text.rfind(L"\\\\?\\UNC\\", 0) == 0)
    return L"\\\\" + text.substr(8);
  if (text.rfind(L"\\\\?\\", 0) == 0)
    return text.substr(4);
  return text;
}

std::u16string UpperCaseName(std::u16string_view text) {
  if (text.empty())
    return {};
  std::wstring upper(text.size(), L'\0');
  const int length =
      LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, reinterpret_cast<const wchar_t*>(text.data()),
                   static_cast<int>(text.size()), upper.data(), static_cast<int>(upper.size()));
  // The file system's table maps one unit to one; should the system refuse, the text is compared
  // as it is rather than by another rule.
  if (length != static_cast<int>(text.size()))
    return std::u16string(text);
  return AsUtf16(upper);
}

std::u16string PathIdentityOf(const std::wstring& path) {
  return PathIdentity(AsUtf16(FinalPathOf(path)), &UpperCaseName);
}

std::u16string PathIdentityOf(std::string_view utf8Path) {
  return PathIdentityOf(Utf8ToWide(utf8Path));
}

FolderIdentity::FolderIdentity(std::string_view utf8Folder)
    : identity_(utf8Folder.empty() ? std::u16string() : PathIdentityOf(utf8Folder)) {}

bool FolderIdentity::Holds(const std::wstring& path) const {
  return !path.empty() && IsInsideFolder(PathIdentityOf(path), identity_);
}

bool FolderIdentity::Holds(std::string_view utf8Path) const {
  return Holds(Utf8ToWide(utf8Path));
}

}  // namespace orv
