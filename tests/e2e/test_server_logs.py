"""When a server does not come up, the watch names the cause in the server's own words: a database
whose port is taken writes its bind error into its log and stops (the stand-in plays it); the
status panel's line names that cause, its tooltip holds the lines, and a link opens that very
log in Notepad."""

import os
import shutil
import time

import pytest

from harness import STEP_S, TimedOut
from test_first_run import wait_result
from test_site_watch import SILENT_S, end_state, with_install_script

pytestmark = pytest.mark.usefixtures("user_machine")  # the user-like machine (user_machine.py)

LBL_OPEN_LOG = 1014
CAUSE = "Can't start server: Bind on TCP/IP port"


def notepad_opened(path_end, timeout_s=STEP_S):
    """The command line of a Notepad that Wine runs for a file whose path ends in path_end."""
    deadline = time.monotonic() + timeout_s
    while time.monotonic() < deadline:
        for pid in filter(str.isdigit, os.listdir("/proc")):
            try:
                with open(f"/proc/{pid}/cmdline", "rb") as f:
                    line = f.read().replace(b"\0", b" ").decode("utf-8", "replace")
            except OSError:
                continue
            if "notepad" in line.lower() and path_end.lower() in line.lower():
                return line
        time.sleep(0.2)
    raise TimedOut(f"no Notepad opened {path_end} within {timeout_s:.0f} s")


def test_a_database_that_cannot_bind_is_named_by_its_own_log(s, build):
    shutil.copy2(os.path.join(build.folder, "tools", "standin", "SiteStandIn.exe"),
                 os.path.join(s.bundle, "SiteStandIn.exe"))
    # The site answers; the database writes a failed bind into <datadir>\<host>.err and stops; the
    # script fails, so that the end state comes 15 s after it.
    with_install_script(s, "@echo off\r\n"
                           "set \"p=80\"\r\n"
                           "if not \"[port2]\"==\"\" set \"p=[port2]\"\r\n"
                           "set \"p=%p::=%\"\r\n"
                           "start \"\" \"[xpath]SiteStandIn.exe\" %p%\r\n"
                           "if not exist \"[xpath]local\\mysql5\\data\" "
                           "md \"[xpath]local\\mysql5\\data\"\r\n"
                           "\"[xpath]SiteStandIn.exe\" --fail-bind-log "
                           "\"[xpath]local\\mysql5\\data\\%COMPUTERNAME%.err\" 3306\r\n"
                           "exit /b 1\r\n")
    program = s.start()
    try:
        wait_result(s)
        text, _ = end_state(s, SILENT_S)
        status = s.wait_status(lambda st: CAUSE in st["texts"][0], "the database's own words")
        line = status["texts"][0]
        assert line.startswith("数据库没有响应") and "MySQL" in line, line
        _, controls = s.wait_window(lambda w, c: c[LBL_OPEN_LOG]["visible"], "the log's link")
        assert controls[LBL_OPEN_LOG]["enabled"], controls[LBL_OPEN_LOG]
        s.click(LBL_OPEN_LOG)
        opened = notepad_opened(".err")
        assert "mysql5\\data\\" in opened.lower() or "mysql5/data/" in opened.lower(), opened
    finally:
        s.wine("cmd", "/c", s.windows_path(os.path.join(s.bundle, "unstall.bat")))
    s.close()
    assert program.wait_exit() == 0
