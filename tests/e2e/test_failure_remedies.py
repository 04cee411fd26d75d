"""A failed configuration says what the user can do about it, and its box offers Retry, which
scans again from the lower bound and configures on the first free port."""

import os
import shutil

from harness import CAPTION
from test_first_run import LBL_PORT, LBL_QORN, LBL_ZEL, RESULT_S, check_configured, read


def failure_box(s):
    box = s.message_box(CAPTION, timeout_s=RESULT_S)
    assert box["icon"] == "error", box
    assert [button.split("(")[0] for button in box["buttons"]] == ["重试", "取消"], box
    return box


def test_file_held_by_another_program_then_retry_configures(s):
    conf = os.path.join(s.bundle, "local", "Apache2", "conf", "httpd.conf")
    with open(conf, "wb") as f:
        f.write(b"old\r\n")
    busy = s.listen(80)
    hold = s.hold_file(conf)
    program = s.start()

    box = failure_box(s)
    assert box["text"].startswith("未能完成配置（端口 81）。\n\n写入文件“"), box
    assert "httpd.conf”失败：" in box["text"], box
    assert box["text"].endswith("该文件正被另一个程序使用（例如编辑器或杀毒软件）："
                                "请关闭该程序，然后点击“重试”。"), box
    assert read(conf) == b"old\r\n"
    assert not os.path.exists(os.path.join(s.bundle, "Finish.txt"))

    # Meanwhile the editor is closed and port 80 is free again: the new scan starts from 80.
    hold.release()
    busy.close()
    s.message_box(CAPTION, press="retry", timeout_s=2)
    check_configured(s, "80")
    s.close()
    assert program.wait_exit() == 0


def test_program_alone_says_to_extract_the_whole_archive(s):
    for name in os.listdir(s.bundle):
        if name != "Orvandimex.exe":
            path = os.path.join(s.bundle, name)
            shutil.rmtree(path) if os.path.isdir(path) else os.remove(path)
    program = s.start()

    box = failure_box(s)
    assert "TempFiles2\\Install.bat”失败：" in box["text"], box
    assert box["text"].endswith("请点击“取消”，先把整个压缩包解压到一个文件夹，"
                                "再在那里启动 Orvandimex.exe。"), box

    # Cancel leaves the window as it was, without a result.
    s.message_box(CAPTION, press="cancel", timeout_s=2)
    _, controls = s.window()
    assert controls[LBL_PORT]["text"] == "当前可用端口号：", controls[LBL_PORT]
    for label in (LBL_QORN, LBL_ZEL):
        assert not controls[label]["visible"], controls[label]
    s.close()
    assert program.wait_exit() == 0
