#include "bundle/path_identity.h"

#include <gtest/gtest.h>

namespace orv {
namespace {

// A stand-in for the system's table: ASCII and a few letters beyond it, one unit for one.
std::u16string Upper(std::u16string_view text) {
  std::u16string upper(text);
  for (char16_t& unit : upper) {
    if (unit >= u'a' && unit <= u'z')
      unit = static_cast<char16_t>(unit - u'a' + u'A');
    else if (unit == u'ü')
      unit = u'Ü';
    else if (unit == u'ä')
      unit = u'Ä';
  }
  return upper;
}

std::u16string Id(std::u16string_view path) {
  return PathIdentity(path, &Upper);
}

TEST(PathIdentity, FoldsCaseAndSeparatorsAndDropsTheTrailingSeparator) {
  EXPECT_EQ(Id(u"d:/Web/Äpfel\\ü.exe"), u"D:\\WEB\\ÄPFEL\\Ü.EXE");
  EXPECT_EQ(Id(u"D:\\web\\"), u"D:\\WEB");
  EXPECT_EQ(Id(u"D:\\web\\\\"), u"D:\\WEB");
  EXPECT_EQ(Id(u"D:\\"), u"D:");
  // A doubled separator inside (the application folder and "\Finish.txt") counts once; a UNC
  // path keeps its leading pair.
  EXPECT_EQ(Id(u"D:\\web\\\\Finish.txt"), u"D:\\WEB\\FINISH.TXT");
  EXPECT_EQ(Id(u"\\\\server\\share\\"), u"\\\\SERVER\\SHARE");
  EXPECT_EQ(Id(u"//server/share/x"), u"\\\\SERVER\\SHARE\\X");
  // The letter case of another script goes by the table given; nothing else is changed.
  EXPECT_EQ(Id(u"D:\\配置"), u"D:\\配置");
}

TEST(PathIdentity, InsideMeansBelowTheFolderNotBesideIt) {
  const std::u16string web = Id(u"C:\\web\\");
  EXPECT_TRUE(IsInsideFolder(Id(u"C:\\web\\local\\mysql5\\bin\\mysqld.exe"), web));
  EXPECT_TRUE(IsInsideFolder(Id(u"c:/WEB/httpd.exe"), web));
  EXPECT_TRUE(IsInsideFolder(Id(u"C:\\Web\\x.exe"), Id(u"c:\\wEB")));
  EXPECT_TRUE(IsInsideFolder(Id(u"C:\\web\\äx\\ü.exe"), Id(u"C:\\WEB\\ÄX\\")));
  // A sibling whose name starts like the folder's, the folder itself, something above it.
  EXPECT_FALSE(IsInsideFolder(Id(u"C:\\web2\\x.exe"), web));
  EXPECT_FALSE(IsInsideFolder(Id(u"C:\\webx.exe"), web));
  EXPECT_FALSE(IsInsideFolder(Id(u"C:\\web\\"), web));
  EXPECT_FALSE(IsInsideFolder(Id(u"C:\\x.exe"), web));
  EXPECT_FALSE(IsInsideFolder(Id(u"D:\\web\\x.exe"), web));
  // A drive's root holds everything on that drive; an empty folder holds nothing.
  EXPECT_TRUE(IsInsideFolder(Id(u"C:\\web\\x.exe"), Id(u"c:\\")));
  EXPECT_FALSE(IsInsideFolder(Id(u"C:\\x.exe"), u""));
  EXPECT_FALSE(IsInsideFolder(u"", web));
}

}  // namespace
}  // namespace orv
