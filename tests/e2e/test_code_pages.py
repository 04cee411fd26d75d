"""Other code pages than 936: under Traditional Chinese (950), Japanese (932) and Western (1252)
a first run in an ASCII folder completes and writes the marker; the next start shows the notice."""

import os

from harness import CAPTION, NOTICE_TITLE
from test_first_run import LBL_PORT, LBL_QORN, LBL_ZEL, wait_result
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
