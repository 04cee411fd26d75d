#include "configure/configure_bundle.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "configure/folder_text.h"
#include "configure/script_command.h"
#include "platform/failure.h"

namespace orv {
namespace {

const std::vector<std::string> kTemplateNames = {"Install.bat", "Unstall.bat", "Php.Ini",
                                                 "Httpd.conf",  "My.ini",      "StartQorn.bat",
                                                 "StartZel.bat"};

// The outputs in the order they are written: the name of the expected file, and the path after
// the application folder.
const std::vector<std::pair<std::string, std::string>> kOutputs = {
    {"install.bat", "install.bat"},         {"unstall.bat", "unstall.bat"},
    {"StartQorn.bat", "StartQorn.bat"},     {"StartZel.bat", "StartZel.bat"},
    {"php.ini", "local\\Apache2\\php.ini"}, {"httpd.conf", "local\\Apache2\\conf\\httpd.conf"},
    {"my.ini", "local\\mysql5\\my.ini"},
};

// A machine of files in memory that records what the engine did, in order, and fails where told.
class FakeMachine final : public BundleMachine {
 public:
  std::map<std::string, std::string> files;
  std::vector<std::string> events;  // "read P", "write P", "start P", "runas P"
  std::set<std::string> failingWrites;
  bool failStart = false;
  bool elevated = true;
  bool declineRunAs = false;

  std::string ReadFileBytes(const std::string& path) override {
    events.push_back("read " + path);
    const auto found = files.find(path);
    if (found == files.end())
      throw Failure("no file " + path);
    return found->second;
  }
  void ReplaceFileBytes(const std::string& path, std::string_view bytes) override {
    events.push_back("write " + path);
    if (failingWrites.count(path))
      throw Failure("cannot write " + path);
    files[path] = std::string(bytes);
  }
  void StartScript(const std::string& scriptPath) override {
    events.push_back("start " + scriptPath);
    if (failStart)
      throw Failure("cannot start " + scriptPath);
  }
  bool ProcessIsElevated() override { return elevated; }
  bool StartScriptAsAdministrator(const std::string& scriptPath) override {
    events.push_back("runas " + scriptPath);
    if (failStart)
      throw Failure("cannot start " + scriptPath);
    return !declineRunAs;
  }

