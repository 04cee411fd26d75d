"""Start-up: the completion marker decides between the notice and the scan window."""

import os
import shutil

from harness import CAPTION, NOTICE_TITLE
from test_first_run import wait_result

NOTICE_TEXT = ("已经正确配置Dovrel全文数据库。如果您想重新配置本系统，请先执行unstall.bat，"
               "然后删除finish.txt文件，再执行Orvandimex.exe。")

# Wine keeps DOS attributes in this extended attribute, as a hex number.
DOS_ATTRIBUTES = "user.DOSATTRIB"
HIDDEN = 0x2
SYSTEM = 0x4


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)


def read(path):
    with open(path, "rb") as f:
        return f.read()


def expect_notice_only(s, marker):
    """The notice with its exact text, title, icon and one button; no scan window; exit 0 after
    OK; the marker left as it was."""
    before = read(marker)
    program = s.start()
    box = s.message_box(NOTICE_TITLE)
    assert box["text"] == NOTICE_TEXT, box
    assert box["title"] == NOTICE_TITLE, box
    assert box["icon"] == "information", box
    assert box["buttons"] == ["确定"], box
    s.no_window(CAPTION, wait_s=0.5)
    s.message_box(NOTICE_TITLE, press_ok=True, timeout_s=2)
    assert program.wait_exit() == 0
    assert read(marker) == before, "the program changed the marker"


def expect_scan_window(s, why):
    program = s.start()
    try:
        window, _ = s.window()
    except AssertionError as error:
        raise AssertionError(f"{why}: the scan window did not open ({error})")
    assert window["title"] == CAPTION
    s.close()
    assert program.wait_exit() == 0


def test_marker_as_written_shows_notice(s):
    marker = os.path.join(s.bundle, "Finish.txt")
    write(marker, "已经安装！\r\n".encode("gb2312"))
    expect_notice_only(s, marker)


def test_marker_in_capitals_shows_notice(s):
    marker = os.path.join(s.bundle, "FINISH.TXT")
    write(marker, b"anything at all")
    expect_notice_only(s, marker)


def test_empty_read_only_marker_shows_notice(s):
    marker = os.path.join(s.bundle, "finish.txt")
    write(marker, b"")
    os.chmod(marker, 0o444)  # Wine reports this as FILE_ATTRIBUTE_READONLY
    expect_notice_only(s, marker)


def test_directory_named_like_marker_is_not_a_marker(s):
    os.mkdir(os.path.join(s.bundle, "finish.txt"))
    expect_scan_window(s, "a directory named finish.txt")


def test_hidden_marker_is_not_a_marker(s):
    marker = os.path.join(s.bundle, "Finish.txt")
    write(marker, b"x\r\n")
    assert s.wine("cmd", "/c", "attrib", "+h", s.windows_path(marker)) == 0
    assert int(os.getxattr(marker, DOS_ATTRIBUTES).decode().strip("\0"), 16) & HIDDEN, \
        "attrib +h did not mark the file hidden"
    expect_scan_window(s, "a hidden marker")


def test_system_marker_is_not_a_marker(s):
    marker = os.path.join(s.bundle, "Finish.txt")
    write(marker, b"x\r\n")
    os.setxattr(marker, DOS_ATTRIBUTES, hex(SYSTEM).encode())
    expect_scan_window(s, "a system marker")


def test_library_planted_beside_the_program_is_not_loaded(s, build):
    """DLLs named like those the program loads after its start lie in the bundle, which is the
    program's own and its current folder, and Wine is told to prefer such DLLs to its own, as it
    would for any program that loads them plainly: iphlpapi.dll (looked up at run time, for who
    holds the database's port) and ws2_32.dll (delay-loaded, on the probe's first socket). The
    program's real start and first run still take the system's."""
    planted = ("iphlpapi", "ws2_32")
    for name in planted:
        shutil.copy2(os.path.join(build.folder, "tests", "planted", f"{name}.dll"), s.bundle)
    s.listen(3306)  # the database's port is held, so its holder is looked up before the script
    s.start(env={"ORV_DLL_OVERRIDES": ",".join(planted) + "=n,b"})
    wait_result(s)
    s.close()
    loaded = [name for name in planted
              if os.path.exists(os.path.join(s.bundle, f"planted-{name}-loaded.txt"))]
    assert not loaded, f"the program loaded the planted {loaded}"
