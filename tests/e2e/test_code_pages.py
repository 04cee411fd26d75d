"""Other code pages than 936: under Traditional Chinese (950), Japanese (932) and Western (1252)
a first run in an ASCII folder completes and writes the marker; the next start shows the notice."""

import os
import time

import pytest

from harness import CAPTION, NOTICE_TITLE, TimedOut
from test_first_run import LBL_PORT, LBL_QORN, LBL_ZEL, RESULT_S, read, wait_result
from test_startup import NOTICE_TEXT


def first_run_then_notice(s, locale, codec):
    """`codec` is Python's name for the locale's ANSI code page: the marker line is written in it,
    with '?' for each character it lacks."""
    env = {"ORV_LOCALE": locale}
    program = s.start(env=env)
    controls = wait_result(s)
    assert controls[LBL_PORT]["text"] == "当前可用端口：80", controls[LBL_PORT]
    assert controls[LBL_QORN]["text"] == "Dovrel访问网址：http://localhost/qorn"
    assert controls[LBL_ZEL]["text"] == "Brenlit访问网址：http://localhost/zel"
    s.close()
    assert program.wait_exit() == 0
    with open(os.path.join(s.bundle, "Finish.txt"), "rb") as marker:
        assert marker.read() == "已经安装！".encode(codec, errors="replace") + b"\r\n"

    again = s.start(env=env)
    assert s.message_box(NOTICE_TITLE)["text"] == NOTICE_TEXT
    s.no_window(CAPTION, wait_s=0.5)
    s.message_box(NOTICE_TITLE, press_ok=True, timeout_s=2)
    assert again.wait_exit() == 0


def test_traditional_chinese_950(s):
    first_run_then_notice(s, "zh_TW.UTF-8", "cp950")


def test_japanese_932(s):
    first_run_then_notice(s, "ja_JP.UTF-8", "cp932")


def test_western_1252(s):
    first_run_then_notice(s, "en_US.UTF-8", "cp1252")


def move_bundle(s, name):
    """Moves the session's bundle into a folder `name` beside it."""
    moved = os.path.join(s.root, name)
    os.rename(s.bundle, moved)
    s.bundle, s.exe = moved, os.path.join(moved, "Orvandimex.exe")


def test_western_folder_reaches_the_scripts_in_the_oem_code_page(s):
    """Under en_US (ANSI 1252, OEM 437) "é" is 0xE9 in the configuration files and 0x82 in the
    scripts, which the command processor reads in the OEM code page: the script finds its folder."""
    move_bundle(s, "José")
    template = os.path.join(s.bundle, "TempFiles2", "Install.bat")
    with open(template, "ab") as f:
        f.write(b'\r\necho ran> "[xpath]script-ran.txt"\r\n')
    s.start(env={"ORV_LOCALE": "en_US.UTF-8"})
    wait_result(s)
    assert b"Jos\x82\\" in read(os.path.join(s.bundle, "install.bat"))
    assert b"Jos\x82\\" in read(os.path.join(s.bundle, "unstall.bat"))
    assert b"Jos\xe9\\" in read(os.path.join(s.bundle, "local", "Apache2", "php.ini"))
    ran = os.path.join(s.bundle, "script-ran.txt")
    deadline = time.monotonic() + RESULT_S
    while not os.path.exists(ran):
        if time.monotonic() > deadline:
            raise TimedOut("the install script did not reach its folder")
        time.sleep(0.2)


@pytest.mark.parametrize("locale,name,character", [
    ("zh_TW.UTF-8", "成功", "功"),    # Big5 A5 5C
    ("ja_JP.UTF-8", "ソフト", "ソ"),  # Shift JIS 83 5C
])
def test_folder_whose_character_ends_in_a_backslash_byte_is_refused(s, locale, name, character):
    move_bundle(s, name)
    s.start(env={"ORV_LOCALE": locale})
    box = s.message_box(CAPTION, timeout_s=RESULT_S)
    assert f"“{character}”" in box["text"], box
    assert not os.path.exists(os.path.join(s.bundle, "install.bat"))
    assert not os.path.exists(os.path.join(s.bundle, "Finish.txt"))
