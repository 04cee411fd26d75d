#pragma once
// The scan window's design: caption, client size and every control with its start text, place and
// size in twips (1/1440 inch, 15 twips a pixel at 96 dpi), in tab order.

#include <array>
#include <string_view>

#include "bundle/site_addresses.h"

namespace orv::scan {

enum class ControlKind { kTextBox, kButton, kListBox, kStatusBar, kLabel };

// Control identifiers. cmdClose is the window's cancel button, so Esc presses it.
enum ControlId : int {
  kTxtIP = 1001,
  kTxtLowerBound,
  kTxtUpperBound,
  kTxtMaxConnections,
  kCmdScan,
  kCmdStop,
  kCmdClearList,
  kLstOpenPorts,
  kSbMain,
  kLblPort,
  kCmdClose = 2,  // IDCANCEL
  kLblQorn = 1012,
  kLblZel,
  kLblOpenLog,  // opens the log that says why a server does not answer
};

struct ControlSpec {
  std::string_view name;
  ControlKind kind;
  int id;
  std::string_view text;         // UTF-8
  int left, top, width, height;  // twips, from the client area's top-left corner
  bool shown;
  bool enabled;
};

inline constexpr std::string_view kCaption = "Dovrel1958-2011配置程序";
inline constexpr int kClientWidth = 5535;
inline constexpr int kClientHeight = 2940;
inline constexpr int kStatusPanelWidth = 5000;
inline constexpr int kTimerIntervalMs = 10;

inline constexpr std::string_view kPortCaption = "当前可用端口号：";
// The links' captions before an address is known come with the addresses (site_addresses.h).
inline constexpr std::string_view kOpenLogCaption = "打开服务器日志，查看原因";

// In tab order.
inline constexpr std::array<ControlSpec, 14> kControls = {{
    {"txtIP", ControlKind::kTextBox, kTxtIP, "127.0.0.1", 120, 480, 1215, 270, false, true},
    {"txtLowerBound", ControlKind::kTextBox, kTxtLowerBound, "80", 1320, 480, 1215, 270, false,
     true},
    {"txtUpperBound", ControlKind::kTextBox, kTxtUpperBound, "10000", 2640, 480, 1215, 270, false,
     true},
    {"txtMaxConnections", ControlKind::kTextBox, kTxtMaxConnections, "1", 3960, 480, 1215, 270,
     false, true},
    {"cmdScan", ControlKind::kButton, kCmdScan, "Scan", 840, 3360, 975, 495, false, true},
    {"cmdStop", ControlKind::kButton, kCmdStop, "Stop", 2040, 3360, 975, 495, false, true},
    {"cmdClearList", ControlKind::kButton, kCmdClearList, "ClearList", 3360, 3360, 975, 495, false,
     true},
    {"lstOpenPorts", ControlKind::kListBox, kLstOpenPorts, "", 2640, 1560, 2415, 1140, false, true},
    {"sbMain", ControlKind::kStatusBar, kSbMain, "", 0, 2565, 5535, 375, true, true},
    {"lblPort", ControlKind::kLabel, kLblPort, kPortCaption, 360, 720, 4695, 375, true, true},
    {"cmdClose", ControlKind::kButton, kCmdClose, "关闭(&C)", 4320, 2160, 1095, 375, true, true},
    {"lblQorn", ControlKind::kLabel, kLblQorn, kQornCaption, 360, 1200, 4695, 375, false, false},
    {"lblZel", ControlKind::kLabel, kLblZel, kZelCaption, 360, 1680, 4815, 375, false, false},
    // Beyond the designed window: shown only while the watch names a server's log.
    {"lblOpenLog", ControlKind::kLabel, kLblOpenLog, kOpenLogCaption, 360, 2160, 3840, 375, false,
     false},
}};

// Twips to pixels at `dpi` dots per inch, rounded to the nearest pixel.
constexpr int TwipsToPixels(int twips, int dpi) {
  const long long scaled = static_cast<long long>(twips) * dpi;
  return static_cast<int>(scaled >= 0 ? (scaled + 720) / 1440 : -((-scaled + 720) / 1440));
}

// The place of a control in kControls, by its id.
constexpr size_t IndexOf(int id) {
  size_t index = 0;
  while (index < kControls.size() && kControls[index].id != id)
    ++index;
  return index;
}

static_assert(IndexOf(kLblOpenLog) == kControls.size() - 1 &&
              IndexOf(kCmdClose) < kControls.size());

}  // namespace orv::scan
