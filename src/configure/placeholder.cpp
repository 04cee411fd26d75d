#include "configure/placeholder.h"

#include <cstring>

namespace orv {
namespace {

// True when `at` is the first byte of a character, given that `boundary` (<= at) is one.
// Walking forward, a byte is a second byte exactly when it follows an odd number of lead-byte
// values that follow a character boundary; a byte that is no lead-byte value always ends a
// character. So only the run of lead-byte values just before `at` is counted, back to the known
// boundary at most, and the text is not walked from its start for every candidate.
bool StartsCharacter(std::string_view text, size_t boundary, size_t at, const LeadBytes& leads) {
  size_t run = 0;
  while (at - run > boundary && leads.IsLead(static_cast<unsigned char>(text[at - 1 - run])))
    ++run;
  return run % 2 == 0;
}

}  // namespace

LeadBytes LeadBytes::CodePage936() noexcept {
  LeadBytes table;
  for (size_t b = 0x81; b <= 0xFE; ++b)
    table.leads_[b] = true;
  return table;
}

std::string ReplacePlaceholder(std::string_view text, std::string_view placeholder,
                               std::string_view replacement, const LeadBytes& leads) {
  std::string result;
  if (placeholder.empty() || text.size() < placeholder.size())
    return std::string(text);
  result.reserve(text.size());

  const char first = placeholder.front();
  const size_t lastStart = text.size() - placeholder.size();
  size_t copied = 0;    // text before this index is already in the result
  size_t from = 0;      // where to look for the next candidate
  size_t boundary = 0;  // a known character start at or before `from`
  while (from <= lastStart) {
    const void* found = std::memchr(text.data() + from, first, lastStart + 1 - from);
    if (found == nullptr)
      break;
    const size_t at = static_cast<size_t>(static_cast<const char*>(found) - text.data());
    if (!StartsCharacter(text, boundary, at, leads)) {
      // `at` is the second byte of a character, so the next byte starts one.
      boundary = from = at + 1;
    } else if (std::memcmp(text.data() + at, placeholder.data(), placeholder.size()) == 0) {
      result.append(text.data() + copied, at - copied);
      result.append(replacement);
      boundary = from = copied = at + placeholder.size();
    } else {
      boundary = at;
      from = at + 1;
    }
  }
  result.append(text.data() + copied, text.size() - copied);
  return result;
}

}  // namespace orv