  void PutTemplates(const std::string& folder, const std::string& content) {
    for (const std::string& name : kTemplateNames)
      files[folder + "\\TempFiles2\\" + name] = content;
  }
};

std::string ReadDataFile(const std::string& relative) {
  const char* root = std::getenv("ORV_TEST_DATA");
  if (root == nullptr)
    throw std::runtime_error("ORV_TEST_DATA is not set");
  std::ifstream in(std::string(root) + "/config/" + relative, std::ios::binary);
  if (!in)
    throw std::runtime_error("cannot open test data " + relative);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

const BundleFolder kWeb{"D:\\srv\\web\\", "D:\\srv\\web\\", "D:\\srv\\web\\"};
const LeadBytes kGbk = LeadBytes::CodePage936();

// The events of a whole run for `folder`, in order; the separator after the folder is doubled.
std::vector<std::string> WholeRun(const std::string& folder) {
  std::vector<std::string> events;
  for (const std::string& name : kTemplateNames)
    events.push_back("read " + folder + "\\TempFiles2\\" + name);
  for (const auto& [expected, path] : kOutputs)
    events.push_back("write " + folder + "\\" + path);
  events.push_back("start " + folder + "\\install.bat");
  return events;
}

// The templates are those of the sample bundle in examples/bundle, the expected files are beside
// the tests.
TEST(ConfigureBundle, SampleBundleGivesTheExpectedFilesByteForByte) {
  for (const int32_t port : {80, 81}) {
    SCOPED_TRACE(port);
    FakeMachine machine;
    for (const std::string& name : kTemplateNames) {
      machine.files[kWeb.folder + "\\TempFiles2\\" + name] =
          ReadDataFile("../../../examples/bundle/TempFiles2/" + name);
    }
    ConfigureBundle(kWeb, port, kGbk, machine);
    for (const auto& [expected, path] : kOutputs) {
      SCOPED_TRACE(expected);
      EXPECT_EQ(machine.files[kWeb.folder + "\\" + path],
                ReadDataFile("expected-" + std::to_string(port) + "/" + expected));
    }
  }
}

TEST(ConfigureBundle, ReadsWritesAndStartsInOrderWithTheDoubledSeparatorKept) {
  for (const std::string folder : {"D:\\srv\\web\\", "D:\\"}) {
    SCOPED_TRACE(folder);
    FakeMachine machine;
    machine.PutTemplates(folder, "x");
    ConfigureBundle({folder, folder, folder}, 80, kGbk, machine);
    EXPECT_EQ(machine.events, WholeRun(folder));
  }
}

TEST(ConfigureBundle, ReplacesOnlyThePlaceholdersListedForEachFile) {
  FakeMachine machine;
  machine.PutTemplates(kWeb.folder, "[xpath]|[port]|[port2]|[XPATH]|[Port]");
  ConfigureBundle(kWeb, 81, kGbk, machine);
  const std::string xpathOnly = "D:\\srv\\web\\|[port]|[port2]|[XPATH]|[Port]\r\n\r\n";
  const std::string port2Only = "[xpath]|[port]|:81|[XPATH]|[Port]\r\n\r\n";
  const std::string expected[] = {// in the order of kOutputs
                                  "D:\\srv\\web\\|[port]|:81|[XPATH]|[Port]\r\n\r\n",
                                  xpathOnly,
                                  port2Only,
                                  port2Only,
                                  xpathOnly,
                                  "D:\\srv\\web\\|81|[port2]|[XPATH]|[Port]\r\n\r\n",
                                  "D:\\\\srv\\\\web\\\\|[port]|[port2]|[XPATH]|[Port]\r\n\r\n"};
  for (size_t i = 0; i < kOutputs.size(); ++i)
    EXPECT_EQ(machine.files[kWeb.folder + "\\" + kOutputs[i].second], expected[i]);
}

// The output at `path` after a run for port 81 over seven templates holding `content`.
std::string OutputOf(const BundleFolder& where, const std::string& content,
                     const std::string& path) {
  FakeMachine machine;
  machine.PutTemplates(where.folder, content);
  ConfigureBundle(where, 81, kGbk, machine);
  return machine.files.at(where.folder + "\\" + path);
}

// The option file's value as the database server reads it: "\b", "\t", "\n", "\r", "\s" and "\\"
// are escapes, any other pair is kept as written.
std::string AsOptionReaderReads(const std::string& value) {
  std::string read;
  for (size_t i = 0; i < value.size(); ++i) {
    const size_t escape = i + 1 < value.size() && value[i] == '\\'
                              ? std::string_view("btnrs\\").find(value[i + 1])
                              : std::string_view::npos;
    if (escape == std::string_view::npos) {
      read += value[i];
      continue;
    }
    read += "\b\t\n\r \\"[escape];
    ++i;
  }
  return read;
}

// The folder as a path is UTF-8; the configuration files get it in the ANSI code page, the batch
// scripts in the OEM code page (here 1252 and 437: "é" is 0xE9 and 0x82), and the option file in
// the ANSI code page with every backslash doubled, so that its reader gives back the folder.
TEST(ConfigureBundle, EachFileGetsTheFolderAsItsReaderReadsIt) {
  const BundleFolder jose{"C:\\soft\\tools\\Jos\xC3\xA9\\", "C:\\soft\\tools\\Jos\xE9\\",
                          "C:\\soft\\tools\\Jos\x82\\"};
  FakeMachine machine;
  machine.PutTemplates(jose.folder, "[xpath]local");
  ConfigureBundle(jose, 81, LeadBytes(), machine);
  const auto output = [&](const std::string& path) {
    const std::string& bytes = machine.files.at(jose.folder + "\\" + path);
    return bytes.substr(0, bytes.find('\r'));
  };
  EXPECT_EQ(output("install.bat"), jose.scriptFolderText + "local");
  EXPECT_EQ(output("unstall.bat"), jose.scriptFolderText + "local");
  EXPECT_EQ(output("local\\Apache2\\php.ini"), jose.folderText + "local");
  EXPECT_EQ(output("local\\Apache2\\conf\\httpd.conf"), jose.folderText + "local");
  EXPECT_EQ(AsOptionReaderReads(output("local\\mysql5\\my.ini")), jose.folderText + "local");
  EXPECT_EQ(AsOptionReaderReads(jose.folderText), "C: oft\tools\\Jos\xE9\\");  // undoubled
  const std::string chinese = "D:\\\xD6\xD0\xCE\xC4 \xC4\xBF\xC2\xBC\\";       // D:\中文 目录
  EXPECT_EQ(AsOptionReaderReads(OptionFileText(chinese)), chinese);
}

// ソ in code page 932 and 功 in 950 end in byte 0x5C; nothing is read, and the box names them.
TEST(ConfigureBundle, FolderWithABackslashSecondByteIsRefusedNamingTheCharacter) {
  const LeadBytes sjis = LeadBytes::From(
      [](unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); });
  const LeadBytes big5 = LeadBytes::From([](unsigned char b) { return b >= 0x81 && b <= 0xFE; });
  struct Case {
    BundleFolder where;
    const LeadBytes& leads;
    std::string character;
  };
  const Case cases[] = {
      {{"D:\\\xE3\x82\xBD\xE3\x83\x95\xE3\x83\x88\\", "D:\\\x83\x5C\x83\x74\x83\x67\\", ""},
       sjis,
       "\xE3\x82\xBD"},
      {{"D:\\ab\xE6\x88\x90\xE5\x8A\x9F\\", "D:\\ab\xA6\xA8\xA5\x5C\\", ""}, big5, "\xE5\x8A\x9F"},
  };
  for (const Case& c : cases) {
    FakeMachine machine;
    machine.PutTemplates(c.where.folder, "[xpath]");
    try {
      ConfigureBundle(c.where, 80, c.leads, machine);
      ADD_FAILURE() << "no failure for " << c.where.folder;
    } catch (const Failure& failure) {
      EXPECT_NE(std::string(failure.what()).find("\xE2\x80\x9C" + c.character + "\xE2\x80\x9D"),
                std::string::npos)
          << failure.what();
      EXPECT_NE(std::string(failure.what()).find("请点击“取消”"), std::string::npos)
          << failure.what();  // Retry cannot help
    }
    EXPECT_EQ(machine.events, std::vector<std::string>{});
  }
  // A second byte 0x5C only counts inside a character: "\" after a whole character is a separator.
  EXPECT_EQ(FindBackslashSecondByte("D:\\\x83\x74\\x", sjis), std::string::npos);
  EXPECT_EQ(FindBackslashSecondByte("\x83\x83\x5C", sjis), std::string::npos);
  EXPECT_EQ(CharacterAt("a\xE3\x82\xBD", "a\x83\x5C", 1, sjis), "\xE3\x82\xBD");
  EXPECT_EQ(CharacterAt("a", "a\x83\x5C", 1, sjis), "");  // texts that do not line up
}

TEST(ConfigureBundle, FolderHoldingPortPlaceholderIsReplacedInTurnInHttpdConf) {
  const BundleFolder where{"D:\\[port]\\", "D:\\[port]\\", "D:\\[port]\\"};
  EXPECT_EQ(OutputOf(where, "[xpath]", "local\\Apache2\\conf\\httpd.conf"), "D:\\81\\\r\n\r\n");
  EXPECT_EQ(OutputOf(where, "[xpath]", "install.bat"), "D:\\[port]\\\r\n\r\n");
}

TEST(ConfigureBundle, PlaceholderAfterSecondByteBracketIsLeftAlone) {
  EXPECT_EQ(OutputOf(kWeb, "\x81[xpath] [xpath]", "unstall.bat"),
            "\x81[xpath] D:\\srv\\web\\\r\n\r\n");
}

// Whatever step fails, the run stops right there: nothing after it is read, written or started,
// and what was written before it stays written.
TEST(ConfigureBundle, AFailureStopsAtItsStepAndKeepsWhatWasWritten) {
  const std::vector<std::string> whole = WholeRun(kWeb.folder);
  constexpr size_t kReads = 7;
  FakeMachine complete;
  complete.PutTemplates(kWeb.folder, "[xpath]");
  ConfigureBundle(kWeb, 80, kGbk, complete);
  for (size_t step = 0; step < whole.size(); ++step) {
    SCOPED_TRACE(whole[step]);
    FakeMachine machine;
    machine.PutTemplates(kWeb.folder, "[xpath]");
    const std::string path = whole[step].substr(whole[step].find(' ') + 1);
    if (whole[step].rfind("read ", 0) == 0)
      machine.files.erase(path);
    else if (whole[step].rfind("write ", 0) == 0)
      machine.failingWrites.insert(path);
    else
      machine.failStart = true;
    const auto before = machine.files;

    EXPECT_THROW(ConfigureBundle(kWeb, 80, kGbk, machine), Failure);
    EXPECT_EQ(machine.events, std::vector<std::string>(whole.begin(), whole.begin() + step + 1));
    size_t written = 0;
    for (const auto& [name, bytes] : machine.files) {
      if (before.count(name) == 0) {
        ++written;
        EXPECT_EQ(bytes, complete.files[name]) << name;  // whole, as in a complete run
      }
    }
    EXPECT_EQ(written, std::min<size_t>(step > kReads ? step - kReads : 0, 7));
  }
}

// Without elevated rights the install script is started through the request for administrator
// rights; a declined request fails the configuration (the caller then writes no marker), says why,
// and keeps the files written.
TEST(ConfigureBundle, InstallScriptGetsAdministratorRightsOrTheConfigurationFails) {
  for (const bool elevated : {true, false}) {
    FakeMachine machine;
    machine.PutTemplates(kWeb.folder, "x");
    machine.elevated = elevated;
    ConfigureBundle(kWeb, 80, kGbk, machine);
    EXPECT_EQ(machine.events.back(),
              (elevated ? "start " : "runas ") + kWeb.folder + "\\install.bat");
  }
  FakeMachine declined;
  declined.PutTemplates(kWeb.folder, "x");
  declined.elevated = false;
  declined.declineRunAs = true;
  try {
    ConfigureBundle(kWeb, 80, kGbk, declined);
    ADD_FAILURE() << "no failure";
  } catch (const Failure& failure) {
    const std::string message = failure.what();
    for (const char* part : {"install.bat", "需要以管理员身份运行", "被拒绝", "配置文件均已写入",
                             "点击“重试”", "“Windows 命令处理程序”", "点击“是”"})
      EXPECT_NE(message.find(part), std::string::npos) << part << " not in: " << message;
  }
  EXPECT_EQ(declined.files.size(), 14u);  // templates and outputs
}

TEST(ConfigureBundle, FolderWithPercentIsRefusedBeforeAnythingIsTouched) {
  const BundleFolder where{"D:\\100%web\\", "D:\\100%web\\", "D:\\100%web\\"};
  FakeMachine machine;
  machine.PutTemplates(where.folder, "[xpath]");
  try {
    ConfigureBundle(where, 80, kGbk, machine);
    ADD_FAILURE() << "no failure";
  } catch (const Failure& failure) {
    EXPECT_NE(std::string(failure.what()).find("D:\\100%web\\"), std::string::npos);
  }
  EXPECT_TRUE(machine.events.empty());
}

TEST(ConfigureBundle, TemplateNameLosesItsTrailingBlankOnlyInThePath) {
  const std::vector<Template>& table = Templates();
  ASSERT_EQ(table.size(), 7u);
  EXPECT_EQ(table[3].name, "Httpd.conf ");
  EXPECT_EQ(TemplatePath("D:\\srv\\web\\", table[3]), "D:\\srv\\web\\\\TempFiles2\\Httpd.conf");
  EXPECT_EQ(OutputPath("D:\\", table[3]), "D:\\\\local\\Apache2\\conf\\httpd.conf");
}

TEST(ScriptCommandLine, QuotesTheScriptForTheCommandProcessor) {
  EXPECT_EQ(ScriptCommandLine("C:\\windows\\system32\\cmd.exe", "D:\\a b&c^(d)\\\\install.bat"),
            "\"C:\\windows\\system32\\cmd.exe\" /d /v:off /s /c "
            "\"\"D:\\a b&c^(d)\\\\install.bat\"\"");
}

TEST(ScriptCommandLine, RefusesWhatCannotBePassedSafely) {
  for (const std::string bad : {"D:\\100%\\install.bat", "D:\\%PATH%\\install.bat",
                                "D:\\a\"b\\install.bat", "D:\\a\nb\\install.bat"}) {
    EXPECT_THROW(ScriptCommandLine("C:\\windows\\system32\\cmd.exe", bad), Failure) << bad;
  }
}

// The elevated start enters the folder itself; the script runs even where that fails, and a folder
// that cannot be passed safely is left out rather than stopping the start.
TEST(ScriptArgumentsIn, EntersTheFolderThenRunsTheScriptWhateverTheChangeGave) {
  EXPECT_EQ(ScriptArgumentsIn("D:\\a b&c", "D:\\a b&c\\install.bat"),
            "/d /v:off /s /c \"cd /d \"D:\\a b&c\" & \"D:\\a b&c\\install.bat\"\"");
  for (const std::string unsafe : {"", "D:\\100%", "D:\\a\"b"})
    EXPECT_EQ(ScriptArgumentsIn(unsafe, "D:\\x.bat"), ScriptArguments("D:\\x.bat")) << unsafe;
  EXPECT_THROW(ScriptArgumentsIn("D:\\", "D:\\%x%.bat"), Failure);
}

// The script runs in its own folder: the bundle's, written with its trailing separator doubled.
TEST(ScriptFolder, IsTheScriptsOwnFolder) {
  EXPECT_EQ(ScriptFolder("D:\\web\\\\install.bat"), "D:\\web");
  EXPECT_EQ(ScriptFolder("D:\\a b\\c\\install.bat"), "D:\\a b\\c");
  // "D:" alone would be the drive's current folder, not its root.
  EXPECT_EQ(ScriptFolder("D:\\\\install.bat"), "D:\\");
  EXPECT_EQ(ScriptFolder("install.bat"), "");
}

}  // namespace
}  // namespace orv
