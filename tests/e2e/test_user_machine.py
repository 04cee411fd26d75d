"""The first run on the user-like machine (user_machine.py): what a fresh prefix never shows.

A service whose command line expands to 259 characters or more once kept the window's thread
in a loop, and a bundle at a drive root once took every service on that drive for its own."""

import os
import shutil

from harness import STEP_S, Session, run_wine, wait_accepts
from test_first_run import check_configured
from user_machine import ProgramAt

ROOT_DRIVE = "s"
OTHER_SERVICE = "UmDiskMonitor"
OTHER_PORT = 40090


def test_first_run_beside_services_with_long_command_lines(s, user_machine):
    long_lines = [service for service in user_machine.running
                  if len(service.command_line()) > 300]
    assert len(long_lines) >= 3, [service.name for service in long_lines]
    program = s.start()
    check_configured(s, "80")
    s.close()
    assert program.wait_exit() == 0


def test_bundle_at_a_drive_root_is_not_held_by_another_programs_service(s, user_machine):
    # The bundle is all of drive S:; another program, outside its local\ folder, runs as a
    # service from the same drive.
    user_machine.map_drive(ROOT_DRIVE, s.bundle)
    other = os.path.join(s.bundle, "Tools", "Disk Monitor", "diskmon.exe")
    os.makedirs(os.path.dirname(other))
    shutil.copyfile(user_machine.standin, other)
    try:
        assert run_wine("sc", "create", OTHER_SERVICE, "binPath=",
                        rf"S:\Tools\Disk Monitor\diskmon.exe --service {OTHER_PORT} -watch",
                        "DisplayName=", "Disk Monitor") == 0
        assert run_wine("sc", "start", OTHER_SERVICE) == 0
        wait_accepts([OTHER_PORT], STEP_S)

        program = ProgramAt(rf"{ROOT_DRIVE.upper()}:\Orvandimex.exe", s.bundle,
                            os.path.join(s.root, "program-root.log"),
                            env={"ORV_E2E_OPENED": s.opened_log})
        s.programs.append(program)
        # The bundle's folder as the program names it in every file: the drive's root.
        s.windows_path = lambda path: (f"{ROOT_DRIVE.upper()}:" if path == s.bundle
                                       else Session.windows_path(path))
        check_configured(s, "80")
        s.close()
        assert program.wait_exit() == 0
    finally:
        run_wine("sc", "stop", OTHER_SERVICE)
        run_wine("sc", "delete", OTHER_SERVICE)
        user_machine.unmap_drive(ROOT_DRIVE)
