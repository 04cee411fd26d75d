"""One configuration per bundle at a time: of two starts on one bundle only one configures, the
other brings its window to the front and ends; configurators of two bundles run side by side."""

import os
import shutil
import time

import harness
from harness import CAPTION, STEP_S, TimedOut

LBL_PORT = 1010
RESULT_S = 40.0
FREE_PORT_PREFIX = "当前可用端口："
# The sample install script's last line in its log.
INSTALL_DONE = "安装完成".encode("gbk")


def read(path):
    with open(path, "rb") as f:
        return f.read()


def count_script_starts(bundle):
    """Makes the bundle's install script note each of its runs in starts.log."""
    template = os.path.join(bundle, "TempFiles2", "Install.bat")
    text = read(template)
    first_line = b"@echo off\r\n"
    assert text.startswith(first_line), text[:40]
    with open(template, "wb") as f:
        f.write(first_line + b'echo started>>"%~dp0starts.log"\r\n' + text[len(first_line):])


def script_starts(bundle):
    """How often the install script ran, once its last run has finished."""
    log = os.path.join(bundle, "install.log")
    deadline = time.monotonic() + RESULT_S
    while not (os.path.exists(log) and INSTALL_DONE in read(log)):
        if time.monotonic() > deadline:
            raise TimedOut(f"waited {RESULT_S:.0f} s for the install script to write {log}")
        time.sleep(0.1)
    time.sleep(1.0)  # a second run, had there been one, would have started by now
    return read(os.path.join(bundle, "starts.log")).count(b"started")


def wait_until(condition, what, timeout_s):
    deadline = time.monotonic() + timeout_s
    while not condition():
        if time.monotonic() > deadline:
            raise TimedOut(f"waited {timeout_s:.0f} s for {what}")
        time.sleep(0.1)


def start_other(s, bundle):
    """Starts the program of another bundle folder, ended with the session like s.start()'s."""
    program = harness.Program(os.path.join(bundle, "Orvandimex.exe"),
                              os.path.join(s.root, f"program-{len(s.programs)}.log"))
    s.programs.append(program)
    return program


def close_all(s, programs):
    """Closes the scan windows one by one; each program ends with 0."""
    for _ in programs:
        running = [p for p in programs if p.running()]
        s.close()
        wait_until(lambda: sum(p.running() for p in programs) < len(running),
                   "a program to end after its window was closed", STEP_S)
    assert [p.wait_exit() for p in programs] == [0] * len(programs)


def test_second_start_of_one_bundle_shows_the_first_and_ends(s):
    count_script_starts(s.bundle)
    # Port 80 held pending keeps the first from configuring (and writing the marker, which would
    # give the second the notice) until both starts have met.
    s.hold_pending(80)
    programs = [s.start(), s.start()]
    wait_until(lambda: not all(p.running() for p in programs), "one of two starts to end",
               harness.FIRST_WINDOW_S)
    ended = next(p for p in programs if not p.running())
    kept = next(p for p in programs if p.running())
    assert ended.wait_exit() == 0
    s.window()  # the one left is the one scan window: each program has at most one

    # A later start restores the window of the one that runs.
    s.inspector.expect("minimize", CAPTION)
    s.wait_window(lambda w, c: w["minimized"], "the window minimized")
    assert s.start().wait_exit() == 0
    s.wait_window(lambda w, c: not w["minimized"], "the window restored")

    s.harness.clear_dropped()  # port 80 refuses connections again: the scan goes on
    s.wait_window(lambda w, c: c[LBL_PORT]["text"] == FREE_PORT_PREFIX + "80", "port 80",
                  timeout_s=RESULT_S)
    assert script_starts(s.bundle) == 1
    assert os.path.exists(os.path.join(s.bundle, "Finish.txt"))
    assert kept.running()
    close_all(s, [kept])


def test_two_bundles_started_at_once_both_configure(s):
    other = os.path.join(s.root, "第二个 bundle")
    shutil.copytree(s.bundle, other)
    for bundle in (s.bundle, other):
        count_script_starts(bundle)
    programs = [s.start(), start_other(s, other)]
    for bundle in (s.bundle, other):
        assert script_starts(bundle) == 1, bundle
        wait_until(lambda: os.path.exists(os.path.join(bundle, "Finish.txt")),
                   f"the marker in {bundle}", STEP_S)
    # Both are still open: neither took the other for a second start of its own bundle.
    assert all(p.running() for p in programs)
    close_all(s, programs)
