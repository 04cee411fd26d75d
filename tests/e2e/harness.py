"""The end-to-end harness: the real Orvandimex.exe under Wine, read and driven by the inspector.

Its pieces are used by the pytest fixtures of conftest.py and by the benchmarks that start the
program (bench/startup, bench/first-run):
  - Build: one build folder (Orvandimex.exe, the inspector that drives it), named by its machine;
    runnable(build) tells whether this machine can run its programs (scripts/can-run-32bit);
  - Display, BrowserStub, warm_up_wine, stop_wine: one virtual X display shared by the program and
    the inspector, a stub xdg-open that records what the browser would have opened, one Wine
    prefix and its server;
  - make_bundle and Session: what one test works with, its own bundle folder holding a copy of the
    program, and helpers to start the program, read and drive its windows through the inspector,
    and hold ports busy.
Ports are only ever opened in a private network namespace: whoever uses the harness runs inside
tests/in-netns (IN_NETNS).
"""

import functools
import json
import os
import re
import shutil
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
WINE_RUN = os.path.join(ROOT, "scripts", "wine-run")
IN_NETNS = os.path.join(ROOT, "tests", "in-netns")
CAN_RUN_32BIT = os.path.join(ROOT, "scripts", "can-run-32bit")
SAMPLE_BUNDLE = os.path.join(ROOT, "examples", "bundle")
# The builds used when none is named: the 32-bit one users get, then the 64-bit test target.
DEFAULT_BUILDS = [os.path.join(ROOT, "build", "windows32"), os.path.join(ROOT, "build", "windows")]

CAPTION = "Dovrel1958-2011配置程序"
NOTICE_TITLE = "安装Dovrel全文数据库"

# Generous bounds for a slow machine: Wine's first start in a fresh session takes seconds.
FIRST_WINDOW_S = 20.0
STEP_S = 8.0
EXIT_S = 15.0

# The inspector's exit codes besides 0 (done) and 1 (usage or system failure).
INSPECTOR_NOT_FOUND = 2  # the window has no such control, status bar or button
INSPECTOR_TIMED_OUT = 3  # the awaited window, box, disappearance or program end did not come

# The PE header's machine field, as the builds are named.
MACHINES = {0x14C: "x86", 0x8664: "x64", 0xAA64: "arm64"}


def wine_prefix():
    return os.environ.get("ORV_WINEPREFIX") or os.path.join(ROOT, "build", "wine-prefix")


class TimedOut(AssertionError):
    pass


def pe_machine(path):
    """The machine an executable is built for: "x86", "x64", ... (from its PE header)."""
    with open(path, "rb") as f:
        dos = f.read(64)
        if len(dos) < 64 or dos[:2] != b"MZ":
            raise ValueError(f"{path} is not a Windows executable")
        f.seek(struct.unpack_from("<I", dos, 0x3C)[0])
        header = f.read(6)
    if len(header) < 6 or header[:4] != b"PE\0\0":
        raise ValueError(f"{path} has no PE header")
    machine = struct.unpack_from("<H", header, 4)[0]
    return MACHINES.get(machine, f"machine-{machine:04x}")


class Build:
    """One build folder: Orvandimex.exe, and the inspector of the same build that drives it."""

    def __init__(self, folder):
        self.folder = os.path.abspath(folder)
        self.exe = os.path.join(self.folder, "Orvandimex.exe")
        self.inspector = os.path.join(self.folder, "tools", "inspector", "inspector.exe")
        for path in (self.exe, self.inspector):
            if not os.path.isfile(path):
                raise FileNotFoundError(f"build {folder}: {path} is missing (not built?)")
        self.machine = pe_machine(self.exe)
        self.id = self.machine

    def bench(self, name):
        return os.path.join(self.folder, "bench", name)

    def __repr__(self):
        return f"Build({self.id}: {self.folder})"


def builds(folders=None):
    """The builds of the given folders, or of DEFAULT_BUILDS that exist; named by their machine,
    by machine and folder when two share one, and numbered where even those are alike (the
    builds of several trees, each in its build/windows)."""
    if folders:
        found = [Build(folder) for folder in folders]
    else:
        found = [Build(folder) for folder in DEFAULT_BUILDS
                 if os.path.isfile(os.path.join(folder, "Orvandimex.exe"))]
    machines = [build.machine for build in found]
    for build in found:
        if machines.count(build.machine) > 1:
            build.id = f"{build.machine}-{os.path.basename(build.folder)}"
    ids = [build.id for build in found]
    for index, build in enumerate(found):
        if ids.count(build.id) > 1:
            build.id = f"{build.id}-{index + 1}"
    return found


