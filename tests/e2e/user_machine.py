"""A Wine prefix that looks like a real user's Windows machine, as far as the program asks it.

A fresh prefix has a dozen services with short paths and one drive. A user's machine has forty or
more, with the command lines of what is installed there: driver-store container services with
lines of over 300 characters, unquoted paths with spaces, service-host groups, programs on a
second drive and at its root, a service whose program was removed, folders with Chinese names.
UserMachine registers such a set (MACHINE_SERVICES); the running ones are copies of the stand-in
server in its service mode (SiteStandIn.exe --service PORT, which ignores the arguments after the
port), each listening on a port of its own, placed at those paths on C: (the prefix's drive_c)
and D: (a dosdevices link to a folder of the prefix).

Wine keeps running services inside its wineserver: the machine needs a persistent one
(wineserver -p), and its services die with it. Registration goes through one generated batch file
run by one `cmd /c` (cheaper than a Wine process per `sc`); the registry keeps it across wineserver
restarts, so that bringing the machine back (ensure_running) only starts the dozen again.
"""

import os
import shutil
import subprocess
import time

from harness import (WINE_RUN, Program, accepts, persistent_wineserver, run_wine, wait_accepts,
                     wine_prefix)

# Every service of the machine is named with this prefix, so that it can be told apart and
# removed again.
PREFIX = "Um"
FIRST_PORT = 40001
# The long directory names of driver packages in the driver store.
_STORE = r"C:\Windows\System32\DriverStore\FileRepository"
_GFX = _STORE + r"\dispgfx_dch_uni.inf_amd64_7c3e19a4b2d05f61"
_SOUND = _STORE + r"\hdxaudio_ext_oem.inf_amd64_0a5d9e83c1f27b44"
_NET = _STORE + r"\netwlx_dch_cx64.inf_amd64_e2b4f60c9d1a8357"


def _container(name, folder, container, data):
    """A driver-store container service's command line (without the ports)."""
    return (f'"{folder}\\{container}" -s {name} -f "%ProgramData%\\{data}\\Logs\\{name}.log" '
            f'-l 3 -d "{folder}\\ContainerPlugins\\plugins\\LocalSystem" -r -p 30000')


class Service:
    """One registered service: its name, display name, command line as registered (with
    "{port}" where the running ones take their port), whether it runs, and its binary's path as
    the machine sees it (None: no file there)."""

    def __init__(self, name, display, line, binary=None, runs=False):
        self.name, self.display, self.line = name, display, line
        self.binary, self.runs = binary, runs
        self.port = None

    def command_line(self):
        if not self.runs:
            return self.line
        # The stand-in reads "--service PORT" after its path and ignores the rest.
        path, rest = _split_program(self.line)
        return f"{path} --service {self.port}{rest}"


def _split_program(line):
    """The program part of a command line (quoted, or up to the ".exe") and the rest."""
    if line.startswith('"'):
        end = line.index('"', 1) + 1
    else:
        end = line.lower().index(".exe") + 4
    return line[:end], line[end:]


def _svchost(name, display, group):
    # Wine's own svchost.exe: nothing of the machine's is put there.
    return Service(name, display, rf"%SystemRoot%\System32\svchost.exe -k {group} -p")


