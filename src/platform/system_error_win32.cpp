#include "platform/system_error_win32.h"

#include "platform/text_win32.h"

namespace orv {

std::string SystemMessageText(DWORD code) {
  wchar_t* buffer = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::wstring text;
  if (length > 0 && buffer != nullptr)
    text.assign(buffer, length);
  if (buffer != nullptr)
    LocalFree(buffer);
  while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ')) {
    text.pop_back();
  }
  return WideToUtf8(text);
}

std::string SystemErrorText(DWORD code) {
  const std::string text = SystemMessageText(code);
  if (text.empty())
    return "错误 " + std::to_string(code);
  return text + "（错误 " + std::to_string(code) + "）";
}

Failure ErrorFailure(std::string_view operation, std::string_view subject, DWORD code,
                     FileAction action) {
  std::string message(operation);
  if (!subject.empty())
    message += "“" + std::string(subject) + "”";
  message += "失败：" + SystemErrorText(code);
  FailureFacts facts{action, code, std::string()};
  if (action != FileAction::kNone)
    facts.path = subject;
  return Failure(message, std::move(facts));
}

void ThrowLastError(std::string_view operation, std::string_view subject, FileAction action) {
  throw ErrorFailure(operation, subject, GetLastError(), action);
}

}  // namespace orv