@functools.lru_cache(maxsize=None)
def _32bit_verdict():
    # The check's own policy: exit 0 runs, 77 skips (its stdout says why), anything else fails
    # (ORV_REQUIRE_32BIT=1; its stderr says why).
    done = subprocess.run([CAN_RUN_32BIT, "--run-or-skip", "true"], capture_output=True,
                          text=True, stdin=subprocess.DEVNULL, timeout=900)
    if done.returncode == 0:
        return "run", None
    message = (done.stdout + done.stderr).strip() or f"{CAN_RUN_32BIT} ended with {done.returncode}"
    if done.returncode == 77:
        return "skip", message.removeprefix("skipped: ")
    return "fail", message


def runnable(build):
    """Whether this machine can run the build's programs under Wine: ("run", None), ("skip", why
    not), or ("fail", why) where ORV_REQUIRE_32BIT=1 makes a 32-bit build that cannot run a
    failure. Only 32-bit builds are asked about; Wine here always runs 64-bit programs."""
    return _32bit_verdict() if build.machine == "x86" else ("run", None)


def retry_noted(args):
    """A retry policy for the Inspector: says so on stderr, and tries once more. Returns the
    note, which is true."""
    note = f"inspector {args[0]} ended with code 1 and no message; retrying once"
    print(f"note: {note}", file=sys.stderr, flush=True)
    return note


class Inspector:
    """The inspector program, one Wine process per call.

    An exit code 1 without a word from the inspector comes from Wine's own start-up, not from the
    inspector, which explains every failure it reports. When that happens, retry(args) is asked
    (when given) and, if it answers true, the call is made once more."""

    def __init__(self, path, retry=None):
        self.path = path
        self.retry = retry

    def run(self, *args, timeout_s=STEP_S):
        code, lines, errors = self._run_once(*args, timeout_s=timeout_s)
        if code == 1 and not errors and self.retry is not None and self.retry(args):
            code, lines, errors = self._run_once(*args, timeout_s=timeout_s)
        return code, lines, errors

    def _run_once(self, *args, timeout_s=STEP_S):
        command = [WINE_RUN, self.path, *[str(a) for a in args], "--timeout",
                   str(int(timeout_s * 1000))]
        # Output goes through files, not pipes: a Wine service process started along the way
        # would inherit a pipe and keep it open long after the inspector has ended.
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            try:
                code = subprocess.run(command, stdout=out, stderr=err, stdin=subprocess.DEVNULL,
                                      timeout=timeout_s + 30).returncode
            except subprocess.TimeoutExpired:
                raise TimedOut(f"inspector {' '.join(map(str, args))} did not answer within "
                               f"{timeout_s + 30:.0f} s")
            out.seek(0)
            err.seek(0)
            lines = [json.loads(line) for line in out.read().decode("utf-8").splitlines()
                     if line.strip()]
            return code, lines, err.read().decode("utf-8", "replace").strip()

    def expect(self, *args, timeout_s=STEP_S):
        code, lines, errors = self.run(*args, timeout_s=timeout_s)
        if code == INSPECTOR_TIMED_OUT:
            raise TimedOut(errors or f"inspector {args[0]}: timed out")
        if code == INSPECTOR_NOT_FOUND:
            raise AssertionError(errors or f"inspector {args[0]}: not found")
        if code != 0:
            raise AssertionError(f"inspector {' '.join(map(str, args))} failed ({code}): {errors}")
        return lines


class Program:
    """One run of Orvandimex.exe under Wine; env: extra environment variables for it."""

    def __init__(self, exe, log_path, env=None):
        self.log = open(log_path, "wb")
        self.process = subprocess.Popen([WINE_RUN, exe], stdout=self.log, stderr=subprocess.STDOUT,
                                        cwd=os.path.dirname(exe), start_new_session=True,
                                        env={**os.environ, **(env or {})})

    def wait_exit(self, timeout_s=EXIT_S):
        """The program's exit code; fails when it is still running after timeout_s."""
        try:
            return self.process.wait(timeout=timeout_s)
        except subprocess.TimeoutExpired:
            raise TimedOut(f"waited {timeout_s:.0f} s for Orvandimex.exe to end; it is still running")

    def running(self):
        return self.process.poll() is None

    def output(self):
        """What the run wrote to stdout and stderr so far."""
        if not self.log.closed:
            self.log.flush()
        with open(self.log.name, "rb") as log:
            return log.read().decode("utf-8", "replace").strip()

    def kill(self):
        if self.running():
            os.killpg(self.process.pid, signal.SIGKILL)
            self.process.wait()
        self.log.close()