def machine_services():
    """The machine's services; the running ones first, with their ports."""
    running = [
        Service("UmGfxContainer", "Display Graphics Container Service",
                _container("UmGfxContainer", _GFX, "GfxContainerSvc.exe", "DisplayGfx"),
                binary=_GFX + r"\GfxContainerSvc.exe", runs=True),
        Service("UmSoundContainer", "Sound Extension Container",
                _container("UmSoundContainer", _SOUND, "SoundExtContainer.exe", "SoundExt"),
                binary=_SOUND + r"\SoundExtContainer.exe", runs=True),
        Service("UmWirelessContainer", "Wireless Connection Container",
                _container("UmWirelessContainer", _NET, "WlxContainerHost.exe", "Wireless"),
                binary=_NET + r"\WlxContainerHost.exe", runs=True),
        # Unquoted, with spaces: the manager starts the first prefix that names a file.
        Service("UmSyncAgent", "Some Vendor Sync Agent",
                r"C:\Program Files\Some Vendor\Sync Agent\syncagent.exe -run",
                binary=r"C:\Program Files\Some Vendor\Sync Agent\syncagent.exe", runs=True),
        Service("UmLicensing", "Shared Licensing Service",
                r'"C:\Program Files\Common Files\Shared Licensing\licsvc.exe" /service',
                binary=r"C:\Program Files\Common Files\Shared Licensing\licsvc.exe", runs=True),
        Service("UmCloudSync", "云端同步助手服务",
                r'"C:\Program Files (x86)\云端同步助手\bin\同步服务.exe" --tray=0',
                binary=r"C:\Program Files (x86)\云端同步助手\bin\同步服务.exe", runs=True),
        Service("UmRemoteAssist", "Remote Assist Host",
                r'"%ProgramFiles%\Remote Assist\rahost.exe" -service',
                binary=r"C:\Program Files\Remote Assist\rahost.exe", runs=True),
        Service("UmPrintBridge", "Print Bridge", r"C:\Windows\System32\PrintBridgeSvc.exe",
                binary=r"C:\Windows\System32\PrintBridgeSvc.exe", runs=True),
        Service("UmUpdater", "Application Updater",
                r'"C:\ProgramData\App Updater\updater.exe" /svc '
                r'/log:"C:\ProgramData\App Updater\log"',
                binary=r"C:\ProgramData\App Updater\updater.exe", runs=True),
        # The second drive, and its root.
        Service("UmBackup", "Backup Tool Agent", r'"D:\Apps\Backup Tool\backupsvc.exe" -d',
                binary=r"D:\Apps\Backup Tool\backupsvc.exe", runs=True),
        Service("UmDriveRoot", "Drive Helper", r"D:\drvhelper.exe /background",
                binary=r"D:\drvhelper.exe", runs=True),
        Service("UmMediaIndex", "媒体库索引服务", r'"D:\软件\媒体库\mediaidx.exe" -quiet',
                binary=r"D:\软件\媒体库\mediaidx.exe", runs=True),
    ]
    for i, service in enumerate(running):
        service.port = FIRST_PORT + i
    groups = ["netsvcs", "LocalServiceNetworkRestricted", "LocalSystemNetworkRestricted",
              "NetworkService", "LocalService", "LocalServiceNoNetwork", "DcomLaunch", "rpcss",
              "appmodel", "wsappx", "UnistackSvcGroup", "LocalServiceAndNoImpersonation",
              "netsvcs", "LocalService", "NetworkServiceNetworkRestricted"]
    stopped = [_svchost(f"UmHost{i:02d}", f"Host Group Service {i:02d}", group)
               for i, group in enumerate(groups)]
    stopped += [
        Service("UmGfxTelemetry", "Display Graphics Telemetry",
                _container("UmGfxTelemetry", _GFX, "GfxTelemetryContainer.exe", "DisplayGfx"),
                binary=_GFX + r"\GfxTelemetryContainer.exe"),
        # Its program was removed; the service stayed registered.
        Service("UmOldTool", "Old Tool Service",
                r'"C:\Program Files\Old Tool\oldsvc.exe" -service'),
        Service("UmVendorHelper", "Vendor Helper",
                r"C:\Program Files (x86)\Some Vendor\Helper\helpersvc.exe /s",
                binary=r"C:\Program Files (x86)\Some Vendor\Helper\helpersvc.exe"),
        Service("UmGameLauncher", "Game Launcher Update", r'"D:\Games\Launcher\launchsvc.exe"',
                binary=r"D:\Games\Launcher\launchsvc.exe"),
        Service("UmInputMethod", "输入法云服务",
                r'"C:\Program Files (x86)\输入法\云服务\imecloud.exe"',
                binary=r"C:\Program Files (x86)\输入法\云服务\imecloud.exe"),
        Service("UmDriveRootOld", "Drive Root Agent", r'"D:\rootagent.exe" -k',
                binary=r"D:\rootagent.exe"),
        Service("UmScanner", "Scanner Monitor", r"C:\Windows\SysWOW64\scanmon.exe",
                binary=r"C:\Windows\SysWOW64\scanmon.exe"),
        Service("UmVpn", "VPN Client Service",
                r'"C:\Program Files\Secure Tunnel\Client\tunnelsvc.exe" -f '
                r'"C:\ProgramData\Secure Tunnel\tunnel.conf"',
                binary=r"C:\Program Files\Secure Tunnel\Client\tunnelsvc.exe"),
        Service("UmDatabase", "Local Database Engine",
                r'"C:\Program Files\Local DB\bin\dbengine.exe" '
                r'--defaults-file="C:\ProgramData\Local DB\my.ini" LocalDB',
                binary=r"C:\Program Files\Local DB\bin\dbengine.exe"),
        Service("UmPhotoSync", "照片备份服务",
                r"C:\Users\Public\Documents\照片备份\photosync.exe -background",
                binary=r"C:\Users\Public\Documents\照片备份\photosync.exe"),
        Service("UmTouchpad", "Touchpad Gesture Service",
                r'"C:\Program Files\Some Vendor\Touchpad\gesturesvc.exe" /run',
                binary=r"C:\Program Files\Some Vendor\Touchpad\gesturesvc.exe"),
        Service("UmArchive", "Archive Shell Helper", r"D:\Tools\arc.exe",
                binary=r"D:\Tools\arc.exe"),
        Service("UmWebServer", "Local Web Server",
                r'"D:\Server\web\bin\websrv.exe" -k runservice',
                binary=r"D:\Server\web\bin\websrv.exe"),
    ]
    return running + stopped


def _batch_quoted(text):
    """text as one argument of sc.exe, written into a batch file: quotes escaped for the program's
    argument reader, percent signs doubled for cmd."""
    return '"' + text.replace('"', '\\"').replace("%", "%%") + '"'


