#include "config/configure_win32.h"

#include "config/configure_bundle.h"
#include "config/script_start_win32.h"
#include "platform/elevation_win32.h"
#include "platform/file_system_win32.h"
#include "platform/text_win32.h"
#include "startup/installation_win32.h"

namespace orv {
namespace {

class RealBundleMachine final : public BundleMachine {
 public:
  std::string ReadFileBytes(const std::string& path) override { return ReadWholeFile(path); }
  void ReplaceFileBytes(const std::string& path, std::string_view bytes) override {
    ReplaceWholeFile(path, bytes);
  }
  bool ProcessIsElevated() override { return orv::ProcessIsElevated(); }
  void StartScript(const std::string& scriptPath) override { StartScriptMinimized(scriptPath); }
  bool StartScriptAsAdministrator(const std::string& scriptPath) override {
    return orv::StartScriptAsAdministrator(scriptPath);
  }
};

}  // namespace

void ConfigureIn(const std::string& folder, const std::string& port) {
  const BundleFolder where{folder, Utf8ToAnsiStrict(folder, "应用程序文件夹")};
  RealBundleMachine machine;
  ConfigureBundle(where, port, LeadBytes::From(IsAnsiLeadByte), machine);
}

void Configure(const std::string& port) {
  ConfigureIn(AppFolder(), port);
}

}  // namespace orv
