#include "platform/windows_prelude_win32.h"

int wmain() {
  return 0;
}
