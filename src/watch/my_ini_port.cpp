#include "watch/my_ini_port.h"

#include <string>

namespace orv {
namespace {

constexpr int32_t kDefaultDatabasePort = 3306;

std::string_view Trimmed(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!text.empty() && blank(text.front()))
    text.remove_prefix(1);
  while (!text.empty() && blank(text.back()))
    text.remove_suffix(1);
  return text;
}

bool SameIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size())
    return false;
  for (size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i]))
      return false;
  }
  return true;
}

// A port number of decimal digits only; nothing otherwise.
std::optional<int32_t> PortNumber(std::string_view text) {
  if (text.size() >= 2 && (text.front() == '"' || text.front() == '\'') &&
      text.back() == text.front()) {
    text = Trimmed(text.substr(1, text.size() - 2));
  }
  if (text.empty() || text.size() > 5)
    return std::nullopt;
  int32_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9')
      return std::nullopt;
    value = value * 10 + (c - '0');
  }
  if (value < 1 || value > 65535)
    return std::nullopt;
  return value;
}

}  // namespace

std::optional<int32_t> DatabasePortFromMyIni(std::string_view bytes) {
  // The structural bytes ("[", "]", "=", "#", ";", line ends) are ASCII, and where a line may
  // start (after a line end) no double-byte character can be cut; a "#" is never the second byte
  // of a character in the code pages the bundle is written in.
  bool inServerSection = false;
  bool sawServerSection = false;
  std::optional<std::string_view> value;
  size_t start = 0;
  while (start <= bytes.size()) {
    size_t end = bytes.find('\n', start);
    if (end == std::string_view::npos)
      end = bytes.size();
    const std::string_view line = Trimmed(bytes.substr(start, end - start));
    start = end + 1;
    if (line.empty() || line.front() == '#' || line.front() == ';')
      continue;
    if (line.front() == '[') {
      const size_t close = line.find(']');
      inServerSection = close != std::string_view::npos &&
                        SameIgnoringCase(Trimmed(line.substr(1, close - 1)), "mysqld");
      sawServerSection = sawServerSection || inServerSection;
      continue;
    }
    if (!inServerSection)
      continue;
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos ||
        !SameIgnoringCase(Trimmed(line.substr(0, equals)), "port"))
      continue;
    std::string_view text = line.substr(equals + 1);
    text = Trimmed(text.substr(0, text.find('#')));
    value = text;
  }
  if (!sawServerSection)
    return std::nullopt;
  if (!value)
    return kDefaultDatabasePort;
  return PortNumber(*value);
}

}  // namespace orv
