"""A service of the bundle that still runs (left by an earlier configuration) keeps the first run
from probing or writing anything: a box names it and offers to run the bundle's unstall.bat as
administrator, after which it configures as a normal first run once the service is gone; where
unstall.bat is missing or leaves the service running, a box says so and offers Retry. A running
service of another folder changes nothing.

The stand-in server plays the service (SiteStandIn.exe --service PORT), registered with Wine's own
`sc`. Wine keeps services inside its wineserver, which ends with the last ordinary Wine process:
these tests run with a persistent one of their own, ended again afterwards."""

import os
import shutil
import time

import pytest

from harness import CAPTION, STEP_S, persistent_wineserver, stop_wine, wait_accepts
from test_first_run import RESULT_S, TEMPLATES, check_configured

SERVICE = "OrvE2eBundleService"
DISPLAY_NAME = "Orv 测试数据库"


@pytest.fixture
def persistent_wine(wine_prefix):
    persistent_wineserver()
    yield
    stop_wine()


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
        wait_accepts([port], STEP_S)

    yield start
    s.wine("sc", "stop", SERVICE)
    s.wine("sc", "delete", SERVICE)


def offer_box(s, timeout_s):
    """The box that names the bundle's running service and offers to remove it."""
    box = s.message_box(CAPTION, timeout_s=timeout_s)
    assert box["icon"] == "warning", box
    assert [button.split("(")[0] for button in box["buttons"]] == ["是", "否"], box
    assert f"服务“{DISPLAY_NAME}”尚未停止" in box["text"], box
    assert "以管理员身份运行 unstall.bat" in box["text"], box
    return box


def retry_box(s, says, timeout_s=STEP_S):
    """A box that says why the service is still there, with Retry and Cancel."""
    box = s.message_box(CAPTION, timeout_s=timeout_s)
    assert [button.split("(")[0] for button in box["buttons"]] == ["重试", "取消"], box
    assert says in box["text"] and f"“{DISPLAY_NAME}”" in box["text"], box
    return box


def write_unstall(s, text):
    """The bundle's unstall.bat, as an earlier configuration left it."""
    with open(os.path.join(s.bundle, "unstall.bat"), "wb") as f:
        f.write(text.encode("ascii"))


def nothing_written(s):
    # unstall.bat is the earlier configuration's, where a test left one.
    for _, _, output in TEMPLATES:
        if output.lower() != "unstall.bat":
            assert not os.path.exists(os.path.join(s.bundle, output)), output
    assert not os.path.exists(os.path.join(s.bundle, "Finish.txt"))


def test_running_service_of_the_bundle_is_removed_by_its_unstall_bat(s, service):
    service(os.path.join(s.bundle, "local", "mysql5", "bin"), 3306)
    # Stopped first, then removed: a running service that is removed is only marked for deletion.
    write_unstall(s, f"@echo off\r\nnet stop {SERVICE}\r\nsc delete {SERVICE}\r\n")
    program = s.start()
    offer_box(s, RESULT_S)
    nothing_written(s)
    s.message_box(CAPTION, press="yes", timeout_s=2)
    check_configured(s, "80")
    s.close()
    assert program.wait_exit() == 0


def test_a_service_that_unstall_bat_cannot_remove_is_named_with_what_is_left(s, service):
    service(os.path.join(s.bundle, "local", "mysql5", "bin"), 3306)
    program = s.start()
    offer_box(s, RESULT_S)
    s.message_box(CAPTION, press="yes", timeout_s=2)
    retry_box(s, "没有 unstall.bat")  # an earlier configuration without its script
    nothing_written(s)

    write_unstall(s, "@echo off\r\n")  # removes nothing
    s.message_box(CAPTION, press="retry", timeout_s=2)
    offer_box(s, STEP_S)
    s.message_box(CAPTION, press="yes", timeout_s=2)
    retry_box(s, "仍在运行或已标记为删除")
    nothing_written(s)

    # What is left to do, done by hand: Retry configures.
    assert s.wine("sc", "stop", SERVICE) == 0
    assert s.wine("sc", "delete", SERVICE) == 0
    s.message_box(CAPTION, press="retry", timeout_s=2)
    check_configured(s, "80")
    s.close()
    assert program.wait_exit() == 0


def test_no_leaves_the_window_without_a_result(s, service):
    service(os.path.join(s.bundle, "local", "Apache2", "bin"), 8088)
    program = s.start()
    offer_box(s, RESULT_S)
    s.message_box(CAPTION, press="no", timeout_s=2)
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