class UserMachine:
    """The machine's services and files in the prefix; set_up() once, ensure_running() before each
    test that wants the dozen running, tear_down() at the end."""

    def __init__(self, standin):
        self.standin = standin
        self.prefix = wine_prefix()
        self.services = machine_services()
        self.running = [service for service in self.services if service.runs]
        self.drive_d = os.path.join(self.prefix, "orv-user-machine-d")
        self.folder = os.path.join(self.prefix, "orv-user-machine")
        self.drives = []
        self.placed = []
        self.set_up_s = None
        self.restarts = 0

    def unix_path(self, windows_path):
        """Where a path of the machine lies here: each existing folder found by Wine's rule,
        without regard to case (C:\\Windows is the prefix's drive_c/windows)."""
        drive = os.path.join(self.prefix, "dosdevices", f"{windows_path[0].lower()}:")
        path = os.path.realpath(drive)
        for part in windows_path[3:].split("\\"):
            names = os.listdir(path) if os.path.isdir(path) else []
            path = os.path.join(path, next((n for n in names if n.lower() == part.lower()), part))
        return path

    def _place(self, windows_path):
        """Copies the stand-in to a path of the machine; notes the first folder it made (or the
        file), for tear_down."""
        target = self.unix_path(windows_path)
        made = target
        folder = os.path.dirname(target)
        while not os.path.exists(folder):
            made, folder = folder, os.path.dirname(folder)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        shutil.copyfile(self.standin, target)
        self.placed.append(made)

    def map_drive(self, letter, folder):
        """Makes drive letter: a folder of this machine (a dosdevices link), until tear_down or
        unmap_drive."""
        link = os.path.join(self.prefix, "dosdevices", f"{letter.lower()}:")
        if os.path.lexists(link):
            raise RuntimeError(f"drive {letter}: exists already in the prefix ({link})")
        os.symlink(os.path.abspath(folder), link)
        self.drives.append(link)

    def unmap_drive(self, letter):
        link = os.path.join(self.prefix, "dosdevices", f"{letter.lower()}:")
        if link in self.drives:
            os.remove(link)
            self.drives.remove(link)

    def _batch(self, name, lines):
        path = os.path.join(self.folder, name)
        with open(path, "wb") as f:
            # cmd reads a batch file in the OEM code page: 936 under zh_CN.UTF-8.
            f.write(("@echo off\r\n" + "\r\n".join(lines) + "\r\n").encode("gbk"))
        return path

    def _run_batch(self, name, lines):
        path = self._batch(name, lines)
        run_wine("cmd", "/c", "Z:" + path.replace("/", "\\"))

    def set_up(self):
        started = time.monotonic()
        os.makedirs(self.folder, exist_ok=True)
        os.makedirs(self.drive_d, exist_ok=True)
        persistent_wineserver()
        if not os.path.lexists(os.path.join(self.prefix, "dosdevices", "d:")):
            self.map_drive("d", self.drive_d)
        for service in self.services:
            if service.binary is not None:
                self._place(service.binary)
        lines = []
        for service in self.services:
            lines.append(f"sc create {service.name} "
                         f"binPath= {_batch_quoted(service.command_line())} "
                         f"DisplayName= {_batch_quoted(service.display)} start= demand >nul")
        lines += [f"sc start {service.name} >nul" for service in self.running]
        self._run_batch("create.bat", lines)
        wait_accepts([service.port for service in self.running], timeout_s=60)
        self.set_up_s = time.monotonic() - started

    def ensure_running(self):
        """Brings the running services back where the wineserver that held them has ended (a
        test that stopped Wine); the seconds that took, 0 when they ran."""
        if all(accepts(service.port) for service in self.running):
            return 0.0
        started = time.monotonic()
        persistent_wineserver()
        self._run_batch("start.bat", [f"sc start {service.name} >nul" for service in self.running])
        wait_accepts([service.port for service in self.running], timeout_s=60)
        self.restarts += 1
        return time.monotonic() - started

    def tear_down(self):
        """Stops and removes the services, their files and the drives it made; leaves the prefix as
        it was for whatever runs in it next."""
        lines = [f"sc stop {service.name} >nul" for service in self.running]
        lines += [f"sc delete {service.name} >nul" for service in self.services]
        self._run_batch("delete.bat", lines)
        for link in list(self.drives):
            os.remove(link)
        self.drives.clear()
        for made in reversed(self.placed):
            if os.path.isdir(made):
                shutil.rmtree(made, ignore_errors=True)
            elif os.path.exists(made):
                os.remove(made)
        self.placed.clear()
        shutil.rmtree(self.drive_d, ignore_errors=True)
        shutil.rmtree(self.folder, ignore_errors=True)


class ProgramAt(Program):
    """Orvandimex.exe started by its Windows path (such as S:\\Orvandimex.exe on a drive of its
    own), where the harness's Program takes a path of this machine."""

    def __init__(self, windows_exe, folder, log_path, env=None):
        self.log = open(log_path, "wb")
        self.process = subprocess.Popen([WINE_RUN, windows_exe], stdout=self.log,
                                        stderr=subprocess.STDOUT, cwd=folder,
                                        start_new_session=True, env={**os.environ, **(env or {})})
