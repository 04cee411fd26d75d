#include "config/configure_bundle.h"

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

#include "config/script_command.h"
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

const BundleFolder kWeb{"D:\\srv\\web\\", "D:\\srv\\web\\"};
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
  for (const std::string port : {"80", "81"}) {
    SCOPED_TRACE("port " + port);
    FakeMachine machine;
    for (const std::string& name : kTemplateNames) {
      machine.files[kWeb.folder + "\\TempFiles2\\" + name] =
          ReadDataFile("../../../examples/bundle/TempFiles2/" + name);
    }
    ConfigureBundle(kWeb, port, kGbk, machine);
    for (const auto& [expected, path] : kOutputs) {
      SCOPED_TRACE(expected);
      EXPECT_EQ(machine.files[kWeb.folder + "\\" + path],
                ReadDataFile("expected-" + port + "/" + expected));
    }
  }
}

TEST(ConfigureBundle, ReadsWritesAndStartsInOrderWithTheDoubledSeparatorKept) {
  for (const std::string folder : {"D:\\srv\\web\\", "D:\\"}) {
    SCOPED_TRACE(folder);
    FakeMachine machine;
    machine.PutTemplates(folder, "x");
    ConfigureBundle({folder, folder}, "80", kGbk, machine);
    EXPECT_EQ(machine.events, WholeRun(folder));
  }
}

TEST(ConfigureBundle, ReplacesOnlyThePlaceholdersListedForEachFile) {
  FakeMachine machine;
  machine.PutTemplates(kWeb.folder, "[xpath]|[port]|[port2]|[XPATH]|[Port]");
  ConfigureBundle(kWeb, "81", kGbk, machine);
  const std::string xpathOnly = "D:\\srv\\web\\|[port]|[port2]|[XPATH]|[Port]\r\n\r\n";
  const std::string port2Only = "[xpath]|[port]|:81|[XPATH]|[Port]\r\n\r\n";
  const std::string expected[] = {// in the order of kOutputs
                                  "D:\\srv\\web\\|[port]|:81|[XPATH]|[Port]\r\n\r\n",
                                  xpathOnly,
                                  port2Only,
                                  port2Only,
                                  xpathOnly,
                                  "D:\\srv\\web\\|81|[port2]|[XPATH]|[Port]\r\n\r\n",
                                  xpathOnly};
  for (size_t i = 0; i < kOutputs.size(); ++i)
    EXPECT_EQ(machine.files[kWeb.folder + "\\" + kOutputs[i].second], expected[i]);
}

// The output at `path` after a run for port 81 over seven templates holding `content`.
std::string OutputOf(const BundleFolder& where, const std::string& content,
                     const std::string& path) {
  FakeMachine machine;
  machine.PutTemplates(where.folder, content);
  ConfigureBundle(where, "81", kGbk, machine);
  return machine.files.at(where.folder + "\\" + path);
}

TEST(ConfigureBundle, FolderTextGoesIntoFilesAndFolderPathIntoPaths) {
  // The folder as a path is UTF-8; inside the files it is spelled in code page 936.
  const BundleFolder where{"C:\\\xE6\xB5\x8B\xE8\xAF\x95 web\\", "C:\\\xB2\xE2\xCA\xD4 web\\"};
  EXPECT_EQ(OutputOf(where, "\xD6\xD0[xpath]\xCE\xC4", "local\\mysql5\\my.ini"),
            "\xD6\xD0"
            "C:\\\xB2\xE2\xCA\xD4 web\\\xCE\xC4\r\n\r\n");
}

TEST(ConfigureBundle, FolderHoldingPortPlaceholderIsReplacedInTurnInHttpdConf) {
  const BundleFolder where{"D:\\[port]\\", "D:\\[port]\\"};
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
  ConfigureBundle(kWeb, "80", kGbk, complete);
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

    EXPECT_THROW(ConfigureBundle(kWeb, "80", kGbk, machine), Failure);
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
    ConfigureBundle(kWeb, "80", kGbk, machine);
    EXPECT_EQ(machine.events.back(),
              (elevated ? "start " : "runas ") + kWeb.folder + "\\install.bat");
  }
  FakeMachine declined;
  declined.PutTemplates(kWeb.folder, "x");
  declined.elevated = false;
  declined.declineRunAs = true;
  try {
    ConfigureBundle(kWeb, "80", kGbk, declined);
    ADD_FAILURE() << "no failure";
  } catch (const Failure& failure) {
    const std::string message = failure.what();
    for (const char* part :
         {"install.bat", "需要管理员权限", "被拒绝", "配置文件均已写入", "重新配置"})
      EXPECT_NE(message.find(part), std::string::npos) << part << " not in: " << message;
  }
  EXPECT_EQ(declined.files.size(), 14u);  // templates and outputs
}

TEST(ConfigureBundle, FolderWithPercentIsRefusedBeforeAnythingIsTouched) {
  const BundleFolder where{"D:\\100%web\\", "D:\\100%web\\"};
  FakeMachine machine;
  machine.PutTemplates(where.folder, "[xpath]");
  try {
    ConfigureBundle(where, "80", kGbk, machine);
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

TEST(Port2Text, IsEmptyOnlyForTheText80) {
  EXPECT_EQ(Port2Text("80"), "");
  EXPECT_EQ(Port2Text("81"), ":81");
  EXPECT_EQ(Port2Text("8080"), ":8080");
  EXPECT_EQ(Port2Text("080"), ":080");  // compared as text, not as a number
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

}  // namespace
}  // namespace orv
