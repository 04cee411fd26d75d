// The path's identity under Wine, against real folders in a temporary folder.
#include "bundle/path_identity_win32.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "bundle/path_identity.h"
#include "platform/text_win32.h"

namespace orv {
namespace {

TEST(PathIdentityWin32, UpperCaseIsTheFileSystemsOneUnitForOne) {
  EXPECT_EQ(UpperCaseName(u"d:\\web\\äöü ñ σ ж"), u"D:\\WEB\\ÄÖÜ Ñ Σ Ж");
  // One unit for one: "ß" does not grow into "SS".
  EXPECT_EQ(UpperCaseName(u"ß"), u"ß");
  EXPECT_EQ(UpperCaseName(u"配置"), u"配置");
  EXPECT_EQ(UpperCaseName(u""), u"");
}

class PathIdentityFolders : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = std::filesystem::temp_directory_path() / L"orv identity Äpfel";
    std::filesystem::remove_all(root_);
    std::filesystem::create_directories(root_ / L"web" / L"bin");
    std::filesystem::create_directories(root_ / L"web2");
    std::ofstream(root_ / L"web" / L"bin" / L"httpd.exe") << "x";
    std::ofstream(root_ / L"web2" / L"httpd.exe") << "x";
  }
  void TearDown() override { std::filesystem::remove_all(root_); }

  std::string Path(const std::wstring& below) const {
    return WideToUtf8((root_ / below).wstring());
  }

  std::filesystem::path root_;
};

TEST_F(PathIdentityFolders, EverySpellingOfOneFolderIsOneIdentity) {
  const std::u16string identity = PathIdentityOf(Path(L"web"));
  EXPECT_EQ(PathIdentityOf(Path(L"web") + "\\"), identity);
  EXPECT_EQ(PathIdentityOf(Path(L"WEB\\")), identity);
  std::string slashed = Path(L"web");
  for (char& c : slashed)
    c = c == '\\' ? '/' : c;
  EXPECT_EQ(PathIdentityOf(slashed), identity);
  EXPECT_EQ(PathIdentityOf(Path(L"web\\bin\\..")), identity);
  wchar_t shortForm[MAX_PATH] = {};
  const std::wstring longForm = (root_ / L"web").wstring();
  const DWORD length = GetShortPathNameW(longForm.c_str(), shortForm, MAX_PATH);
  if (length > 0 && length < MAX_PATH && longForm != shortForm) {
    EXPECT_EQ(PathIdentityOf(std::wstring(shortForm)), identity);
  }
  // The final path has no "\\?\" left.
  EXPECT_EQ(std::u16string_view(identity).substr(0, 4).find(u'?'), std::u16string_view::npos);
}

TEST_F(PathIdentityFolders, AFolderHoldsWhatIsBelowItAndNotItsSibling) {
  const FolderIdentity web(Path(L"web") + "\\");
  EXPECT_TRUE(web.Holds(Path(L"web\\bin\\httpd.exe")));
  EXPECT_TRUE(web.Holds(Path(L"WEB\\BIN\\HTTPD.EXE")));
  EXPECT_TRUE(web.Holds(Path(L"web\\bin\\not there.exe")));  // by its full long path
  EXPECT_FALSE(web.Holds(Path(L"web2\\httpd.exe")));
  EXPECT_FALSE(web.Holds(Path(L"web")));
  EXPECT_FALSE(web.Holds(std::string()));
  EXPECT_FALSE(FolderIdentity("").Holds(Path(L"web\\bin\\httpd.exe")));
}

}  // namespace
}  // namespace orv
