#include "configure/configure_win32.h"

#include "bundle/bundle_location_win32.h"
#include "bundle/installation_win32.h"
#include "configure/configure_bundle.h"
#include "configure/script_start_win32.h"
#include "platform/elevation_win32.h"
#include "platform/failure.h"
#include "platform/file_system_win32.h"
#include "platform/text_win32.h"

namespace orv {
namespace {

// The real files and processes; it keeps the started script's process for the caller.
class RealBundleMachine final : public BundleMachine {
 public:
  RealBundleMachine(HWND owner, const std::function<void()>& beforeScript)
      : owner_(owner), beforeScript_(beforeScript) {}

  std::string ReadFileBytes(const std::string& path) override { return ReadWholeFile(path); }
  void ReplaceFileBytes(const std::string& path, std::string_view bytes) override {
    ReplaceWholeFile(path, bytes);
  }
  bool ProcessIsElevated() override { return orv::ProcessIsElevated(); }
  void StartScript(const std::string& scriptPath) override {
    BeforeScript();
    script_ = StartScriptMinimized(scriptPath);
  }
  bool StartScriptAsAdministrator(const std::string& scriptPath) override {
    BeforeScript();
    std::optional<UniqueKernelHandle> started = orv::StartScriptAsAdministrator(scriptPath, owner_);
    if (!started)
      return false;
    script_ = std::move(*started);
    return true;
  }

  UniqueKernelHandle TakeScript() noexcept { return std::move(script_); }

 private:
  void BeforeScript() const {
    if (beforeScript_)
      beforeScript_();
  }

  HWND owner_;
  const std::function<void()>& beforeScript_;
  UniqueKernelHandle script_;
};

}  // namespace

UniqueKernelHandle ConfigureIn(const std::string& folder, int32_t port, HWND owner,
                               const std::function<void()>& beforeScript) {
  const std::string problem = LocationProblem(folder, DriveFactsOf(folder));
  if (!problem.empty())
    throw Failure(problem);
  // The configuration files are read in the ANSI code page, the batch scripts by the command
  // processor in the OEM code page (437 or 850 beside 1252, 866 beside 1251, ...).
  std::string folderText;
  std::string scriptFolderText;
  try {
    folderText = Utf8ToAnsiStrict(folder, "应用程序文件夹");
    scriptFolderText =
        GetOEMCP() == GetACP() ? folderText : Utf8ToAnsiStrict(folder, "应用程序文件夹", CP_OEMCP);
  } catch (const Failure&) {
    // The conversion's own text names code pages, which users do not know: this says the same
    // in the words of Windows' region settings.
    throw Failure("本系统的文件夹“" + folder +
                  "”的路径中含有当前“非 Unicode 程序的语言”设置无法表示的字符，无法写入配置文件。"
                  "重试无法解决此问题。请点击“取消”，把整个文件夹移到路径只含英文字母和数字的位置"
                  "（例如 D:\\web），再从那里启动本程序。");
  }
  const BundleFolder where{folder, folderText, scriptFolderText};
  RealBundleMachine machine(owner, beforeScript);
  ConfigureBundle(where, port, LeadBytes::From(IsAnsiLeadByte), machine);
  return machine.TakeScript();
}

UniqueKernelHandle Configure(int32_t port, HWND owner, const std::function<void()>& beforeScript) {
  return ConfigureIn(AppFolder(), port, owner, beforeScript);
}

}  // namespace orv
