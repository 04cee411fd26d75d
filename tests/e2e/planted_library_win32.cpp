// A library planted where a downloaded bundle could hold one: built under the name of a system DLL
// that the program loads after its start (ORV_PLANTED_NAME: iphlpapi or ws2_32), it notes
// in a file beside itself, planted-NAME-loaded.txt, that a process loaded it. The program must
// never load it.

#include "platform/windows_prelude_win32.h"

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID /*reserved*/) {
  if (reason != DLL_PROCESS_ATTACH)
    return TRUE;
  wchar_t path[MAX_PATH + 64] = {};
  DWORD length = GetModuleFileNameW(self, path, MAX_PATH);
  while (length > 0 && path[length - 1] != L'\\')
    --length;
  lstrcpyW(path + length, L"planted-" ORV_PLANTED_NAME L"-loaded.txt");
  const HANDLE note = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (note != INVALID_HANDLE_VALUE)
    CloseHandle(note);
  return TRUE;
}
