#include "configure/failure_remedy.h"

#include <gtest/gtest.h>

#include <string>

namespace orv {
namespace {

using namespace win_error;

constexpr auto kRead = FileAction::kRead;
constexpr auto kWrite = FileAction::kWrite;
const std::string kTemplate = "D:\\srv\\web\\\\TempFiles2\\Install.bat";
const std::string kConf = "D:\\srv\\web\\\\local\\Apache2\\conf\\httpd.conf";

RemedyFacts Facts(FileAction action, uint32_t code, const std::string& path,
                  bool templateFolder = true, TargetState target = TargetState::kNotLooked) {
  return RemedyFacts{{action, code, path}, templateFolder, target, ""};
}

TEST(FailureRemedy, IsChosenFromTheFactsOfTheFailure) {
  const std::string deep = "C:\\" + std::string(240, 'a') + "\\\\TempFiles2\\Install.bat";
  // Counted in UTF-16 units, not bytes: 90 units in 260 bytes; 261 units with surrogate pairs.
  std::string chinese = "C:\\", emoji = "C:\\";
  for (int i = 0; i < 85; ++i)
    chinese += "中";
  for (int i = 0; i < 128; ++i)
    emoji += "\U0001F600";
  chinese += "\\x";
  emoji += "\\x";
  const struct {
    RemedyFacts facts;
    Remedy remedy;
  } cases[] = {
      {Facts(kRead, kPathNotFound, kTemplate, false), Remedy::kExtractWholeArchive},
      {Facts(kRead, kFileNotFound, kTemplate, false), Remedy::kExtractWholeArchive},
      {Facts(kRead, kFileNotFound, kTemplate, true), Remedy::kExtractAgain},
      {Facts(kWrite, kDirectory, kConf, true), Remedy::kExtractAgain},
      // Too long is told by the length first: 260 UTF-16 units do not fit, 259 do.
      {Facts(kRead, kPathNotFound, deep, false), Remedy::kMoveToShorterPath},
      {Facts(kRead, kPathNotFound, deep.substr(0, 259), false), Remedy::kExtractWholeArchive},
      {Facts(kRead, kPathNotFound, chinese, false), Remedy::kExtractWholeArchive},
      {Facts(kRead, kPathNotFound, emoji, false), Remedy::kMoveToShorterPath},
      {Facts(kWrite, kFilenameExcedRange, kConf), Remedy::kMoveToShorterPath},
      {Facts(kRead, kSharingViolation, kTemplate), Remedy::kCloseHolder},
      {Facts(kWrite, kLockViolation, kConf), Remedy::kCloseHolder},
      // Access denied is told apart by the second look at the file.
      {Facts(kWrite, kAccessDenied, kConf, true, TargetState::kInUse), Remedy::kCloseHolder},
      {Facts(kWrite, kAccessDenied, kConf, true, TargetState::kReadOnly), Remedy::kClearReadOnly},
      {Facts(kWrite, kAccessDenied, kConf, true, TargetState::kNotAllowed),
       Remedy::kMoveToWritableFolder},
      {Facts(kWrite, kAccessDenied, kConf, true, TargetState::kNotLooked), Remedy::kNone},
      {Facts(kRead, kAccessDenied, kTemplate, true, TargetState::kNotAllowed), Remedy::kNone},
      {Facts(kWrite, kWriteProtect, kConf), Remedy::kMoveToWritableFolder},
      {Facts(kWrite, kDiskFull, kConf), Remedy::kFreeDiskSpace},
      {Facts(kWrite, kHandleDiskFull, kConf), Remedy::kFreeDiskSpace},
      {Facts(kWrite, 1117, kConf), Remedy::kNone},  // an I/O device error
      // Without a file step there is nothing to advise, whatever the code.
      {Facts(FileAction::kNone, kPathNotFound, "", false), Remedy::kNone},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "code " << c.facts.failure.code << " on "
                                    << c.facts.failure.path.substr(0, 40));
    EXPECT_EQ(ChooseRemedy(c.facts), c.remedy);
  }
}

TEST(FailureRemedy, TextsNameWhatTheFactsKnow) {
  RemedyFacts held = Facts(kWrite, kAccessDenied, kConf, true, TargetState::kInUse);
  EXPECT_NE(RemedyText(Remedy::kCloseHolder, held).find("另一个程序"), std::string::npos);
  held.holders = "记事本、杀毒软件";
  EXPECT_NE(RemedyText(Remedy::kCloseHolder, held).find("“记事本、杀毒软件”"), std::string::npos);

  EXPECT_NE(RemedyText(Remedy::kFreeDiskSpace, Facts(kWrite, kDiskFull, kConf)).find("驱动器 D: "),
            std::string::npos);
  const std::string onShare = RemedyText(
      Remedy::kFreeDiskSpace, Facts(kWrite, kDiskFull, "\\\\files\\web\\srv\\\\install.bat"));
  EXPECT_NE(onShare.find("驱动器 \\\\files\\web "), std::string::npos) << onShare;

  EXPECT_NE(RemedyText(Remedy::kExtractWholeArchive, Facts(kRead, kPathNotFound, kTemplate, false))
                .find("整个压缩包解压"),
            std::string::npos);
  EXPECT_EQ(RemedyText(Remedy::kNone, held), "");
}

// The box always offers Retry: where the fix is to move or extract the folder, Retry cannot help
// and the text says to cancel; where the user can fix it in place, it says to retry.
TEST(FailureRemedy, SaysCancelWhereRetryCannotHelp) {
  const RemedyFacts facts = Facts(kWrite, kAccessDenied, kConf, true, TargetState::kNotAllowed);
  for (const Remedy remedy : {Remedy::kExtractWholeArchive, Remedy::kExtractAgain,
                              Remedy::kMoveToWritableFolder, Remedy::kMoveToShorterPath}) {
    const std::string text = RemedyText(remedy, facts);
    EXPECT_NE(text.find("点击“取消”"), std::string::npos) << text;
    EXPECT_EQ(text.find("点击“重试”"), std::string::npos) << text;
  }
  for (const Remedy remedy :
       {Remedy::kCloseHolder, Remedy::kClearReadOnly, Remedy::kFreeDiskSpace}) {
    const std::string text = RemedyText(remedy, facts);
    EXPECT_NE(text.find("点击“重试”"), std::string::npos) << text;
    EXPECT_EQ(text.find("“取消”"), std::string::npos) << text;
  }
}

TEST(FailureRemedy, DriveOfAPath) {
  EXPECT_EQ(DriveOf("d:\\web\\x"), "D:");
  EXPECT_EQ(DriveOf("\\\\server\\share"), "\\\\server\\share");
  EXPECT_EQ(DriveOf("\\\\server\\share\\web"), "\\\\server\\share");
  for (const char* none : {"web\\x", "\\\\server", "\\\\\\share", "1:\\x", ""})
    EXPECT_EQ(DriveOf(none), "") << none;
}

}  // namespace
}  // namespace orv
