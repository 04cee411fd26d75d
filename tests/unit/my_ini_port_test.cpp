#include "watch/my_ini_port.h"

#include <gtest/gtest.h>

#include <map>

namespace orv {
namespace {

using Kind = DatabaseEndpoint::Kind;

// Option files by path, and folders by path with their option files' names.
struct FakeIncludes final : OptionIncludes {
  std::map<std::string, std::string> files;
  std::map<std::string, std::vector<std::string>> folders;

  std::optional<std::string> Read(const std::string& path) override {
    const auto found = files.find(path);
    return found == files.end() ? std::nullopt : std::optional(found->second);
  }
  std::optional<std::vector<std::string>> OptionFilesIn(const std::string& folder) override {
    const auto found = folders.find(folder);
    return found == folders.end() ? std::nullopt : std::optional(found->second);
  }
};

// The port read from `bytes`, 0 for no TCP port, -1 where unknown, nothing without a server.
std::optional<int32_t> Port(std::string_view bytes, FakeIncludes includes = {}) {
  const DatabaseEndpoint endpoint = DatabaseEndpointFromMyIni(bytes, includes);
  switch (endpoint.kind) {
    case Kind::kNoServer:
      return std::nullopt;
    case Kind::kNoTcp:
      return 0;
    case Kind::kUnknown:
      return -1;
    case Kind::kTcpPort:
      break;
  }
  return endpoint.port;
}

TEST(DatabaseEndpointFromMyIni, TakesTheLastPortOfEveryGroupTheServerReads) {
  EXPECT_EQ(Port("# MySQL 5\r\n[client]\r\nport=3307\r\n[mysqld]\r\nport=3310\r\n"
                 "basedir=\"C:\\\\b\\\\local\\\\mysql5\"\r\n[mysqldump]\r\nport=1\r\n"),
            3310);
  // Names in any case, blanks around them and "=".
  EXPECT_EQ(Port("[ MySQLd ]\n  PORT = 3311\n[client]\n[mysqld]\nPort\t=\t3312\n"), 3312);
  // [server] and the version's group count too, in the order they stand.
  EXPECT_EQ(Port("[mysqld]\nport=3313\n[server]\nport=3314\n"), 3314);
  EXPECT_EQ(Port("[mysqld-5.5]\nport=3315\n[mysqld]\nbasedir=x\n"), 3315);
  EXPECT_EQ(Port("[mysqld]\nport=3316\n[mysqld-5.1]\nport=3317\n"), 3317);
  EXPECT_EQ(Port("[client]\nport=3306\n[mysqldx]\nport=3307\n[mysqld-8.0]\nport=1\n"),
            std::nullopt);
}

TEST(DatabaseEndpointFromMyIni, CommentsQuotesAndTheByteOrderMark) {
  EXPECT_EQ(Port("[mysqld]\n# port=1\n ; port=2\nport=3313 # the server's\n"), 3313);
  EXPECT_EQ(Port("[mysqld]\nport=\"3330\"\n"), 3330);
  // A commented-out group header does not open the group.
  EXPECT_EQ(Port("#[mysqld]\nport=3315\n"), std::nullopt);
  // A UTF-8 byte order mark is no part of the first group's name.
  EXPECT_EQ(Port("\xEF\xBB\xBF[mysqld]\nport=3318\n"), 3318);
}

TEST(DatabaseEndpointFromMyIni, DefaultPortAndPortsTheServerRefuses) {
  EXPECT_EQ(Port("[client]\nport=3320\n[mysqld]\nbasedir=x\nreport=9\n"), 3306);
  EXPECT_EQ(Port("[mysqld]"), 3306);
  EXPECT_EQ(Port("[mysqld]\nport=0\n"), 3306);
  for (const char* bad : {"port=", "port=65536", "port=33o6", "port=-3306"}) {
    EXPECT_EQ(Port(std::string("[mysqld]\n") + bad + "\n"), -1) << bad;
  }
}

TEST(DatabaseEndpointFromMyIni, SkipNetworkingOpensNoPort) {
  EXPECT_EQ(Port("[mysqld]\nport=3321\nskip-networking\n"), 0);
  EXPECT_EQ(Port("[mysqld]\nSKIP_NETWORKING = ON\n"), 0);
  EXPECT_EQ(Port("[mysqld]\nskip-networking\n[server]\nskip_networking=0\nport=3322\n"), 3322);
  EXPECT_EQ(Port("[client]\nskip-networking\n[mysqld]\nport=3323\n"), 3323);
  EXPECT_EQ(Port("[mysqld]\nskip-networking=maybe\n"), -1);
}

TEST(DatabaseEndpointFromMyIni, FollowsIncludesWhereTheyCanBeFollowed) {
  FakeIncludes includes;
  includes.files["C:\\b\\extra.cnf"] = "[mysqld]\nport=3331\n";
  includes.files["C:\\b\\conf.d\\a.cnf"] = "port=1\n[mysqld]\nport=3332\n";
  includes.files["C:\\b\\conf.d\\b.ini"] = "[server]\nport=3333\n";
  includes.folders["C:\\b\\conf.d"] = {"a.cnf", "b.ini"};
  // The included file's values count in the place of the line; its own lines start outside any
  // group, and the including file's group goes on after it.
  EXPECT_EQ(Port("[mysqld]\nport=3330\n!include C:\\\\b\\\\extra.cnf\n", includes), 3331);
  EXPECT_EQ(Port("[mysqld]\n!include C:\\b\\extra.cnf\nport=3334\n", includes), 3334);
  EXPECT_EQ(Port("[client]\n!includedir C:\\b\\conf.d\n", includes), 3333);
  // A missing file is skipped, as the server skips it; a missing folder keeps the server from
  // starting, and a relative path depends on the folder it runs in: no verdict.
  EXPECT_EQ(Port("[mysqld]\nport=3335\n!include C:\\b\\missing.cnf\n", includes), 3335);
  EXPECT_EQ(Port("[mysqld]\n!include C:\\b\\missing.cnf\n", includes), 3306);
  EXPECT_EQ(Port("[mysqld]\n!includedir C:\\nowhere\n", includes), -1);
  EXPECT_EQ(Port("[mysqld]\n!include extra.cnf\n", includes), -1);
  // A file that includes itself ends at the server's depth, whose directives it skips.
  includes.files["C:\\b\\loop.cnf"] = "!include C:\\b\\loop.cnf\n[mysqld]\nport=3336\n";
  EXPECT_EQ(Port("[mysqld]\n!include C:\\b\\loop.cnf\n", includes), 3336);
}

// The endpoint read for a server started as `start`.
std::optional<int32_t> PortFor(std::string_view bytes, const ServerStart& start) {
  FakeIncludes includes;
  const DatabaseEndpoint endpoint = DatabaseEndpointFromMyIni(bytes, includes, start);
  return endpoint.kind == Kind::kTcpPort ? std::optional(endpoint.port) : std::nullopt;
}

TEST(DatabaseEndpointFromMyIni, ReadsTheGroupsOfTheServiceAndOfTheServersVersion) {
  const std::string bytes =
      "[mysqld]\nport=3340\n[MySQL5]\nport=3341\n[mysqld-5.1]\nport=3342\n"
      "[mysqld-5.5]\nport=3343\n[mysql]\nport=3344\n";
  // Unknown version: every [mysqld-5.N]; the service's group comes before them here.
  EXPECT_EQ(PortFor(bytes, {"MySQL5", std::nullopt}), 3343);
  // A 5.1 server reads [mysqld-5.1] only.
  EXPECT_EQ(PortFor(bytes, {"", ServerVersion{5, 1}}), 3342);
  EXPECT_EQ(PortFor(bytes, {"mysql5", ServerVersion{5, 0}}), 3341);
  // "MySQL" in any case adds no group: [mysql] belongs to the client.
  EXPECT_EQ(PortFor(bytes, {"MYSQL", ServerVersion{5, 0}}), 3340);
  // Without the service the group is not read: [MySQL5] alone is no server group.
  EXPECT_EQ(PortFor("[MySQL5]\nport=3345\n", {"MySQL5", std::nullopt}), 3345);
  EXPECT_EQ(PortFor("[MySQL5]\nport=3345\n", {}), std::nullopt);
}

TEST(DatabaseFileOptionsFromMyIni, ReadsPathsWithTheServersQuotesEscapesAndComments) {
  FakeIncludes includes;
  includes.files["C:\\b\\extra.ini"] = "[mysqld]\nlog-error=\"late.err\"\n";
  // The bundle writes its folder with doubled backslashes; "\s" is a blank, "\d" stays as it is.
  const DatabaseFileOptions options = DatabaseFileOptionsFromMyIni(
      "[client]\nlog-error=client.err\n[mysqld]\n"
      "basedir=\"C:\\\\b\\\\local\\\\mysql5\" # the base\n"
      "datadir = 'D:\\\\my\\sdata\\data#1'\n"
      "log_error=first.err\n"
      "pid-file=C:\\data\\x.pid\n"
      "!include C:\\\\b\\\\extra.ini\n",
      includes);
  EXPECT_FALSE(options.noServer);
  EXPECT_FALSE(options.unknown);
  EXPECT_EQ(options.baseDir, "C:\\b\\local\\mysql5");
  EXPECT_EQ(options.dataDir, "D:\\my data\\data#1");
  EXPECT_EQ(options.logError, "late.err");  // the included file is read after the line before it
  EXPECT_EQ(options.pidFile, "C:\\data\\x.pid");
  EXPECT_FALSE(options.console);

  const DatabaseFileOptions bare =
      DatabaseFileOptionsFromMyIni("[mysqld]\nlog-error\nconsole\n", includes);
  EXPECT_EQ(bare.logError, "");
  EXPECT_TRUE(bare.console);
  EXPECT_TRUE(DatabaseFileOptionsFromMyIni("[client]\nport=1\n", includes).noServer);
  EXPECT_TRUE(DatabaseFileOptionsFromMyIni("[mysqld]\n!includedir C:\\none\n", includes).unknown);
}

TEST(ReadServerCommandLine, TakesTheDefaultsFileAndTheServiceName) {
  const auto read = [](std::string_view line) {
    const ServerCommandLine result = ReadServerCommandLine(line);
    return result.defaultsFile.value_or("(none)") + "|" + result.serviceName;
  };
  // As the server's --install registers it: the file quoted where it has blanks.
  EXPECT_EQ(read("\"C:\\My Web\\local\\mysql5\\bin\\mysqld.exe\" "
                 "--defaults-file=\"C:\\My Web\\local\\mysql5\\my.ini\" MySQL5"),
            "C:\\My Web\\local\\mysql5\\my.ini|MySQL5");
  EXPECT_EQ(read("C:\\w\\bin\\mysqld.exe --defaults-file=C:\\w\\my.ini MySQL"),
            "C:\\w\\my.ini|MySQL");
  EXPECT_EQ(read("  \"C:\\w\\bin\\mysqld.exe\"\t\"--defaults-file=C:\\a b\\my.ini\"  \"My Sql\" "),
            "C:\\a b\\my.ini|My Sql");
  // Backslashes before a quote escape it; elsewhere they are literal.
  EXPECT_EQ(read("x.exe --defaults-file=\"C:\\q\\\"x\\\\\" S"), "C:\\q\"x\\|S");
  // Only the leading --defaults-... options, and only the "=" form, name the file.
  EXPECT_EQ(read("x.exe --defaults-extra-file=C:\\e.ini --defaults-file=C:\\f.ini S"),
            "C:\\f.ini|S");
  EXPECT_EQ(read("x.exe --console --defaults-file=C:\\f.ini S"), "(none)|S");
  EXPECT_EQ(read("x.exe --defaults-file C:\\f.ini"), "(none)|C:\\f.ini");
  // No service name where the last argument is an option or there is none.
  EXPECT_EQ(read("x.exe --defaults-file=C:\\f.ini"), "C:\\f.ini|");
  EXPECT_EQ(read("\"C:\\a b\\mysqld.exe\""), "(none)|");
  EXPECT_EQ(read(""), "(none)|");
}

TEST(BundleDatabaseService, TheBundlesServerByNameOrFolderRunningFirst) {
  const auto service = [](std::string name, std::string path, bool inside, uint32_t state) {
    ServiceFacts facts;
    facts.name = std::move(name);
    facts.binaryPath = std::move(path);
    facts.insideBundle = inside;
    facts.state = state;
    return facts;
  };
  const auto inDatabaseFolder = [](const std::string& path) {
    return path.starts_with("C:\\b\\local\\mysql5\\");
  };
  const auto pick = [&](const std::vector<ServiceFacts>& services) {
    const ServiceFacts* found = BundleDatabaseService(services, inDatabaseFolder);
    return found == nullptr ? std::string("(none)") : found->name;
  };
  constexpr uint32_t kRunning = 4;
  EXPECT_EQ(pick({service("Other", "C:\\x\\mysqld.exe", false, kRunning),
                  service("Web", "C:\\b\\local\\Apache2\\bin\\httpd.exe", true, kRunning)}),
            "(none)");
  EXPECT_EQ(pick({service("Old", "C:\\b\\local\\db\\MYSQLD-NT.EXE", true, kServiceStopped),
                  service("New", "C:\\b\\local\\mysql5\\bin\\server.exe", true, kRunning)}),
            "New");
  EXPECT_EQ(pick({service("Old", "C:\\b\\local\\db\\mysqld-nt.exe", true, kServiceStopped),
                  service("New", "C:\\b\\local\\mysql5\\bin\\mysqld.exe", true, kServiceStopped)}),
            "Old");
}

}  // namespace
}  // namespace orv
