// The configuration writer against real files: a copy of the sample bundle in a scratch folder,
// configured through the same code as Configure, with the install script really started.

#include <gtest/gtest.h>

#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "bundle/bundle_location_win32.h"
#include "configure/configure_win32.h"
#include "configure/folder_text.h"
#include "configure/script_command.h"
#include "configure/script_start_win32.h"
#include "platform/failure.h"
#include "platform/file_system_win32.h"
#include "platform/text_win32.h"
#include "platform/unique_handle_win32.h"
#include "platform/windows_prelude_win32.h"

#include <objbase.h>
#include <winioctl.h>

namespace orv {
namespace {

namespace fs = std::filesystem;

// The seven outputs in the order they are written, after the application folder, and their names
// among the expected files.
struct Output {
  const char* path;
  const char* expected;
};
constexpr Output kOutputs[] = {
    {"install.bat", "install.bat"},         {"unstall.bat", "unstall.bat"},
    {"StartQorn.bat", "StartQorn.bat"},     {"StartZel.bat", "StartZel.bat"},
    {"local\\Apache2\\php.ini", "php.ini"}, {"local\\Apache2\\conf\\httpd.conf", "httpd.conf"},
    {"local\\mysql5\\my.ini", "my.ini"},
};
constexpr const char* kTemplates[] = {"Install.bat", "Unstall.bat",   "Php.Ini",     "Httpd.conf",
                                      "My.ini",      "StartQorn.bat", "StartZel.bat"};

// The folder the expected files were made for.
constexpr const char* kExpectedFolder = "D:\\srv\\web\\";

// The test data folder as a Windows path: Wine shows the Unix root as drive Z:.
std::string TestData() {
  const char* root = std::getenv("ORV_TEST_DATA");
  if (root == nullptr)
    throw Failure("ORV_TEST_DATA is not set");
  std::string path = root;
  if (!path.empty() && path.front() == '/')
    path = "Z:" + path;
  for (char& c : path) {
    if (c == '/')
      c = '\\';
  }
  return path;
}

std::string SampleBundle() {
  return TestData() + "\\..\\..\\examples\\bundle";
}

fs::path PathOf(const std::string& utf8) {
  return fs::path(Utf8ToWide(utf8));
}

// Waits a bounded time for the started install script's log to be complete; empty when it never
// appeared.
std::string WaitForInstallLog(const std::string& folder) {
  const std::string log = folder + "install.log";
  const std::string done = "\xB0\xB2\xD7\xB0\xCD\xEA\xB3\xC9";  // "安装完成" in code page 936
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (std::chrono::steady_clock::now() < deadline) {
    try {
      const std::string text = ReadWholeFile(log);
      if (text.find(done) != std::string::npos)
        return text;
    } catch (const Failure&) {
      // not there yet, or still being written
    }
    Sleep(50);
  }
  return std::string();
}

// A scratch copy of the sample bundle in a folder whose last part is `name` (UTF-8).
class Bundle {
 public:
  explicit Bundle(const std::string& name) {
    static std::atomic<int> counter{0};
    parent_ = fs::temp_directory_path() / ("orv-cfg-" + std::to_string(GetCurrentProcessId()) +
                                           "-" + std::to_string(counter++));
    fs::create_directories(parent_);
    root_ = WideToUtf8((parent_ / PathOf(name)).wstring());
    fs::copy(PathOf(SampleBundle()), PathOf(root_), fs::copy_options::recursive);
  }
  ~Bundle() {
    // A script that is still running keeps its folder busy for a moment.
    if (started_)
      WaitForInstallLog(folder());
    std::error_code error;
    for (fs::recursive_directory_iterator it(parent_, error), end; !error && it != end;
         it.increment(error))
      SetFileAttributesW(it->path().c_str(), FILE_ATTRIBUTE_NORMAL);
    fs::remove_all(parent_, error);
  }
  Bundle(const Bundle&) = delete;
  Bundle& operator=(const Bundle&) = delete;