class FileHold:
    """The inspector's hold command running in the background; returns once the file is held."""

    def __init__(self, inspector, windows_path, log_path, timeout_s=FIRST_WINDOW_S):
        self.log_path = log_path
        with open(log_path, "wb") as log:
            self.process = subprocess.Popen(
                [WINE_RUN, inspector, "hold", windows_path, "--timeout", "600000"], stdout=log,
                stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL, start_new_session=True)
        deadline = time.monotonic() + timeout_s
        while b'"kind":"hold"' not in self._output():
            if self.process.poll() is not None or time.monotonic() > deadline:
                self.release()
                raise TimedOut(f"the inspector did not hold {windows_path}: {self._output()!r}")
            time.sleep(0.1)

    def _output(self):
        with open(self.log_path, "rb") as log:
            return log.read()

    def release(self):
        """Ends the holding process; Wine closes its handle with it."""
        if self.process.poll() is None:
            os.killpg(self.process.pid, signal.SIGKILL)
        self.process.wait()


class Display:
    """A virtual X display (Xvfb) for the program and the inspector; entering it sets DISPLAY."""

    def __init__(self):
        self.xvfb = None
        self.outer = os.environ.get("DISPLAY")

    def __enter__(self):
        read_end, write_end = os.pipe()
        self.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24", "-nolisten",
             "tcp"], pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        number = b""
        deadline = time.monotonic() + 30
        try:
            while not number.endswith(b"\n"):
                if time.monotonic() > deadline:
                    raise TimedOut("waited 30 s for Xvfb to report its display number")
                chunk = os.read(read_end, 16)
                if not chunk:
                    raise RuntimeError("Xvfb ended before it reported its display number")
                number += chunk
        except BaseException:
            self.__exit__()
            raise
        finally:
            os.close(read_end)
        os.environ["DISPLAY"] = ":" + number.decode().strip()
        return self

    def __exit__(self, *exc):
        if self.xvfb is not None:
            self.xvfb.terminate()
            try:
                self.xvfb.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.xvfb.kill()
                self.xvfb.wait()
            self.xvfb = None
        if self.outer is None:
            os.environ.pop("DISPLAY", None)
        else:
            os.environ["DISPLAY"] = self.outer


class BrowserStub:
    """Wine's browser launcher calls xdg-open: while entered, the first xdg-open on PATH is a stub
    that appends the address to the file named by ORV_E2E_OPENED (Session.start sets it). Enter it
    before Wine's server starts, so that every Wine process sees it."""

    def __enter__(self):
        self.folder = tempfile.mkdtemp(prefix="orv-e2e-bin-")
        stub = os.path.join(self.folder, "xdg-open")
        with open(stub, "w") as f:
            f.write('#!/bin/sh\nprintf "%s\\n" "$*" >> "${ORV_E2E_OPENED:-/dev/null}"\n')
        os.chmod(stub, 0o755)
        os.environ["PATH"] = self.folder + os.pathsep + os.environ["PATH"]
        return self

    def __exit__(self, *exc):
        path = os.environ["PATH"].split(os.pathsep)
        if self.folder in path:
            path.remove(self.folder)
            os.environ["PATH"] = os.pathsep.join(path)
        shutil.rmtree(self.folder, ignore_errors=True)


def warm_up_wine():
    """Makes the prefix (once) and starts its wineserver before the first timed step."""
    os.environ["ORV_WINEPREFIX"] = wine_prefix()
    subprocess.run([WINE_RUN, "cmd", "/c", "exit"], stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=300)
    return os.environ["ORV_WINEPREFIX"]


def stop_wine():
    subprocess.run(["wineserver", "-k"], env={**os.environ, "WINEPREFIX": wine_prefix()},
                   capture_output=True, timeout=60)


def run_wine(*args, timeout_s=300):
    """A Wine program to its end, its output through a file (a service started along the way
    would hold a pipe open); its exit code."""
    with open(os.devnull, "wb") as null:
        return subprocess.run([WINE_RUN, *args], stdout=null, stderr=null,
                              stdin=subprocess.DEVNULL, timeout=timeout_s).returncode


def persistent_wineserver():
    """A persistent wineserver of the prefix, started anew, with one Wine program run to its end
    (which starts the one service manager) before anything else talks to it."""
    stop_wine()
    subprocess.run(["wineserver", "-p"], env={**os.environ, "WINEPREFIX": wine_prefix()},
                   check=True, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=60)
    run_wine("cmd", "/c", "exit")


