// The program's entry point.

#include "startup/program_win32.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  return orv::Main(instance);
}
