#include "config/configure_win32.h"

#include "platform/failure.h"

namespace orv {
void Configure(const std::string&) {
  throw Failure("配置程序尚未完成。");
}
}  // namespace orv