def accepts(port):
    """True when 127.0.0.1:port accepts a connection (inside the test's network namespace)."""
    with socket.socket() as probe:
        probe.settimeout(1)
        return probe.connect_ex(("127.0.0.1", port)) == 0


def wait_accepts(ports, timeout_s):
    """Waits until every port accepts a connection on 127.0.0.1; fails naming those that do not."""
    deadline = time.monotonic() + timeout_s
    waiting = list(ports)
    while waiting:
        waiting = [port for port in waiting if not accepts(port)]
        if waiting and time.monotonic() > deadline:
            raise TimedOut(f"waited {timeout_s:.0f} s for services to listen on {waiting}")
        if waiting:
            time.sleep(0.1)


def make_bundle(exe, name):
    """A fresh bundle (the sample bundle and a copy of exe) in a scratch folder of its own; the
    bundle's path. Session.finish removes the scratch folder."""
    root = tempfile.mkdtemp(prefix=f"orv-e2e-{re.sub(r'[^A-Za-z0-9_.-]+', '-', name)}-")
    bundle = os.path.join(root, "bundle")
    if os.path.isdir(SAMPLE_BUNDLE):
        shutil.copytree(SAMPLE_BUNDLE, bundle)
    else:
        os.makedirs(bundle)
    shutil.copy2(exe, os.path.join(bundle, "Orvandimex.exe"))
    return bundle


class Session:
    """What one test works with: a bundle of make_bundle and an Inspector. Everything it opens is
    closed by finish()."""

    def __init__(self, bundle, inspector):
        self.bundle = bundle
        self.root = os.path.dirname(bundle)
        self.exe = os.path.join(self.bundle, "Orvandimex.exe")
        self.opened_log = os.path.join(self.root, "xdg-open.log")
        self.inspector = inspector
        self.programs = []
        self.sockets = []
        self.holds = []
        self.dropped = []

    # ---- the program ----

    def start(self, env=None):
        """Starts the program; env: extra environment variables for this run (for example
        {"ORV_LOCALE": "ja_JP.UTF-8"}, which scripts/wine-run honours)."""
        program = Program(self.exe, os.path.join(self.root, f"program-{len(self.programs)}.log"),
                          env={"ORV_E2E_OPENED": self.opened_log, **(env or {})})
        self.programs.append(program)
        return program

    def window(self, timeout_s=FIRST_WINDOW_S):
        """The scan window: (window info, {control id: control}), once it is visible."""
        lines = self.inspector.expect("window", CAPTION, timeout_s=timeout_s)
        window = lines[0]
        controls = {line["id"]: line for line in lines[1:]}
        return window, controls

    def wait_window(self, predicate, what, timeout_s=STEP_S):
        """The scan window once predicate(window, controls) holds."""
        deadline = time.monotonic() + timeout_s
        while True:
            window, controls = self.window()
            if predicate(window, controls):
                return window, controls
            if time.monotonic() > deadline:
                raise TimedOut(f"waited {timeout_s:.0f} s for the window to show {what}; "
                               f"last seen {window}")
            time.sleep(0.2)

    def no_window(self, title=CAPTION, wait_s=1.0):
        """Fails if a window with this caption appears within wait_s."""
        code, lines, errors = self.inspector.run("window", title, timeout_s=wait_s)
        if code == 0:
            raise AssertionError(f"a window \"{title}\" is open: {lines[:1]}")
        if code != INSPECTOR_TIMED_OUT:
            raise AssertionError(f"inspector window failed ({code}): {errors}")

    def status(self, timeout_s=STEP_S):
        return self.inspector.expect("status", CAPTION, timeout_s=timeout_s)[0]

    def wait_status(self, predicate, what, timeout_s=STEP_S):
        deadline = time.monotonic() + timeout_s
        status = None
        while time.monotonic() < deadline:
            status = self.status()
            if predicate(status):
                return status
            time.sleep(0.2)
        raise TimedOut(f"waited {timeout_s:.0f} s for the status bar to show {what}; "
                       f"last seen {status}")

    def click(self, control_id):
        self.inspector.expect("click", CAPTION, control_id)

    def key(self, name):
        self.inspector.expect("key", CAPTION, name)

    def close(self):
        self.inspector.expect("close", CAPTION)

    def message_box(self, title, press_ok=False, timeout_s=FIRST_WINDOW_S, press=None):
        """The message box; press_ok presses OK, press one of ok, cancel, retry, yes, no."""
        args = ["msgbox", title] + (["--press-ok"] if press_ok else []) + \
            (["--press", press] if press else [])
        return self.inspector.expect(*args, timeout_s=timeout_s)[0]

    def wait_gone(self, title=CAPTION, timeout_s=STEP_S):
        self.inspector.expect("gone", title, timeout_s=timeout_s)

    # ---- the machine around it ----

    def hold_file(self, path):
        """Keeps the file open with no sharing in a Wine process of its own, as an editor or a
        virus scanner may, until release() of the result (or the end of the test)."""
        hold = FileHold(self.inspector.path, self.windows_path(path),
                        os.path.join(self.root, f"hold-{len(self.holds)}.log"))
        self.holds.append(hold)
        return hold

    def wine(self, *args):
        """Runs a Wine command (for example cmd /c attrib) and returns its exit code."""
        return run_wine(*args, timeout_s=60)

    @staticmethod
    def windows_path(path):
        """The path as Wine's programs see it (drive Z: is the Unix root)."""
        return "Z:" + os.path.abspath(path).replace("/", "\\")

    def listen(self, port):
        """A TCP listener on 127.0.0.1:port inside the namespace: the port is busy."""
        listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        listener.bind(("127.0.0.1", port))
        listener.listen(16)
        self.sockets.append(listener)
        return listener

    def bind_only(self, port):
        """A socket bound to 127.0.0.1:port that does not listen: connects to it are refused."""
        bound = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        bound.bind(("127.0.0.1", port))
        self.sockets.append(bound)
        return bound

    def hold_pending(self, port):
        """Drops packets to the port inside the namespace, so a connect to it stays pending."""
        subprocess.run(["iptables", "-A", "OUTPUT", "-o", "lo", "-p", "tcp", "--dport", str(port),
                        "-j", "DROP"], check=True, capture_output=True)
        self.dropped.append(port)

    def release_pending(self):
        """Undoes hold_pending: connects to those ports are answered again."""
        for port in self.dropped:
            subprocess.run(["iptables", "-D", "OUTPUT", "-o", "lo", "-p", "tcp", "--dport",
                            str(port), "-j", "DROP"], capture_output=True)
        self.dropped.clear()

    def opened_addresses(self):
        """What the browser was asked to open, in order."""
        if not os.path.exists(self.opened_log):
            return []
        with open(self.opened_log, encoding="utf-8") as log:
            return [line.rstrip("\n") for line in log]

    def screenshot(self, path):
        subprocess.run(["import", "-window", "root", path], capture_output=True, timeout=30)

    def finish(self):
        for program in self.programs:
            if program.running():
                stop_wine()
            program.kill()
        for hold in self.holds:
            hold.release()
        for s in self.sockets:
            s.close()
        self.release_pending()
        shutil.rmtree(self.root, ignore_errors=True)


