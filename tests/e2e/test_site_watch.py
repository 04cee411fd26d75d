"""The watch after the result: the status bar says whether the bundle's sites answer, once the
install script has started them (the sample bundle's stand-in server plays them) or has failed."""

import contextlib
import os
import shutil
import socket
import time

import pytest

from harness import EXIT_S, TimedOut
from test_first_run import LBL_PORT, wait_result

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
    """The whole text once the watch is over (the panel's tooltip; the panel shows its short
    line), and the seconds it took from the result."""
    started = time.monotonic()
    status = s.wait_status(lambda st: st["texts"][0] and not st["texts"][0].startswith(STARTING),
                           "the end of the watch", timeout_s=timeout_s)
    return status["tips"][0], time.monotonic() - started


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
    assert "没有响应" in text and "退出代码为 3" in text and "install.bat" in text, text
    assert seconds < 20, f"the end state came {seconds:.1f} s after the result"
    # The panel shows the result and what to do first; its tooltip holds the whole text.
    line = s.status()["texts"][0]
    assert line.startswith("网站") and "请以管理员身份运行 install.bat" in line, line
    assert line != text and len(line) < len(text), (line, text)
    s.close()
    assert program.wait_exit() == 0


def test_database_port_taken_before_the_script(s, build):
    s.listen(3306)
    with run_with_standin(s, build) as program:
        text, _ = end_state(s, SILENT_S)
    # Wine's TCP table names no owner: the holder is not named, nor called another program.
    assert "3306 在安装脚本启动前已被占用（无法确定是哪个程序）" in text, text
    assert "另一个程序" not in text, text
    s.close()
    assert program.wait_exit() == 0


def test_a_taken_database_port_does_not_hide_a_silent_site(s):
    s.listen(3306)
    with_install_script(s, "@echo off\r\nexit /b 3\r\n")  # fails and starts nothing
    program = s.start()
    wait_result(s)
    text, _ = end_state(s, SILENT_S)
    for part in ("网站没有响应", "退出代码为 3", "3306 在安装脚本启动前已被占用"):
        assert part in text, (part, text)
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


def test_a_connect_that_times_out_is_told_from_a_server_that_never_answers(s):
    with_install_script(s, "@echo off\r\nexit /b 1\r\n")
    program = s.start()
    wait_result(s)
    s.hold_pending(int(s.window()[1][LBL_PORT]["text"].split("：")[1]))
    text, _ = end_state(s, SILENT_S)
    assert "没有响应" in text and "连接超时" in text and "请求超时" not in text, text
    s.close()
    assert program.wait_exit() == 0


def established_to(port):
    """The local ports of this namespace's established TCP connections to 127.0.0.1:port: the
    program's requests in flight (the stand-in's own ends have `port` as their local port)."""
    ports = set()
    with open("/proc/net/tcp") as table:
        for line in table.readlines()[1:]:
            fields = line.split()
            local, remote, state = fields[1], fields[2], fields[3]
            if remote == f"0100007F:{port:04X}" and state == "01":
                ports.add(int(local.split(":")[1], 16))
    return ports


def wait_new_request(port, timeout_s=15.0):
    """Returns as soon as a request to the port starts that was not in flight when called."""
    seen = established_to(port)
    deadline = time.monotonic() + timeout_s
    while not established_to(port) - seen:
        if time.monotonic() > deadline:
            raise TimedOut(f"waited {timeout_s:.0f} s for a request to port {port}")
        time.sleep(0.02)


def seconds_to_exit(s, program):
    closed = time.monotonic()
    s.close()
    assert program.wait_exit(timeout_s=EXIT_S) == 0
    return time.monotonic() - closed


def test_closing_the_window_does_not_wait_for_a_request_in_flight(s, build):
    # Nothing in flight: the script starts nothing, and each request is refused at once.
    with_install_script(s, "@echo off\r\n")
    idle = s.start()
    wait_result(s)
    idle_s = seconds_to_exit(s, idle)
    # A first run again, whose requests go to a server that accepts and never answers; the
    # window is closed just after a request has started, seconds before its timeout.
    os.remove(os.path.join(s.bundle, "Finish.txt"))
    with run_with_standin(s, build, options="--silent") as hung:
        port = int(s.window()[1][LBL_PORT]["text"].split("：")[1])
        wait_new_request(port)
        hung_s = seconds_to_exit(s, hung)
    assert hung_s < idle_s + 2.0, \
        f"closed with a request in flight, it ended after {hung_s:.1f} s; idle, {idle_s:.1f} s"


def test_a_link_that_gives_404_is_named(s, build):
    with run_with_standin(s, build, options="--status-for /zel=404") as program:
        text, _ = end_state(s, SILENT_S)
    assert "Brenlit 网站无法打开：找不到网页（HTTP 404）" in text and "Dovrel" not in text, text
    s.close()
    assert program.wait_exit() == 0


def test_a_server_that_starts_late_after_the_script_ended_well_is_started(s, build):
    with run_with_standin(s, build, options="--delay 25") as program:
        text, seconds = end_state(s, 90)
        assert text == "网站和 MySQL 数据库已启动", text
        assert seconds >= 20, f"started after {seconds:.1f} s, before the stand-in listened"
    s.close()
    assert program.wait_exit() == 0
