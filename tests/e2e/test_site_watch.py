"""The watch after the result: the status bar says whether the bundle's sites answer, once the
install script has started them (the sample bundle's stand-in server plays them) or has failed."""

import contextlib
import os
import shutil
import socket
import time

import pytest

from harness import EXIT_S
from test_first_run import wait_result

pytestmark = pytest.mark.usefixtures("user_machine")  # the user-like machine (user_machine.py)

STARTING = "正在启动"
# The script's end plus 15 s, a tick, and Wine's pace.
SILENT_S = 25.0


@contextlib.contextmanager
def run_with_standin(s, build, options=None, exit_code=0):
    """A first run whose install.bat starts the build's stand-in server (put into the bundle), up
    to the result; the program. With `options`, the script starts it with them and ends with
    `exit_code`. The sample unstall.bat stops the stand-in at the end."""
    if options is not None:
        with_install_script(s, "@echo off\r\n"
                               "set \"p=80\"\r\n"
                               "if not \"[port2]\"==\"\" set \"p=[port2]\"\r\n"
                               "set \"p=%p::=%\"\r\n"
                               f"start \"\" \"[xpath]SiteStandIn.exe\" {options} %p% 3306\r\n"
                               f"exit /b {exit_code}\r\n")
    shutil.copy2(os.path.join(build.folder, "tools", "standin", "SiteStandIn.exe"),
                 os.path.join(s.bundle, "SiteStandIn.exe"))
    program = s.start()
    wait_result(s)
    try:
        yield program
    finally:
        s.wine("cmd", "/c", s.windows_path(os.path.join(s.bundle, "unstall.bat")))


def with_install_script(s, text):
    with open(os.path.join(s.bundle, "TempFiles2", "Install.bat"), "wb") as f:
        f.write(text.encode("ascii"))


def end_state(s, timeout_s):
    """The status text once the watch is over, and the seconds it took from the result."""
    started = time.monotonic()
    status = s.wait_status(lambda st: st["texts"][0] and not st["texts"][0].startswith(STARTING),
                           "the end of the watch", timeout_s=timeout_s)
    return status["texts"][0], time.monotonic() - started


def fetch(port, path):
    with socket.create_connection(("127.0.0.1", port), timeout=5) as connection:
        connection.sendall(f"GET {path} HTTP/1.0\r\nHost: localhost\r\n\r\n".encode())
        answer = b""
        while chunk := connection.recv(4096):
            answer += chunk
    return answer.decode("utf-8", "replace")


def test_started_sites_are_reported_and_the_page_names_its_path(s, build):
    s.listen(80)
    with run_with_standin(s, build) as program:
        text, _ = end_state(s, SILENT_S)
        assert "已启动" in text and "没有响应" not in text, text
        page = fetch(81, "/qorn")
        assert page.startswith("HTTP/1.0 200") and "/qorn" in page, page
    with socket.socket() as probe:
        assert probe.connect_ex(("127.0.0.1", 81)) != 0, "the stand-in still answers after unstall"
    s.close()
    assert program.wait_exit() == 0


def test_script_that_fails_is_reported_with_its_exit_code(s):
    with_install_script(s, "@echo off\r\nexit /b 3\r\n")
    program = s.start()
    wait_result(s)
    assert s.status()["texts"][0].startswith(STARTING)
    text, seconds = end_state(s, SILENT_S)
    assert "没有响应" in text and "退出码 3" in text and "install.bat" in text, text
    assert seconds < 20, f"the end state came {seconds:.1f} s after the result"
    # The panel's tooltip holds the whole text, for where the panel cuts it.
    assert s.status()["tips"] == [text], s.status()
    s.close()
    assert program.wait_exit() == 0


def test_database_port_taken_before_the_script(s, build):
    s.listen(3306)
    with run_with_standin(s, build) as program:
        text, _ = end_state(s, SILENT_S)
    # Wine's TCP table names no owner: the holder is not named, nor called another program.
    assert "3306 在安装脚本启动前已被占用（Windows 没有告知是哪个程序）" in text, text
    assert "另一个程序" not in text, text
    s.close()
    assert program.wait_exit() == 0


def test_closing_the_window_while_it_waits_ends_the_program_at_once(s):
    with_install_script(s, "@echo off\r\n")  # ends at once and starts nothing
    program = s.start()
    wait_result(s)
    assert s.status()["texts"][0].startswith(STARTING)
    closed = time.monotonic()
    s.close()
    assert program.wait_exit(timeout_s=EXIT_S) == 0
    assert time.monotonic() - closed < 5, "the program waited for the watch"


def test_a_server_that_accepts_and_never_answers_is_not_started(s, build):
    with run_with_standin(s, build, options="--silent", exit_code=1) as program:
        text, _ = end_state(s, SILENT_S + 10)
        assert "已启动" not in text and "网站没有响应" in text, text
        assert "请求超时" in text, text
        # A request in flight is ended with the window, not waited for.
        closed = time.monotonic()
        s.close()
        assert program.wait_exit(timeout_s=EXIT_S) == 0
        assert time.monotonic() - closed < 5, "the program waited for a request"


def test_a_link_that_gives_404_is_named(s, build):
    with run_with_standin(s, build, options="--status-for /zel=404") as program:
        text, _ = end_state(s, SILENT_S)
    assert "Brenlit 网站返回 404" in text and "Dovrel" not in text, text
    s.close()
    assert program.wait_exit() == 0


def test_a_server_that_starts_late_after_the_script_ended_well_is_started(s, build):
    with run_with_standin(s, build, options="--delay 25") as program:
        text, seconds = end_state(s, 90)
        assert text == "网站和数据库已启动", text
        assert seconds >= 20, f"started after {seconds:.1f} s, before the stand-in listened"
    s.close()
    assert program.wait_exit() == 0
