#include "platform/chinese_text.h"

#include <array>

namespace orv {
namespace {

// Marks that stand beside both Chinese and Latin text without a space.
constexpr std::array<std::string_view, 10> kNoSpaceMarks = {"“",  "”",  "（", "）", "，",
                                                            "。", "：", "；", "、", "…"};

enum class Side { kLatin, kChinese, kMark };

bool IsAsciiWord(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte > 0x20 && byte < 0x7F;
}

Side FirstSide(std::string_view text) {
  for (const std::string_view mark : kNoSpaceMarks) {
    if (text.starts_with(mark))
      return Side::kMark;
  }
  if (text.front() == ' ' || text.front() == '\n')
    return Side::kMark;
  return IsAsciiWord(text.front()) ? Side::kLatin : Side::kChinese;
}

Side LastSide(std::string_view text) {
  for (const std::string_view mark : kNoSpaceMarks) {
    if (text.ends_with(mark))
      return Side::kMark;
  }
  if (text.back() == ' ' || text.back() == '\n')
    return Side::kMark;
  return IsAsciiWord(text.back()) ? Side::kLatin : Side::kChinese;
}

}  // namespace

std::string JoinWords(std::initializer_list<std::string_view> parts) {
  std::string text;
  for (const std::string_view part : parts) {
    if (part.empty())
      continue;
    if (!text.empty()) {
      const Side before = LastSide(text);
      const Side after = FirstSide(part);
      if (before != Side::kMark && after != Side::kMark && before != after)
        text += ' ';
    }
    text += part;
  }
  return text;
}

bool EndsSentence(std::string_view text) {
  for (const std::string_view mark : {"。", "！", "？", ".", "!", "?"}) {
    if (text.ends_with(mark))
      return true;
  }
  return false;
}

std::string AsSentence(std::string_view text) {
  std::string sentence(text);
  if (!sentence.empty() && !EndsSentence(sentence))
    sentence += "。";
  return sentence;
}

}  // namespace orv
