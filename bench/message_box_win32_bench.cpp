// The notice's own floor for the start-up benchmark: a program that only shows the notice's
// message box, with Orvandimex.exe's manifest (common controls 6, the DPI settings), so that its
// buttons are drawn by the same controls. bench/startup times it beside the notice: what the notice
// takes beyond it is the program's own start; what this takes beyond the empty window is the
// message box and the common controls.

#include "bundle/finish_marker.h"
#include "platform/text_win32.h"

int main() {
  MessageBoxW(nullptr, orv::Utf8ToWide(orv::marker::kNoticeText).c_str(), L"OrvMessageBoxBench",
              MB_OK | MB_ICONINFORMATION);
  return 0;
}
