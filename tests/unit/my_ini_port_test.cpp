#include "watch/my_ini_port.h"

#include <gtest/gtest.h>

namespace orv {
namespace {

TEST(DatabasePortFromMyIni, TakesThePortOfTheServerSectionOnly) {
  EXPECT_EQ(DatabasePortFromMyIni("# MySQL 5\r\n[client]\r\nport=3307\r\n[mysqld]\r\nport=3310\r\n"
                                  "basedir=\"C:\\b\\local\\mysql5\"\r\n[mysqldump]\r\nport=1\r\n"),
            3310);
  // Names in any case, blanks around them and "=", and the last key of all [mysqld] sections.
  EXPECT_EQ(DatabasePortFromMyIni("[ MySQLd ]\n  PORT = 3311\n[client]\n[mysqld]\nPort\t=\t3312\n"),
            3312);
}

TEST(DatabasePortFromMyIni, SkipsComments) {
  EXPECT_EQ(DatabasePortFromMyIni("[mysqld]\n# port=1\n ; port=2\nport=3313 # the server's\n"),
            3313);
  EXPECT_EQ(DatabasePortFromMyIni("[mysqld]\nport=3314#\n"), 3314);
  // A commented-out section header does not open the section.
  EXPECT_EQ(DatabasePortFromMyIni("#[mysqld]\nport=3315\n"), std::nullopt);
}

TEST(DatabasePortFromMyIni, DefaultsTo3306WithoutTheKey) {
  EXPECT_EQ(DatabasePortFromMyIni("[client]\nport=3320\n[mysqld]\nbasedir=x\nreport=9\n"), 3306);
  EXPECT_EQ(DatabasePortFromMyIni("[mysqld]"), 3306);
}

TEST(DatabasePortFromMyIni, NoDatabaseWithoutSectionOrWithABadPort) {
  EXPECT_EQ(DatabasePortFromMyIni(""), std::nullopt);
  EXPECT_EQ(DatabasePortFromMyIni("[client]\nport=3306\n[mysqldx]\nport=3307\n"), std::nullopt);
  for (const char* bad : {"port=", "port=0", "port=65536", "port=33o6", "port=-3306"}) {
    EXPECT_EQ(DatabasePortFromMyIni(std::string("[mysqld]\n") + bad + "\n"), std::nullopt) << bad;
  }
  EXPECT_EQ(DatabasePortFromMyIni("[mysqld]\nport=\"3330\"\n"), 3330);
}

}  // namespace
}  // namespace orv
