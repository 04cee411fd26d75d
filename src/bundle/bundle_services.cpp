#include "bundle/bundle_services.h"

#include "platform/ascii_text.h"
#include "platform/chinese_text.h"

namespace orv {
namespace {

constexpr std::string_view kExe = ".exe";

// True when `text` holds ".exe" (any letter case) at `at`, followed by a space or its end.
bool ExeEndsWordAt(std::string_view text, size_t at) {
  if (at > text.size() || !StartsWithIgnoringAsciiCase(text.substr(at), kExe))
    return false;
  const size_t after = at + kExe.size();
  return after == text.size() || text[after] == ' ' || text[after] == '\t';
}

bool HasExtension(std::string_view path) {
  const size_t name = path.find_last_of("\\/");
  const size_t dot = path.find_last_of('.');
  return dot != std::string_view::npos && (name == std::string_view::npos || dot > name);
}

}  // namespace

std::string ExecutableOfCommandLine(std::string_view commandLine,
                                    const std::function<bool(const std::string&)>& isFile) {
  const size_t first = commandLine.find_first_not_of(" \t");
  if (first == std::string_view::npos)
    return {};
  const std::string_view line = commandLine.substr(first);
  if (line.front() == '"') {
    const size_t closing = line.find('"', 1);
    return std::string(
        line.substr(1, closing == std::string_view::npos ? std::string_view::npos : closing - 1));
  }
  // C:\Program Files\x.exe runs C:\Program.exe where that exists, as Windows would.
  for (size_t end = line.find(' ');; end = line.find(' ', end + 1)) {
    const std::string candidate(line.substr(0, end));
    if (isFile(candidate))
      return candidate;
    if (!HasExtension(candidate) && isFile(candidate + std::string(kExe)))
      return candidate + std::string(kExe);
    if (end == std::string_view::npos)
      break;
  }
  for (size_t at = line.find('.'); at != std::string_view::npos; at = line.find('.', at + 1)) {
    if (ExeEndsWordAt(line, at))
      return std::string(line.substr(0, at + kExe.size()));
  }
  return std::string(line.substr(0, line.find_first_of(" \t")));
}

std::string ServiceTitle(const ServiceFacts& service) {
  return service.displayName.empty() ? service.name : service.displayName;
}

std::vector<ServiceFacts> RunningBundleServices(const std::vector<ServiceFacts>& services) {
  std::vector<ServiceFacts> running;
  for (const ServiceFacts& service : services) {
    if (service.insideBundle && service.state != kServiceStopped)
      running.push_back(service);
  }
  return running;
}

std::string StoppedServiceNote(const std::vector<ServiceFacts>& services,
                               const std::function<std::string(uint32_t)>& systemText) {
  const ServiceFacts* chosen = nullptr;
  for (const ServiceFacts& service : services) {
    if (!service.insideBundle || service.state != kServiceStopped)
      continue;
    if (chosen == nullptr)
      chosen = &service;
    if (service.win32ExitCode != 0) {
      chosen = &service;
      break;
    }
  }
  if (chosen == nullptr)
    return {};
  std::string note = "服务“" + ServiceTitle(*chosen) + "”已停止";
  if (chosen->win32ExitCode == 0)
    return note + "。";
  const uint32_t code = chosen->win32ExitCode == kServiceSpecificError ? chosen->serviceExitCode
                                                                       : chosen->win32ExitCode;
  note += "，退出代码 " + std::to_string(code);
  const std::string fullText = systemText ? systemText(chosen->win32ExitCode) : std::string();
  const std::string text(TrimmedBlanks(fullText));
  if (text.empty())
    return note + "。";
  return note + "：" + AsSentence(text);
}

}  // namespace orv