def split_runnable(chosen):
    """The builds this machine can run, and {build id: why not} for the others."""
    verdicts = {build.id: runnable(build) for build in chosen}
    return ([b for b in chosen if verdicts[b.id][0] == "run"],
            {i: why for i, (verdict, why) in verdicts.items() if verdict != "run"})


def print_side_by_side(chosen, rows, not_run=None):
    """Prints rows of (label, [one cell per build]) with a column for each build; a row of
    (title, None) is a heading. not_run: {build id: why not} of builds that were not run, which
    have no cell in the rows; their column says "not run here", and the reason follows."""
    not_run = not_run or {}
    ran = iter(range(len(chosen) - len(not_run)))
    slots = [None if b.id in not_run else next(ran) for b in chosen]
    rows = [(label, row if row is None else
             [("not run here" if slot is None else row[slot]) for slot in slots])
            for label, row in rows]
    header = [f"{build.id} ({os.path.relpath(build.folder, ROOT)})" for build in chosen]
    cells = [row for row in rows if row[1] is not None]
    label_width = max(len(label) for label, _ in cells) + 4
    widths = [max([len(h)] + [len(row[i]) for _, row in cells]) + 3 for i, h in enumerate(header)]
    print(" " * label_width + "".join(h.ljust(w) for h, w in zip(header, widths)).rstrip())
    for label, row in rows:
        if row is None:
            print(label)
        else:
            print(f"  {label}".ljust(label_width)
                  + "".join(c.ljust(w) for c, w in zip(row, widths)).rstrip())
    for build in chosen:
        if build.id in not_run:
            print(f"{build.id} not run here: {not_run[build.id]}")
