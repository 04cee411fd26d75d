#include "bundle/path_identity.h"

namespace orv {
namespace {

constexpr char16_t kSeparator = u'\\';

bool IsSeparator(char16_t unit) {
  return unit == u'\\' || unit == u'/';
}

}  // namespace

std::u16string PathIdentity(std::u16string_view resolvedPath, NameUpperCase upperCase) {
  std::u16string identity;
  identity.reserve(resolvedPath.size());
  for (size_t i = 0; i < resolvedPath.size(); ++i) {
    const char16_t unit = resolvedPath[i];
    if (!IsSeparator(unit)) {
      identity += unit;
      continue;
    }
    // "\\server\share" keeps its two leading separators; elsewhere a run counts as one.
    if (i == 1 && IsSeparator(resolvedPath[0])) {
      identity += kSeparator;
      continue;
    }
    if (identity.empty() || identity.back() != kSeparator)
      identity += kSeparator;
  }
  // "\\server\" and "\" keep their separators: nothing would be left of them otherwise.
  while (identity.size() > 2 && identity.back() == kSeparator)
    identity.pop_back();
  return upperCase(identity);
}

bool IsInsideFolder(std::u16string_view path, std::u16string_view folder) {
  if (folder.empty() || path.size() < folder.size() + 2)
    return false;
  return path.substr(0, folder.size()) == folder && path[folder.size()] == kSeparator;
}

}  // namespace orv