  // The application folder: one trailing "\".
  std::string folder() const { return root_ + "\\"; }
  // The folder as it goes into the files.
  std::string folderText() const { return Utf8ToAnsiStrict(folder(), "folder"); }
  // Configures the bundle through `folder` (its own folder unless given), as Configure does.
  void Configure(int32_t port, const std::string& through = std::string()) {
    ConfigureIn(through.empty() ? folder() : through, port);
    started_ = true;
  }
  std::string Read(const std::string& relative) const {
    return ReadWholeFile(root_ + "\\" + relative);
  }
  bool Has(const std::string& relative) const {
    return fs::exists(PathOf(root_ + "\\" + relative));
  }
  void Put(const std::string& relative, const std::string& bytes) const {
    ReplaceWholeFile(root_ + "\\" + relative, bytes);
  }
  // The outputs that exist, in write order.
  std::vector<std::string> Outputs() const {
    std::vector<std::string> present;
    for (const Output& output : kOutputs) {
      if (Has(output.path))
        present.push_back(output.path);
    }
    return present;
  }
  // The files anywhere in the bundle that look like temporary files of ReplaceWholeFile.
  std::vector<std::string> TemporaryFiles() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(PathOf(root_))) {
      if (entry.path().extension() == L".tmp")
        names.push_back(WideToUtf8(entry.path().wstring()));
    }
    return names;
  }

 private:
  fs::path parent_;
  std::string root_;
  bool started_ = false;
};

using Paths = std::vector<std::string>;

// `bytes` with every occurrence of `from` replaced by `to`, bytes as they are.
std::string Substitute(std::string bytes, const std::string& from, const std::string& to) {
  for (size_t at = bytes.find(from); at != std::string::npos; at = bytes.find(from, at + to.size()))
    bytes.replace(at, from.size(), to);
  return bytes;
}

std::string Expected(int32_t port, const std::string& name) {
  return ReadWholeFile(TestData() + "\\config\\expected-" + std::to_string(port) + "\\" + name);
}

// Expects configuring to fail with a message that holds every one of `parts`, leaving no temporary
// file and starting no script.
void ExpectConfigureFails(Bundle& bundle, const std::vector<std::string>& parts) {
  try {
    bundle.Configure(80);
    ADD_FAILURE() << "no failure";
  } catch (const Failure& failure) {
    const std::string message = failure.what();
    for (const std::string& part : parts)
      EXPECT_NE(message.find(part), std::string::npos) << "\"" << part << "\" not in: " << message;
  }
  EXPECT_EQ(bundle.TemporaryFiles(), Paths{});
  Sleep(1000);  // a started script would have written its log within moments
  EXPECT_FALSE(bundle.Has("install.log"));
}

// For port 81 the templates are named in capitals: the system matches names whatever their case.
TEST(ConfigureWin32, SampleBundleGivesTheExpectedFilesAndStartsTheInstallScript) {
  for (const int32_t port : {80, 81}) {
    SCOPED_TRACE(port);
    Bundle bundle("web");
    for (const char* name : kTemplates) {
      std::string upper = name;
      for (char& c : upper)
        c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
      if (port == 81)
        fs::rename(PathOf(bundle.folder() + "TempFiles2\\" + name),
                   PathOf(bundle.folder() + "TempFiles2\\" + upper));
    }
    bundle.Configure(port);
    for (const Output& output : kOutputs) {
      SCOPED_TRACE(output.path);
      // The option file holds the folder with its backslashes doubled.
      const std::string read =
          Substitute(bundle.Read(output.path), OptionFileText(bundle.folderText()),
                     OptionFileText(kExpectedFolder));
      EXPECT_EQ(Substitute(read, bundle.folderText(), kExpectedFolder),
                Expected(port, output.expected));
    }
    const std::string log = WaitForInstallLog(bundle.folder());
    ASSERT_FALSE(log.empty()) << "install.log never appeared";
    EXPECT_NE(log.find(port == 80 ? "http://localhost/" : "http://localhost:81/"),
              std::string::npos)
        << log;
    // The templates stay as they were.
    EXPECT_EQ(bundle.Read("TempFiles2\\Httpd.conf"),
              ReadWholeFile(SampleBundle() + "\\TempFiles2\\Httpd.conf"));
  }
}

