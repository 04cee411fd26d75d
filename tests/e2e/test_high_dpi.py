"""On a screen of 144 dpi the scan window keeps its design: every size in twips is scaled to the
window's density (1.5 times the pixels of 96 dpi)."""

import subprocess

from harness import WINE_RUN

DESKTOP_KEY = r"HKCU\Control Panel\Desktop"
LBL_PORT, CMD_CLOSE, SB_MAIN = 1010, 2, 1009


def set_dpi(dpi):
    subprocess.run([WINE_RUN, "reg", "add", DESKTOP_KEY, "/v", "LogPixels", "/t", "REG_DWORD",
                    "/d", str(dpi), "/f"], check=True, capture_output=True, timeout=60)


def test_controls_scale_with_the_screen_density(s):
    set_dpi(144)
    try:
        program = s.start()
        window, controls = s.window()
        # 5535 x 2940 twips; 360, 720, 4695, 375 twips for the port label; 4320, 2160, 1095,
        # 375 for the close button: twips * 144 / 1440, rounded.
        assert window["client"] == [554, 294], window
        assert controls[LBL_PORT]["rect"] == [36, 72, 470, 38], controls[LBL_PORT]
        assert controls[CMD_CLOSE]["rect"] == [432, 216, 110, 38], controls[CMD_CLOSE]
        left, top, width, height = controls[SB_MAIN]["rect"]
        assert (left, width, top + height) == (0, 554, 294), controls[SB_MAIN]
        assert s.status()["parts"][0] == 500, s.status()
        s.close()
        assert program.wait_exit() == 0
    finally:
        set_dpi(96)
