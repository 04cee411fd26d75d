#pragma once
// A path's identity on Windows: its final path (junctions and symbolic links followed, an 8.3
// short name or a second drive letter for the same volume replaced by the long form and the
// volume's own letter), upper-cased by the file system's rules. Two spellings of one file or
// folder give one identity; the rules made of identities are in path_identity.h.
//
// Letter case is folded with LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE), which without
// LCMAP_LINGUISTIC_CASING uses the file system's casing table: the one NTFS and the object
// manager compare names by (CompareStringOrdinal with bIgnoreCase), one UTF-16 unit for one, the
// same whatever the user's language (CharUpperBuffW follows the user's language instead).

#include <string>
#include <string_view>

#include "platform/windows_prelude_win32.h"

namespace orv {

// The final path of `path` as the system resolves it, from a handle opened with no access rights
// (FILE_FLAG_BACKUP_SEMANTICS, so that a folder opens too), without "\\?\" ("\\?\UNC\" given as
// "\\"). Where it cannot be opened or resolved (it does not exist, or this user may not open it):
// its full path in the long form, as far as the system can give one.
std::wstring FinalPathOf(const std::wstring& path);

// `text` upper-cased by the file system's rules (above), unit for unit.
std::u16string UpperCaseName(std::u16string_view text);

// The identity of `path` (UTF-16 or UTF-8): PathIdentity of its final path.
std::u16string PathIdentityOf(const std::wstring& path);
std::u16string PathIdentityOf(std::string_view utf8Path);

// One folder, resolved once, and the paths that lie inside it (IsInsideFolder of the
// identities).
class FolderIdentity {
 public:
  explicit FolderIdentity(std::string_view utf8Folder);

  bool Holds(const std::wstring& path) const;
  bool Holds(std::string_view utf8Path) const;
  const std::u16string& identity() const noexcept { return identity_; }

 private:
  std::u16string identity_;
};

}  // namespace orv