TEST(ConfigureWin32, LineEndsOfRealTemplatesFollowTheTextRules) {
  Bundle bundle("web");
  bundle.Put("TempFiles2\\Unstall.bat", "a\nb\n");          // LF only: one line
  bundle.Put("TempFiles2\\Php.Ini", "a\r\n[xpath]");        // no final line end
  bundle.Put("TempFiles2\\My.ini", "");                     // empty
  bundle.Put("TempFiles2\\StartZel.bat", "\xEF\xBB\xBFx");  // bytes that look like a BOM stay
  bundle.Configure(80);
  EXPECT_EQ(bundle.Read("unstall.bat"), "a\nb\n\r\n\r\n");
  EXPECT_EQ(bundle.Read("local\\Apache2\\php.ini"), "a\r\n" + bundle.folderText() + "\r\n\r\n");
  EXPECT_EQ(bundle.Read("local\\mysql5\\my.ini"), "\r\n");
  EXPECT_EQ(bundle.Read("StartZel.bat"), "\xEF\xBB\xBFx\r\n\r\n");
}

TEST(ConfigureWin32, FolderWithBlanksSymbolsAndChineseIsWrittenAndStarted) {
  // "配置 测试 & (a)^b!": cmd.exe's special characters and double-byte characters in the folder.
  Bundle bundle("\xE9\x85\x8D\xE7\xBD\xAE \xE6\xB5\x8B\xE8\xAF\x95 & (a)^b!");
  bundle.Configure(81);
  const std::string folderText = bundle.folderText();
  EXPECT_NE(folderText.find("\xC5\xE4\xD6\xC3 \xB2\xE2\xCA\xD4 & (a)^b!\\"), std::string::npos);
  EXPECT_EQ(bundle.Read("local\\mysql5\\my.ini"),
            Substitute(Expected(81, "my.ini"), OptionFileText(kExpectedFolder),
                       OptionFileText(folderText)));
  EXPECT_FALSE(WaitForInstallLog(bundle.folder()).empty()) << "install.log never appeared";
}

