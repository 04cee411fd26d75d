"""pytest fixtures of the end-to-end tests (the pieces are in harness.py).

    python3 -m pytest tests/e2e [--build DIR ...] [-k NAME]

--build names a build folder holding Orvandimex.exe and tools/inspector/inspector.exe; it may be
given more than once (default: build/windows32 and build/windows, those that exist). Every test
taking the Session `s` runs once per build, with the build's machine in its id (test_x[x86],
test_x[x64]); the inspector of the same build drives the program. Where this machine cannot run
32-bit Windows programs (scripts/can-run-32bit), the tests of a 32-bit build are skipped with the
reason (or fail, with ORV_REQUIRE_32BIT=1).

The whole run happens in a private network namespace: pytest runs itself again through
tests/in-netns before it collects anything, so that the wineserver lives inside it too. One
virtual display and one Wine prefix serve the whole run. A failing test leaves a screenshot in
e2e-failures/ of its build folder and shows the output of the program runs in its report.
"""

import os
import socket
import sys
import warnings

import pytest

from harness import (IN_NETNS, BrowserStub, Display, Inspector, Session, builds, make_bundle,
                     retry_noted, runnable, stop_wine, warm_up_wine)
from user_machine import UserMachine

BUILDS = pytest.StashKey()


class WineStartRetried(UserWarning):
    """Wine failed to start the inspector without a word, and the call was made once more."""


def pytest_addoption(parser):
    parser.addoption("--build", action="append", default=[], metavar="DIR",
                     help="build folder holding Orvandimex.exe and tools/inspector/inspector.exe; "
                     "repeatable (default: build/windows32 and build/windows, those that exist)")


def pytest_configure(config):
    if config.option.help or config.option.version:
        return
    try:
        config.stash[BUILDS] = builds(config.getoption("build"))
    except (OSError, ValueError) as error:
        raise pytest.UsageError(str(error))
    if not config.stash[BUILDS]:
        raise pytest.UsageError("no build to test: build/windows32 and build/windows hold no "
                                "Orvandimex.exe; build them or name one with --build DIR")
    if not os.environ.get("ORV_IN_NETNS"):
        # The same command again inside the namespace, with output no longer captured.
        capture = config.pluginmanager.getplugin("capturemanager")
        if capture is not None:
            capture.suspend_global_capture(in_=True)
        sys.stdout.flush()
        sys.stderr.flush()
        os.execv(IN_NETNS, [IN_NETNS, sys.executable, *sys.orig_argv[1:]])


def pytest_generate_tests(metafunc):
    if "build" in metafunc.fixturenames:
        chosen = metafunc.config.stash[BUILDS]
        metafunc.parametrize("build", chosen, ids=[b.id for b in chosen], indirect=True,
                             scope="session")


def retry_silent_start(args):
    """The Inspector's policy when Wine fails to start it without a word (seen once in many
    runs): one more try, said in the test's output and in the run's warnings summary."""
    warnings.warn(WineStartRetried(retry_noted(args)))
    return True


@pytest.fixture(scope="session")
def build(request):
    """The build under test (a harness.Build), one per --build; its tests are skipped (or fail)
    where this machine cannot run its programs."""
    verdict, why = runnable(request.param)
    if verdict == "skip":
        pytest.skip(why)
    if verdict == "fail":
        pytest.fail(why, pytrace=False)
    return request.param


@pytest.fixture(scope="session")
def private_network():
    """The run's own network namespace, entered in pytest_configure: only loopback."""
    interfaces = [name for _, name in socket.if_nameindex()]
    assert os.environ.get("ORV_IN_NETNS") and interfaces == ["lo"], \
        f"not in a private network namespace (interfaces {interfaces})"


@pytest.fixture(scope="session")
def display(private_network):
    with Display() as screen:
        yield screen


@pytest.fixture(scope="session")
def wine_prefix(private_network, display):
    """The Wine prefix, made once and its server started, with the xdg-open stub on its PATH."""
    with BrowserStub():
        try:
            yield warm_up_wine()
        finally:
            stop_wine()


@pytest.fixture(scope="session")
def machine_setup(request, wine_prefix):
    """The user-like machine (user_machine.py), registered once per run, with the stand-in of a
    build that this machine runs (64-bit where there is one) playing its running services."""
    chosen = request.config.stash[BUILDS]
    runs = [b for b in chosen if runnable(b)[0] == "run"]
    if not runs:
        pytest.skip("no build whose stand-in this machine can run")
    standin = next((b for b in runs if b.machine == "x64"), runs[0])
    machine = UserMachine(os.path.join(standin.folder, "tools", "standin", "SiteStandIn.exe"))
    try:
        machine.set_up()
        print(f"\nuser-like machine: {len(machine.services)} services registered, "
              f"{len(machine.running)} running, set up in {machine.set_up_s:.1f} s")
        yield machine
    finally:
        machine.tear_down()
        if machine.restarts:
            print(f"\nuser-like machine: its services were started again {machine.restarts} times")


@pytest.fixture
def user_machine(machine_setup):
    """A test on the user-like machine: its dozen services run (started again where a test before
    ended Wine) under a persistent wineserver."""
    machine_setup.ensure_running()
    return machine_setup


@pytest.fixture(scope="session")
def inspector(build, wine_prefix):
    return Inspector(build.inspector, retry=retry_silent_start)


@pytest.fixture
def bundle(build, request):
    """A fresh bundle folder: the sample bundle and a copy of the build's Orvandimex.exe. The
    test's Session removes it when it finishes."""
    return make_bundle(build.exe, request.node.name)


@pytest.fixture
def s(bundle, inspector):
    session = Session(bundle, inspector)
    yield session
    session.finish()


@pytest.hookimpl(hookwrapper=True)
def pytest_runtest_makereport(item, call):
    """A failed test's screenshot and the output of its program runs, in its report."""
    report = (yield).get_result()
    session = (getattr(item, "funcargs", None) or {}).get("s")
    if report.when != "call" or not report.failed or session is None:
        return
    folder = os.path.join(item.funcargs["build"].folder, "e2e-failures")
    os.makedirs(folder, exist_ok=True)
    shot = os.path.join(folder, f"{item.module.__name__}.{item.name}.png")
    session.screenshot(shot)
    report.sections.append(("screenshot", shot))
    for i, program in enumerate(session.programs):
        output = program.output()
        if output:
            report.sections.append((f"output of program run {i}", output))
