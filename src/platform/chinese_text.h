#pragma once
// How the program's Chinese texts join their parts (UTF-8): a space between Chinese and Latin
// text ("端口 3306", "已被 mysqld.exe 占用"), none between Chinese parts nor beside Chinese
// quotation marks and parentheses ("已被服务“MySQL”占用", "（HTTP 404）").

#include <initializer_list>
#include <string>
#include <string_view>

namespace orv {

// The parts in order, with a space where one part ends in Latin text and the next starts with
// Chinese text, or the reverse. Empty parts are skipped.
std::string JoinWords(std::initializer_list<std::string_view> parts);

// True when `text` ends a sentence ("。", "！", "？", ".", "!" or "?").
bool EndsSentence(std::string_view text);

// `text` as a sentence: "。" added where it does not end one already.
std::string AsSentence(std::string_view text);

}  // namespace orv