// Under Wine every process is elevated, "runas" starts at once and honours the directory it is
// given; Windows may start an elevated command processor in the system folder instead. So the
// command itself enters the folder: started from the system folder, the script runs in the
// folder named in the command, and a folder that cannot be entered does not stop it. The elevated
// start itself hands back the process, which ends with the script.
TEST(ConfigureWin32, ScriptRunsInItsOwnFolderOnBothStartsAndTheStartGivesTheProcess) {
  Bundle bundle("\xE7\xAE\xA1\xE7\x90\x86 \xE5\x90\xAF\xE5\x8A\xA8 & (a)");  // "管理 启动"
  const std::string done = "\xB0\xB2\xD7\xB0\xCD\xEA\xB3\xC9";  // as the sample script ends its log
  bundle.Put("run me.bat",
             "@echo off\r\ncd>\"%~dp0install.log\"\r\necho " + done + ">>\"%~dp0install.log\"\r\n");
  const std::string script = bundle.folder() + "run me.bat";
  const std::wstring system = Utf8ToWide(SystemCommandProcessor());
  const std::wstring systemFolder = system.substr(0, system.rfind(L'\\'));
  for (const std::string& folder : {bundle.folder() + "local", bundle.folder() + "missing"}) {
    std::wstring line = L"\"" + system + L"\" " + Utf8ToWide(ScriptArgumentsIn(folder, script));
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION started{};
    ASSERT_TRUE(CreateProcessW(system.c_str(), line.data(), nullptr, nullptr, FALSE,
                               CREATE_NO_WINDOW, nullptr, systemFolder.c_str(), &startup,
                               &started));
    const UniqueKernelHandle process(started.hProcess), thread(started.hThread);
    WaitForSingleObject(process.get(), 10000);
    const std::string ranIn = folder.ends_with("local") ? folder : WideToUtf8(systemFolder);
    EXPECT_EQ(WaitForInstallLog(bundle.folder()),
              Utf8ToAnsiStrict(ranIn, "folder") + "\r\n" + done + "\r\n");
    fs::remove(PathOf(bundle.folder() + "install.log"));
  }

  // Both starts run the script in its own folder, whatever the program's current folder is.
  const std::wstring current = Utf8ToWide(bundle.folder() + "local");
  ASSERT_TRUE(SetCurrentDirectoryW(current.c_str()));
  const std::string ranInBundle =
      Utf8ToAnsiStrict(ScriptFolder(script), "folder") + "\r\n" + done + "\r\n";
  const UniqueKernelHandle plain = StartScriptMinimized(script);
  EXPECT_EQ(WaitForSingleObject(plain.get(), 10000), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForInstallLog(bundle.folder()), ranInBundle);
  fs::remove(PathOf(bundle.folder() + "install.log"));

  const HRESULT apartment = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  const std::optional<UniqueKernelHandle> elevated = StartScriptAsAdministrator(script, nullptr);
  if (SUCCEEDED(apartment))
    CoUninitialize();
  SetCurrentDirectoryW(systemFolder.c_str());  // the bundle's folder is removed after the test
  ASSERT_TRUE(elevated.has_value());
  ASSERT_TRUE(elevated->valid());
  EXPECT_EQ(WaitForSingleObject(elevated->get(), 10000), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForInstallLog(bundle.folder()), ranInBundle);
}

// A Thai letter has no form in code page 936; "%" would be expanded by the command processor.
TEST(ConfigureWin32, FolderOutsideTheCodePageOrWithPercentIsRefusedBeforeAnythingIsWritten) {
  for (const char* name : {"web-\xE0\xB8\x81", "100%web"}) {
    Bundle bundle(name);
    ExpectConfigureFails(bundle, {bundle.folder()});
    EXPECT_EQ(bundle.Outputs(), Paths{});
  }
}

TEST(ConfigureWin32, MissingTemplateStopsWithNothingWritten) {
  Bundle bundle("web");
  fs::remove(PathOf(bundle.folder() + "TempFiles2\\StartZel.bat"));
  ExpectConfigureFails(bundle, {bundle.folder() + "\\TempFiles2\\StartZel.bat",
                                "\xE5\xA4\xB1\xE8\xB4\xA5"});  // "失败"
  EXPECT_EQ(bundle.Outputs(), Paths{});
}

TEST(ConfigureWin32, MissingOutputFolderStopsAfterTheFilesBeforeIt) {
  Bundle bundle("web");
  fs::remove_all(PathOf(bundle.folder() + "local\\Apache2\\conf"));
  ExpectConfigureFails(bundle, {bundle.folder() + "\\local\\Apache2\\conf\\httpd.conf"});
  EXPECT_EQ(bundle.Outputs(), (Paths{"install.bat", "unstall.bat", "StartQorn.bat", "StartZel.bat",
                                     "local\\Apache2\\php.ini"}));
}

TEST(ConfigureWin32, ReadOnlyTargetKeepsItsOldContent) {
  Bundle bundle("web");
  const std::string target = bundle.folder() + "local\\mysql5\\my.ini";
  bundle.Put("local\\mysql5\\my.ini", "old\r\n");
  ASSERT_TRUE(SetFileAttributesW(Utf8ToWide(target).c_str(), FILE_ATTRIBUTE_READONLY));
  ASSERT_TRUE(GetFileAttributesW(Utf8ToWide(target).c_str()) & FILE_ATTRIBUTE_READONLY);
  ExpectConfigureFails(bundle, {bundle.folder() + "\\local\\mysql5\\my.ini"});
  EXPECT_EQ(bundle.Read("local\\mysql5\\my.ini"), "old\r\n");
  EXPECT_TRUE(bundle.Has("local\\Apache2\\conf\\httpd.conf"));  // written before it
}

