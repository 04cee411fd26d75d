"""The first run: the first free port configures the bundle, shows the port and the two links,
opens them in the browser on a click, and writes the completion marker."""

import os
import re
import time

import pytest

from harness import CAPTION, NOTICE_TITLE, STEP_S, TimedOut

# On the user-like machine (user_machine.py): its services are listed at every start.
pytestmark = pytest.mark.usefixtures("user_machine")

LBL_PORT, LBL_QORN, LBL_ZEL, CMD_CLOSE = 1010, 1012, 1013, 2
RESULT_S = 30.0

# Template, placeholders replaced in it, output path below the bundle.
TEMPLATES = [
    ("Install.bat", ("xpath", "port2"), "install.bat"),
    ("Unstall.bat", ("xpath",), "unstall.bat"),
    ("Php.Ini", ("xpath",), "local/Apache2/php.ini"),
    ("Httpd.conf", ("xpath", "port"), "local/Apache2/conf/httpd.conf"),
    ("My.ini", ("xpath-option",), "local/mysql5/my.ini"),
    ("StartQorn.bat", ("port2",), "StartQorn.bat"),
    ("StartZel.bat", ("port2",), "StartZel.bat"),
]
MARKER_BYTES = bytes.fromhex("D2D1BEADB0B2D7B0A3A10D0A")
# The sample install script's last line in its log.
INSTALL_DONE = "安装完成".encode("gbk")


def read(path):
    with open(path, "rb") as f:
        return f.read()


def expected_output(template, placeholders, folder, port):
    """The generated file as the bundle's users expect it: CR LF after every line (one more at
    the end), the placeholders of the table replaced."""
    text = template.replace(b"\r\n", b"\n").replace(b"\r", b"\n")
    lines = text.split(b"\n")
    if lines and lines[-1] == b"":
        lines.pop()
    text = b"".join(line + b"\r\n" for line in lines) + b"\r\n"
    # The database's option file gets the folder with its backslashes doubled (its reader takes
    # a backslash as an escape).
    values = {"xpath": folder.encode("gbk"), "port": port.encode(),
              "xpath-option": folder.encode("gbk").replace(b"\\", b"\\\\"),
              "port2": b"" if port == "80" else b":" + port.encode()}
    for name in ("xpath", "xpath-option", "port", "port2"):
        if name in placeholders:
            placeholder = "[xpath]" if name.startswith("xpath") else f"[{name}]"
            text = text.replace(placeholder.encode(), values[name])
    return text


def option_as_read(value):
    """An option file's value as the database server's reader takes it: \\b \\t \\n \\r \\s \\\\ are
    escapes, any other pair stays as written."""
    escapes = {b"b": b"\b", b"t": b"\t", b"n": b"\n", b"r": b"\r", b"s": b" ", b"\\": b"\\"}
    return re.sub(rb"\\(.)", lambda m: escapes.get(m.group(1), m.group(0)), value)


def wait_result(s, timeout_s=RESULT_S):
    """The scan window's controls once the port label names a port."""
    deadline = time.monotonic() + timeout_s
    controls = {}
    while time.monotonic() < deadline:
        _, controls = s.window()
        if controls[LBL_PORT]["text"].startswith("当前可用端口："):
            return controls
        time.sleep(0.2)
    raise TimedOut(f"waited {timeout_s:.0f} s for a free port; port label reads "
                   f"{controls.get(LBL_PORT, {}).get('text')!r}")


def wait_install_log(s, timeout_s=STEP_S):
    """The log of the started install script, once the script has finished writing it."""
    path = os.path.join(s.bundle, "install.log")
    deadline = time.monotonic() + timeout_s
    while time.monotonic() < deadline:
        if os.path.exists(path) and INSTALL_DONE in read(path):
            return read(path)
        time.sleep(0.1)
    raise TimedOut(f"waited {timeout_s:.0f} s for the install script to write {path}")


def expect_configured(s, port):
    """Starts the program; the result on screen and on disk for the port text `port`."""
    program = s.start()
    check_configured(s, port)
    return program


