#include "config/configure_win32.h"

#include "config/configure_bundle.h"
#include "config/script_start_win32.h"
#include "platform/elevation_win32.h"
#include "platform/file_system_win32.h"
#include "platform/text_win32.h"
#include "startup/installation_win32.h"

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

UniqueKernelHandle ConfigureIn(const std::string& folder, const std::string& port, HWND owner,
                               const std::function<void()>& beforeScript) {
  const BundleFolder where{folder, Utf8ToAnsiStrict(folder, "应用程序文件夹")};
  RealBundleMachine machine(owner, beforeScript);
  ConfigureBundle(where, port, LeadBytes::From(IsAnsiLeadByte), machine);
  return machine.TakeScript();
}

UniqueKernelHandle Configure(const std::string& port, HWND owner,
                             const std::function<void()>& beforeScript) {
  return ConfigureIn(AppFolder(), port, owner, beforeScript);
}

}  // namespace orv
