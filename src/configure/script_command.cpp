#include "configure/script_command.h"

#include "platform/failure.h"

namespace orv {
namespace {

constexpr std::string_view kUnsafeCharacters = "%\"\r\n";

}  // namespace

std::string ScriptArguments(std::string_view script) {
  if (script.find_first_of(kUnsafeCharacters) != std::string_view::npos) {
    throw Failure("脚本路径“" + std::string(script) +
                  "”含有命令处理程序无法原样接受的字符（“%”、引号或换行），未运行该脚本。");
  }
  std::string arguments = "/d /v:off /s /c \"\"";
  arguments += script;
  arguments += "\"\"";
  return arguments;
}

std::string ScriptArgumentsIn(std::string_view folder, std::string_view script) {
  const std::string plain = ScriptArguments(script);
  if (folder.empty() || folder.find_first_of(kUnsafeCharacters) != std::string_view::npos)
    return plain;
  // With /s the processor drops the outer pair of quotes only: `cd /d "<folder>" & "<script>"`.
  std::string arguments = "/d /v:off /s /c \"cd /d \"";
  arguments += folder;
  arguments += "\" & \"";
  arguments += script;
  arguments += "\"\"";
  return arguments;
}

std::string ScriptFolder(std::string_view script) {
  const size_t last = script.find_last_of("\\/");
  if (last == std::string_view::npos)
    return {};
  std::string_view folder = script.substr(0, last);
  while (!folder.empty() && (folder.back() == '\\' || folder.back() == '/'))
    folder.remove_suffix(1);
  std::string result(folder);
  if (result.size() == 2 && result[1] == ':')
    result += '\\';
  return result;
}

std::string ScriptCommandLine(std::string_view cmdExe, std::string_view script) {
  return "\"" + std::string(cmdExe) + "\" " + ScriptArguments(script);
}

}  // namespace orv
