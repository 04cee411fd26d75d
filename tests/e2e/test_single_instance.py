"""One configuration per bundle at a time: of two starts on one bundle one configures, the other
shows its window and ends; configurators of two bundles run side by side."""

import os
import shutil
import time

import harness
from harness import CAPTION, TimedOut

LBL_PORT = 1010
RESULT_S = 40.0
INSTALL_DONE = "安装完成".encode("gbk")  # the sample install script's last line in its log


def read(path):
    with open(path, "rb") as f:
        return f.read()


def wait_until(condition, what, timeout_s=RESULT_S):
    deadline = time.monotonic() + timeout_s
    while not condition():
        if time.monotonic() > deadline:
            raise TimedOut(f"waited {timeout_s:.0f} s for {what}")
        time.sleep(0.1)


def count_script_starts(bundle):
    """Makes the bundle's install script note each of its runs in starts.log."""
    template = os.path.join(bundle, "TempFiles2", "Install.bat")
    first, rest = read(template).split(b"\r\n", 1)
    with open(template, "wb") as f:
        f.write(first + b'\r\necho started>>"%~dp0starts.log"\r\n' + rest)


def script_starts(bundle):
    """How often the install script ran, once a run has finished and another had time to start."""
    log = os.path.join(bundle, "install.log")
    wait_until(lambda: os.path.exists(log) and INSTALL_DONE in read(log), f"{log} complete")
    time.sleep(1.0)
    return read(os.path.join(bundle, "starts.log")).count(b"started")


def test_second_start_of_one_bundle_shows_the_first_and_ends(s):
    count_script_starts(s.bundle)
    # Port 80 held pending keeps either from configuring (and writing the marker, which would give
    # the other the notice) until both have met at the bundle's mutex.
    s.hold_pending(80)
    programs = [s.start(), s.start()]
    wait_until(lambda: not all(p.running() for p in programs), "one of two starts to end")
    ended = [p for p in programs if not p.running()]
    assert [p.wait_exit() for p in ended] == [0]
    s.window()  # the one left has the one scan window

    # A later start restores the window of the one that runs.
    s.inspector.expect("minimize", CAPTION)
    s.wait_window(lambda w, c: w["minimized"], "the window minimized")
    assert s.start().wait_exit() == 0
    s.wait_window(lambda w, c: not w["minimized"], "the window restored")

    s.release_pending()  # port 80 refuses connections again: the scan goes on
    s.wait_window(lambda w, c: c[LBL_PORT]["text"].endswith("：80"), "port 80", RESULT_S)
    assert script_starts(s.bundle) == 1
    assert os.path.exists(os.path.join(s.bundle, "Finish.txt"))
    s.close()
    assert [p.wait_exit() for p in programs if p not in ended] == [0]


def test_two_bundles_started_at_once_both_configure(s):
    other = os.path.join(s.root, "第二个 bundle")
    shutil.copytree(s.bundle, other)
    for bundle in (s.bundle, other):
        count_script_starts(bundle)
    s.programs.append(harness.Program(os.path.join(other, "Orvandimex.exe"),
                                      os.path.join(s.root, "other.log")))
    s.start()
    for bundle in (s.bundle, other):
        assert script_starts(bundle) == 1, bundle
        wait_until(lambda: os.path.exists(os.path.join(bundle, "Finish.txt")), "the marker")
    # Both still run: neither took the other for a second start of its own bundle.
    assert all(p.running() for p in s.programs)