def check_configured(s, port):
    """The result on screen and on disk for the port text `port`, once it is there."""
    controls = wait_result(s)
    address = "localhost" if port == "80" else f"localhost:{port}"
    assert controls[LBL_PORT]["text"] == f"当前可用端口：{port}"
    assert controls[LBL_QORN]["text"] == f"Dovrel访问网址：http://{address}/qorn"
    assert controls[LBL_ZEL]["text"] == f"Brenlit访问网址：http://{address}/zel"
    for label in (LBL_QORN, LBL_ZEL):
        assert controls[label]["visible"] and controls[label]["enabled"], controls[label]

    folder = s.windows_path(s.bundle) + "\\"
    for template, placeholders, output in TEMPLATES:
        want = expected_output(read(os.path.join(s.bundle, "TempFiles2", template)),
                               placeholders, folder, port)
        got = read(os.path.join(s.bundle, output))
        assert got == want, f"{output} for port {port}:\n{got!r}\nexpected\n{want!r}"
    # As the database server reads it back (the "\t" of Z:\tmp would be a tab).
    basedir = re.search(rb'^basedir="(.*)"', read(os.path.join(s.bundle, TEMPLATES[4][2])), re.M)
    assert option_as_read(basedir.group(1)) == (folder + "local\\mysql5").encode("gbk")
    log = wait_install_log(s)
    assert f"http://{address}/".encode() in log, log
    assert read(os.path.join(s.bundle, "Finish.txt")) == MARKER_BYTES


def test_port_80_free(s):
    program = expect_configured(s, "80")
    s.close()
    assert program.wait_exit() == 0

    # The next start only shows the notice.
    again = s.start()
    s.message_box(NOTICE_TITLE, press_ok=True)
    assert again.wait_exit() == 0


def test_port_80_busy_gives_81(s):
    s.listen(80)
    program = expect_configured(s, "81")
    s.close()
    assert program.wait_exit() == 0


def test_ports_80_to_90_busy_give_91(s):
    for port in range(80, 91):
        s.listen(port)
    program = expect_configured(s, "91")
    s.close()
    assert program.wait_exit() == 0


def test_port_bound_without_listener_is_skipped(s):
    # Refuses connections, but no server could listen there.
    s.bind_only(80)
    s.listen(81)
    program = expect_configured(s, "82")
    s.close()
    assert program.wait_exit() == 0


def test_links_open_their_addresses(s):
    s.listen(80)
    program = s.start()
    wait_result(s)
    # Each click starts a browser launcher of its own; the second waits for the first, so that
    # the order of the log is the order of the clicks.
    for label, count in ((LBL_QORN, 1), (LBL_ZEL, 2)):
        s.click(label)
        deadline = time.monotonic() + STEP_S
        while len(s.opened_addresses()) < count and time.monotonic() < deadline:
            time.sleep(0.1)
    assert s.opened_addresses() == ["http://localhost:81/qorn", "http://localhost:81/zel"], \
        s.opened_addresses()
    s.close()
    assert program.wait_exit() == 0


def test_missing_template_is_reported_and_nothing_is_written(s):
    os.remove(os.path.join(s.bundle, "TempFiles2", "My.ini"))
    program = s.start()
    box = s.message_box(CAPTION, timeout_s=RESULT_S)
    assert box["icon"] == "error", box
    assert box["text"].startswith("未能完成配置（端口 80）。"), box
    assert "TempFiles2\\My.ini" in box["text"], box
    assert box["text"].endswith("本系统缺少文件。重试无法解决此问题。请点击“取消”，把整个压缩包重新解压到一个文件夹，"
                                "再在那里启动 Orvandimex.exe。"), box
    s.message_box(CAPTION, press="cancel", timeout_s=2)

    # The window is usable again: the close button has the keyboard focus back.
    window, controls = s.wait_window(lambda w, c: w["focus_id"] == CMD_CLOSE,
                                     "the focus back on the close button")
    assert controls[LBL_PORT]["text"] == "当前可用端口号：", controls[LBL_PORT]
    for label in (LBL_QORN, LBL_ZEL):
        assert not controls[label]["visible"], controls[label]
    for _, _, output in TEMPLATES:
        assert not os.path.exists(os.path.join(s.bundle, output)), output
    assert not os.path.exists(os.path.join(s.bundle, "Finish.txt"))
    s.close()
    assert program.wait_exit() == 0
