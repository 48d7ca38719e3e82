"""Fixtures for the Wine tests; the API is described in harness.py."""

import os
import shutil
from pathlib import Path

import pytest

import harness
from harness import REPO, WORK, Tools, WineEnv, Xvfb


@pytest.fixture(scope="session")
def xdisplay():
    if not shutil.which("Xvfb"):
        pytest.skip("Xvfb not installed (scripts/setup-env.sh installs it)")
    server = Xvfb()
    yield server.display
    server.close()


@pytest.fixture(scope="session")
def wine(xdisplay):
    if not shutil.which(harness.WINE64):
        pytest.skip("wine64 not installed (scripts/setup-env.sh installs it)")
    WORK.mkdir(parents=True, exist_ok=True)
    # Emulation first: a prefix made without it lacks its 32-bit half.
    win32, _ = harness.win32_support()
    env = WineEnv.open(WORK / "prefix", xdisplay, harness.new_run_id(), win32)
    yield env
    env.kill()


@pytest.fixture(scope="session")
def wine32(xdisplay, need_win32):
    """A 32-bit prefix: Windows as 2000 and XP are, with no WOW64 (a 32-bit
    program in the 64-bit prefix runs under WOW64).  Made when first asked
    for, in about 15 s."""
    WORK.mkdir(parents=True, exist_ok=True)
    env = WineEnv.open(WORK / "prefix32", xdisplay, harness.new_run_id(), True, arch="win32")
    yield env
    env.kill()


@pytest.fixture(scope="session")
def tools():
    return Tools()


@pytest.fixture(scope="session")
def need_win32():
    ok, reason = harness.win32_support()
    if not ok:
        pytest.skip(reason)


@pytest.fixture
def make_package(wine, tools, tmp_path):
    """make_package(launcher, **kw) in the 64-bit prefix; env= gives another."""
    count = 0

    def make(launcher, env=None, **kw):
        nonlocal count
        count += 1
        return harness.make_package(env or wine, tools, tmp_path / f"p{count}", launcher, **kw)

    return make


# Each build by architecture: the variable that points elsewhere, and dist/.
_BUILDS = {"x64": ("WINE_TEST_LAUNCHER64", "dist/x64/launcher.exe"),
           "x86": ("WINE_TEST_LAUNCHER32", "dist/launcher.exe"),
           "tool-x64": ("WINE_TEST_INSTALL64", "dist/x64/install.exe"),
           "tool-x86": ("WINE_TEST_INSTALL32", "dist/install.exe")}


def _built(arch):
    variable, default = _BUILDS[arch]
    path = Path(os.environ.get(variable) or REPO / default)
    if not path.exists():
        pytest.skip(f"{path} not built")
    return path


@pytest.fixture
def launcher64():
    return _built("x64")


@pytest.fixture
def launcher32(need_win32):
    return _built("x86")


@pytest.fixture
def launchers():
    """Both builds by architecture ("x64", "x86"), and of the installer tool
    ("tool-x64", "tool-x86"); a missing one skips the test that uses it."""

    class Builds(dict):
        def __missing__(self, arch):
            return _built(arch)

    return Builds()