// A target in a scratch bundle, held open without sharing.
class LockedTargetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    bundle.Put("locked.txt", "old");
    lock.reset(CreateFileW(Utf8ToWide(target).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(lock);
  }

  Bundle bundle{"web"};
  const std::string target = bundle.folder() + "locked.txt";
  UniqueFileHandle lock;
};

TEST_F(LockedTargetTest, ReplaceWholeFileWaitsOutABriefLock) {
  std::thread release([&] {
    Sleep(300);
    lock.reset();
  });
  ReplaceWholeFile(target, "new");
  release.join();
  EXPECT_EQ(ReadWholeFile(target), "new");
  EXPECT_EQ(bundle.TemporaryFiles(), Paths{});
}

TEST_F(LockedTargetTest, ReplaceWholeFileGivesUpOnALockThatStays) {
  try {
    ReplaceWholeFile(target, "new");
  } catch (const Failure& failure) {
    EXPECT_NE(std::string(failure.what()).find(target), std::string::npos);
    lock.reset();
    EXPECT_EQ(ReadWholeFile(target), "old");
    EXPECT_EQ(bundle.TemporaryFiles(), Paths{});
    return;
  }
  lock.reset();
  GTEST_SKIP() << "this system lets a file opened without sharing be replaced";
}

// Maps a free drive letter to a folder for the life of the object, as a drive of its own: on Wine
// through the mount manager's request for a Unix drive (what its configuration tool uses), since
// DefineDosDevice there names the device without making its files reachable.
class MappedDrive {
 public:
  // `type` is what GetDriveTypeW then says of the drive (DRIVE_REMOTE for a network drive).
  explicit MappedDrive(const std::string& target, ULONG type = DRIVE_FIXED) {
    using UnixFileName = char*(CDECL*)(const wchar_t*);
    const auto unixFileName = reinterpret_cast<UnixFileName>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (unixFileName == nullptr)
      return;  // not Wine
    char* unixPath = unixFileName(Utf8ToWide(target).c_str());
    if (unixPath == nullptr)
      return;
    const std::string mountPoint = unixPath;
    HeapFree(GetProcessHeap(), 0, unixPath);
    for (wchar_t letter = L'M'; letter <= L'Y'; ++letter) {
      const std::wstring root{letter, L':', L'\\'};
      if (GetDriveTypeW(root.c_str()) != DRIVE_NO_ROOT_DIR)
        continue;
      if (Request(letter, type, mountPoint))
        letter_ = letter;
      return;
    }
  }
  ~MappedDrive() {
    if (letter_ != 0)
      Request(letter_, DRIVE_NO_ROOT_DIR, std::string());
  }
  MappedDrive(const MappedDrive&) = delete;
  MappedDrive& operator=(const MappedDrive&) = delete;

  // "m:\" or empty when no letter could be mapped.
  std::string root() const {
    return letter_ == 0 ? std::string() : std::string{static_cast<char>(letter_), ':', '\\'};
  }

 private:
  // The request as Wine 8's mount manager takes it; strings follow the fixed part.
  struct UnixDrive {
    ULONG size, type, fsType;
    DWORD serial;
    ULONGLONG unixDevice;
    WCHAR letter;
    USHORT mountPointOffset, deviceOffset, labelOffset;
  };
  static constexpr DWORD kDefineUnixDrive =
      CTL_CODE(static_cast<ULONG>('m'), 32, METHOD_BUFFERED, FILE_READ_ACCESS | FILE_WRITE_ACCESS);

