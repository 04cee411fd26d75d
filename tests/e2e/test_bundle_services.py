"""A service of the bundle that still runs (left by an earlier configuration) keeps the first run
from probing or writing anything: a box names it and offers Retry, which configures as a normal
first run once the service is gone. A running service of another folder changes nothing.

The stand-in server plays the service (SiteStandIn.exe --service PORT), registered with Wine's own
`sc`. Wine keeps services inside its wineserver, which ends with the last ordinary Wine process:
these tests run with a persistent one of their own, ended again afterwards."""

import os
import shutil
import socket
import subprocess
import time

import pytest

from harness import CAPTION, STEP_S, TimedOut, stop_wine
from test_first_run import RESULT_S, TEMPLATES, check_configured

SERVICE = "OrvE2eBundleService"
DISPLAY_NAME = "Orv 测试数据库"


@pytest.fixture
def persistent_wine(wine_prefix):
    stop_wine()
    # No pipes: the server lives on and would hold them open.
    subprocess.run(["wineserver", "-p"], env={**os.environ, "WINEPREFIX": wine_prefix},
                   check=True, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=60)
    yield
    stop_wine()


def wait_accepts(port, timeout_s=STEP_S):
    deadline = time.monotonic() + timeout_s
    while time.monotonic() < deadline:
        with socket.socket() as probe:
            if probe.connect_ex(("127.0.0.1", port)) == 0:
                return
        time.sleep(0.1)
    raise TimedOut(f"waited {timeout_s:.0f} s for the service to listen on {port}")


@pytest.fixture
def service(s, build, persistent_wine):
    """Registers and starts the stand-in as a service; service(path, port) with the folder its
    binary is copied to. Stopped and deleted at the end of the test."""
    def start(folder, port):
        os.makedirs(folder, exist_ok=True)
        binary = os.path.join(folder, "SiteStandIn.exe")
        shutil.copy2(os.path.join(build.folder, "tools", "standin", "SiteStandIn.exe"), binary)
        assert s.wine("sc", "create", SERVICE, "binPath=",
                      f'"{s.windows_path(binary)}" --service {port}',
                      "DisplayName=", DISPLAY_NAME) == 0
        assert s.wine("sc", "start", SERVICE) == 0
        wait_accepts(port)

    yield start
    s.wine("sc", "stop", SERVICE)
    s.wine("sc", "delete", SERVICE)


def services_box(s, timeout_s):
    box = s.message_box(CAPTION, timeout_s=timeout_s)
    assert box["icon"] == "error", box
    assert [button.split("(")[0] for button in box["buttons"]] == ["重试", "取消"], box
    assert f"服务“{DISPLAY_NAME}”尚未停止" in box["text"], box
    assert "如果您想重新配置本系统，请先以管理员身份运行 unstall.bat" in box["text"], box
    return box


def nothing_written(s):
    for _, _, output in TEMPLATES:
        assert not os.path.exists(os.path.join(s.bundle, output)), output
    assert not os.path.exists(os.path.join(s.bundle, "Finish.txt"))


def test_running_service_of_the_bundle_blocks_until_it_is_gone(s, service):
    service(os.path.join(s.bundle, "local", "mysql5", "bin"), 3306)
    program = s.start()

    services_box(s, RESULT_S)
    nothing_written(s)
    # Retry while it still runs: the same box again, and still nothing written.
    s.message_box(CAPTION, press="retry", timeout_s=2)
    services_box(s, STEP_S)
    nothing_written(s)

    # unstall.bat's part: the service is stopped and removed. Retry configures.
    assert s.wine("sc", "stop", SERVICE) == 0
    assert s.wine("sc", "delete", SERVICE) == 0
    s.message_box(CAPTION, press="retry", timeout_s=2)
    check_configured(s, "80")
    s.close()
    assert program.wait_exit() == 0


def test_cancel_leaves_the_window_without_a_result(s, service):
    service(os.path.join(s.bundle, "local", "Apache2", "bin"), 8088)
    program = s.start()
    services_box(s, RESULT_S)
    s.message_box(CAPTION, press="cancel", timeout_s=2)
    status = s.status()
    assert "以前的配置仍在运行" in status["texts"][0], status
    time.sleep(1)
    nothing_written(s)
    s.close()
    assert program.wait_exit() == 0


def test_running_service_of_a_sibling_folder_does_not_block(s, service):
    # "bundle2" only starts like "bundle": its service is not this bundle's.
    service(os.path.join(os.path.dirname(s.bundle), "bundle2"), 8089)
    program = s.start()
    check_configured(s, "80")
    s.close()
    assert program.wait_exit() == 0
