#pragma once
// Placeholder replacement in text held in a double-byte ANSI code page. A placeholder is matched
// only where a character starts: in code page 936 the second byte of a character may be "[" or a
// letter, and such a byte never begins a match.

#include <array>
#include <string>
#include <string_view>

namespace orv {

// Which byte values start a double-byte character in a code page.
class LeadBytes {
 public:
  // A single-byte code page: no byte starts a double-byte character.
  LeadBytes() noexcept { leads_.fill(false); }

  // Code page 936 (Simplified Chinese GBK): 0x81 to 0xFE.
  static LeadBytes CodePage936() noexcept;

  template <typename IsLead>
  static LeadBytes From(IsLead isLead) {
    LeadBytes table;
    for (size_t b = 0; b < table.leads_.size(); ++b)
      table.leads_[b] = isLead(static_cast<unsigned char>(b));
    return table;
  }

  bool IsLead(unsigned char byte) const noexcept { return leads_[byte]; }

 private:
  std::array<bool, 256> leads_;
};

// `text` with every occurrence of `placeholder` replaced by `replacement`: left to right,
// non-overlapping, byte for byte (so letter case counts), only at character starts, and without
// scanning the inserted text again. Every other byte is kept. An empty placeholder matches
// nothing.
std::string ReplacePlaceholder(std::string_view text, std::string_view placeholder,
                               std::string_view replacement, const LeadBytes& leads);

}  // namespace orv
