// The program's entry point.

#include "platform/system_library_win32.h"
#include "program/program_win32.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  // Before anything can load a library: none may come from the bundle's or the current folder.
  orv::RestrictLibrarySearch();
  return orv::Main(instance);
}