  static bool Request(wchar_t letter, ULONG type, const std::string& mountPoint) {
    std::vector<char> buffer(sizeof(UnixDrive) + mountPoint.size() + 1, '\0');
    UnixDrive drive{};
    drive.size = static_cast<ULONG>(buffer.size());
    drive.type = type;
    drive.letter = letter;
    if (!mountPoint.empty()) {
      drive.mountPointOffset = sizeof(UnixDrive);
      mountPoint.copy(buffer.data() + sizeof(UnixDrive), mountPoint.size());
    }
    std::memcpy(buffer.data(), &drive, sizeof(drive));
    UniqueFileHandle manager(CreateFileW(L"\\\\.\\MountPointManager", GENERIC_READ | GENERIC_WRITE,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                         0, nullptr));
    DWORD returned = 0;
    return manager &&
           DeviceIoControl(manager.get(), kDefineUnixDrive, buffer.data(),
                           static_cast<DWORD>(buffer.size()), nullptr, 0, &returned, nullptr);
  }

  wchar_t letter_ = 0;
};

TEST(ConfigureWin32, DriveRootFolderKeepsItsOneSeparator) {
  Bundle bundle("root");
  MappedDrive drive(bundle.folder());
  if (drive.root().empty() || !fs::exists(PathOf(drive.root() + "TempFiles2\\Install.bat")))
    GTEST_SKIP() << "no drive letter could be mapped to a folder here";
  bundle.Configure(81, drive.root());
  const std::string root = drive.root();  // "M:\"
  EXPECT_EQ(
      bundle.Read("local\\mysql5\\my.ini"),
      Substitute(Expected(81, "my.ini"), OptionFileText(kExpectedFolder), OptionFileText(root)));
  EXPECT_NE(bundle.Read("install.bat").find("cd /d \"" + root + "\"\r\n"), std::string::npos);
  EXPECT_FALSE(WaitForInstallLog(bundle.folder()).empty()) << "install.log never appeared";
}

// The elevated script and the services would not see a network drive: refused before anything is
// written, with the way out in the message. (Wine cannot make a working substituted drive.)
TEST(ConfigureWin32, BundleOnANetworkDriveIsRefusedBeforeAnythingIsWritten) {
  Bundle bundle("net");
  MappedDrive drive(bundle.folder(), DRIVE_REMOTE);
  if (drive.root().empty() || GetDriveTypeW(Utf8ToWide(drive.root()).c_str()) != DRIVE_REMOTE)
    GTEST_SKIP() << "no network drive could be mapped to a folder here";
  try {
    bundle.Configure(80, drive.root());
    ADD_FAILURE() << "no failure";
  } catch (const Failure& failure) {
    EXPECT_NE(std::string(failure.what()).find(drive.root().substr(0, 2)), std::string::npos);
    EXPECT_NE(std::string(failure.what()).find("\xE6\x9C\xAC\xE5\x9C\xB0"), std::string::npos)
        << failure.what();  // "本地"
  }
  EXPECT_EQ(bundle.Outputs(), Paths{});
  EXPECT_EQ(LocationProblem(bundle.folder(), DriveFactsOf(bundle.folder())), "");  // its own path
}

// The install script runs under the command processor of the program's own width: the 32-bit one
// for the 32-bit program, also on 64-bit Windows, named by its real folder (SysWOW64 there).
TEST(ConfigureWin32, CommandProcessorHasTheProgramsOwnWidth) {
  BOOL wow64 = FALSE;
  ASSERT_TRUE(IsWow64Process(GetCurrentProcess(), &wow64));
  const bool underWow64 = sizeof(void*) == 4 && wow64;
  std::string cmdExe = SystemCommandProcessor();
  for (char& c : cmdExe)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const std::string folder = underWow64 ? "\\syswow64\\cmd.exe" : "\\system32\\cmd.exe";
  ASSERT_GE(cmdExe.size(), folder.size());
  EXPECT_EQ(cmdExe.substr(cmdExe.size() - folder.size()), folder) << SystemCommandProcessor();
  EXPECT_TRUE(fs::exists(PathOf(SystemCommandProcessor())));
}

}  // namespace
}  // namespace orv
