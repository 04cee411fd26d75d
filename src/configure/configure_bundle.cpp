#include "configure/configure_bundle.h"

#include "bundle/site_addresses.h"

#include <array>

#include "configure/folder_text.h"
#include "configure/text_content.h"
#include "platform/failure.h"

namespace orv {
namespace {

constexpr std::string_view kTemplateFolder = "\\TempFiles2\\";
constexpr std::string_view kXpath = "[xpath]";
constexpr std::string_view kPort = "[port]";
constexpr std::string_view kPort2 = "[port2]";

// Indexes into Templates().
enum : size_t { kInstall, kUnstall, kPhpIni, kHttpdConf, kMyIni, kStartQorn, kStartZel, kCount };

// The outputs are written in another order than the templates are read.
constexpr std::array<size_t, kCount> kWriteOrder = {kInstall, kUnstall,   kStartQorn, kStartZel,
                                                    kPhpIni,  kHttpdConf, kMyIni};

// Said after a failed start of the install script: every output is in place by then.
constexpr std::string_view kFilesWrittenNote =
    "\n\n配置文件均已写入，但安装脚本没有运行，配置尚未完成。点击“重试”可以重新配置。";

void StartInstallScript(const std::string& script, BundleMachine& machine) {
  bool started = false;
  try {
    if (machine.ProcessIsElevated()) {
      machine.StartScript(script);
      return;
    }
    started = machine.StartScriptAsAdministrator(script);
  } catch (const Failure& failure) {
    throw Failure(failure.what() + std::string(kFilesWrittenNote));
  }
  if (!started) {
    // The prompt names the command processor that runs the script, not the script.
    throw Failure("安装脚本“" + script +
                  "”需要以管理员身份运行，才能把 Web 服务器和 MySQL 数据库注册为 Windows "
                  "服务，但管理员权限的请求被拒绝了。配置文件均已写入，配置尚未完成。\n\n"
                  "请点击“重试”；当 Windows 询问是否允许“Windows 命令处理程序”对设备进行更改时，"
                  "请点击“是”。");
  }
}

}  // namespace

const std::vector<Template>& Templates() {
  static const std::vector<Template> table = {
      {"Install.bat", "\\install.bat", XpathText::kScript, false, true},
      {"Unstall.bat", "\\unstall.bat", XpathText::kScript, false, false},
      {"Php.Ini", "\\local\\Apache2\\php.ini", XpathText::kFile, false, false},
      {"Httpd.conf ", "\\local\\Apache2\\conf\\httpd.conf", XpathText::kFile, true, false},
      {"My.ini", "\\local\\mysql5\\my.ini", XpathText::kOptionFile, false, false},
      {"StartQorn.bat", "\\StartQorn.bat", XpathText::kNone, false, true},
      {"StartZel.bat", "\\StartZel.bat", XpathText::kNone, false, true},
  };
  return table;
}

std::string TemplateFolderPath(std::string_view folder) {
  return std::string(folder) + std::string(kTemplateFolder);
}

std::string TemplatePath(std::string_view folder, const Template& entry) {
  std::string_view name = entry.name;
  while (!name.empty() && name.back() == ' ')
    name.remove_suffix(1);
  return TemplateFolderPath(folder) + std::string(name);
}

std::string OutputPath(std::string_view folder, const Template& entry) {
  std::string path(folder);
  path += entry.output;
  return path;
}

std::string DatabaseOptionFilePath(std::string_view folder) {
  return OutputPath(folder, Templates()[kMyIni]);
}

std::string UninstallScriptPath(std::string_view folder) {
  return OutputPath(folder, Templates()[kUnstall]);
}

void ConfigureBundle(const BundleFolder& where, int32_t port, const LeadBytes& leads,
                     BundleMachine& machine) {
  const std::vector<Template>& table = Templates();
  const std::string script = OutputPath(where.folder, table[kInstall]);
  // The command processor expands "%name%" everywhere on its command line, quotes included, and
  // would run another script than the one written here; the generated scripts, which carry the
  // folder, would misbehave the same way. Refuse before anything is touched.
  if (where.folder.find('%') != std::string::npos) {
    throw Failure("本系统的文件夹“" + where.folder +
                  "”的路径中含有“%”，安装脚本在这样的位置无法正确运行。重试无法解决此问题。"
                  "请点击“取消”，把整个文件夹移到路径中不含“%”的位置，再从那里启动本程序。");
  }

  // In code pages 932, 936 and 950 the second byte of a character may be 0x5C, which the web
  // server's and the database's configuration readers take as a backslash: "功\local" would lose
  // its separator.
  const size_t backslash = FindBackslashSecondByte(where.folderText, leads);
  if (backslash != std::string::npos) {
    const std::string character = CharacterAt(where.folder, where.folderText, backslash, leads);
    throw Failure("本系统的文件夹“" + where.folder + "”的路径中含有字符“" + character +
                  "”。在当前的 Windows 语言设置下，Web 服务器和 MySQL "
                  "数据库会把这个字符误读为路径分隔符，配置文件会被破坏。重试无法解决此问题。"
                  "请点击“取消”，把整个文件夹移到路径中不含该字符的位置（例如 D:\\web），"
                  "再从那里启动本程序。");
  }

  std::array<std::string, kCount> texts;
  for (size_t i = 0; i < kCount; ++i)
    texts[i] = TextFromFileBytes(machine.ReadFileBytes(TemplatePath(where.folder, table[i])));

  // The table lists which placeholders each text gets; the order of the passes matters, since
  // a folder holding "[port]" is replaced in turn in httpd.conf.
  const std::string optionFileText = OptionFileText(where.folderText);
  for (size_t i = 0; i < kCount; ++i) {
    const std::string* folderText = nullptr;
    switch (table[i].xpath) {
      case XpathText::kNone:
        continue;
      case XpathText::kFile:
        folderText = &where.folderText;
        break;
      case XpathText::kScript:
        folderText = &where.scriptFolderText;
        break;
      case XpathText::kOptionFile:
        folderText = &optionFileText;
        break;
    }
    texts[i] = ReplacePlaceholder(texts[i], kXpath, *folderText, leads);
  }
  for (size_t i = 0; i < kCount; ++i) {
    if (table[i].replacesPort)
      texts[i] = ReplacePlaceholder(texts[i], kPort, std::to_string(port), leads);
  }
  const std::string port2 = PortSuffix(port);
  for (size_t i = 0; i < kCount; ++i) {
    if (table[i].replacesPort2)
      texts[i] = ReplacePlaceholder(texts[i], kPort2, port2, leads);
  }

  for (size_t i : kWriteOrder)
    machine.ReplaceFileBytes(OutputPath(where.folder, table[i]), FileBytesFromText(texts[i]));

  StartInstallScript(script, machine);
}

}  // namespace orv
