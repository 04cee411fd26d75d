// The database's endpoint read from a bundle on disk under Wine: the server's version from its
// executable's version resource (the program itself, whose resource says 1.0, stands in for the
// database server) and the option file that its service's command line names.
#include "watch/my_ini_port_win32.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "built_file_win32.h"
#include "platform/text_win32.h"

namespace orv {
namespace {

std::optional<int32_t> PortOf(const DatabaseEndpoint& endpoint) {
  return endpoint.kind == DatabaseEndpoint::Kind::kTcpPort ? std::optional(endpoint.port)
                                                           : std::nullopt;
}

void Write(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

TEST(ExecutableVersion, ReadsTheFixedFileVersion) {
  const std::filesystem::path program = BuiltFile("ORV_PROGRAM");
  ASSERT_TRUE(std::filesystem::exists(program)) << "ORV_PROGRAM names no file";
  const std::optional<ServerVersion> version = ExecutableVersion(WideToUtf8(program.wstring()));
  ASSERT_TRUE(version);
  EXPECT_EQ(version->major, 1);  // res/orvandimex.rc: FILEVERSION 1,0,0,0
  EXPECT_EQ(version->minor, 0);
  // The test program has no version resource; a missing file has none either.
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  EXPECT_FALSE(ExecutableVersion(WideToUtf8(self)));
  EXPECT_FALSE(ExecutableVersion(WideToUtf8(program.wstring()) + ".missing"));
}

TEST(BundleDatabaseEndpoint, TheServersVersionAndItsServicesOptionFile) {
  const std::filesystem::path program = BuiltFile("ORV_PROGRAM");
  ASSERT_TRUE(std::filesystem::exists(program)) << "ORV_PROGRAM names no file";
  const std::filesystem::path bundle = std::filesystem::temp_directory_path() / L"orv my ini";
  std::filesystem::remove_all(bundle);
  const std::filesystem::path database = bundle / L"local" / L"mysql5";
  std::filesystem::create_directories(database / L"bin");
  std::filesystem::create_directories(bundle / L"other dir");
  const std::filesystem::path server = database / L"bin" / L"mysqld.exe";
  std::filesystem::copy_file(program, server);
  Write(database / L"my.ini",
        "[mysqld]\r\nport=3400\r\n[mysqld-1.0]\r\nport=3401\r\n"
        "[mysqld-5.1]\r\nport=3402\r\n[MySQL5]\r\nport=3403\r\n");
  Write(bundle / L"other dir" / L"db.ini", "[mysqld]\r\nport=3404\r\n[MySQL5]\r\nport=3405\r\n");
  const std::string folder = WideToUtf8(bundle.wstring()) + "\\";

  // No service: the written my.ini, with the version of local\mysql5\bin\mysqld.exe.
  EXPECT_EQ(PortOf(BundleDatabaseEndpoint(folder, {})), 3401);

  // The bundle's service names another file and a group of its own.
  ServiceFacts service;
  service.name = "MySQL5";
  service.binaryPath = WideToUtf8(server.wstring());
  service.commandLine =
      "\"" + service.binaryPath + "\" --defaults-file=\"" + folder + "other dir\\db.ini\" MySQL5";
  service.insideBundle = true;
  service.state = 4;  // SERVICE_RUNNING
  EXPECT_EQ(PortOf(BundleDatabaseEndpoint(folder, {service})), 3405);
  // Without --defaults-file it reads the bundle's my.ini, with its group and version.
  service.commandLine = "\"" + service.binaryPath + "\" MySQL5";
  EXPECT_EQ(PortOf(BundleDatabaseEndpoint(folder, {service})), 3403);
  // A service that is not the bundle's decides nothing.
  service.insideBundle = false;
  EXPECT_EQ(PortOf(BundleDatabaseEndpoint(folder, {service})), 3401);

  std::error_code ignored;
  std::filesystem::remove_all(bundle, ignored);
}

}  // namespace
}  // namespace orv
