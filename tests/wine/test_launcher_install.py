"""The hand-off under Wine with the real registry: what the installer tool
receives, how long the launcher waits for it, the unsupported-device box,
the shipping 32-bit file itself, and the common-controls library taken from
the system directory even when a copy lies in the package."""

import re
import subprocess

import pytest

from harness import DLL_OVERRIDES, SW_HIDE, key_ini, needs_win32

SUPPORTED = "VEN_8086&DEV_2922"
DEVICE = SUPPORTED + "&SUBSYS_B0051458&REV_02"
OTHER = "VEN_10DE&DEV_0A64&SUBSYS_00000000&REV_B1"
KEY_INI = key_ini("VEN_1002&DEV_4380", SUPPORTED)
WORRY = ("Worry", "Sorry!! We don't support this ID. \nYour ID are't Correctly!!")


def assert_ended_quietly_after(r, boxes):
    assert r.exit_code == 0, r.describe()
    assert [(b.caption, b.text) for b in r.boxes] == boxes
    assert r.installs == []


@pytest.mark.parametrize("arch", ["x64", pytest.param("x86", marks=needs_win32)])
def test_unsupported_device_says_worry_and_starts_nothing(make_package, launchers, arch):
    pkg = make_package(launchers[arch], key_ini=KEY_INI, install=arch)
    assert_ended_quietly_after(pkg.run(version="winxp", pci=[OTHER]), [WORRY])


def _entries_beyond_memory(path):
    # 400 MB of one-byte-and-CR entries: the text itself fits a 32-bit
    # process, its 200 million entries do not.
    with open(path, "wb") as f:
        block = b"=\r" * (1 << 20)
        for _ in range(200):
            f.write(block)


def _beyond_32_bits(path):
    # A sparse 4 GiB + 23 bytes whose first 23 bytes are a list that matches:
    # read by the low half of its length, it would start the installer.
    with open(path, "wb") as f:
        f.write(key_ini(SUPPORTED))
        f.truncate((4 << 30) + len(key_ini(SUPPORTED)))


@pytest.mark.parametrize("arch,write", [
    pytest.param("x86", _entries_beyond_memory, marks=needs_win32, id="entries-x86"),
    pytest.param("x64", _beyond_32_bits, id="4GiB-x64"),
    pytest.param("x86", _beyond_32_bits, marks=needs_win32, id="4GiB-x86"),
])
def test_list_too_large_to_hold_or_read_is_reported_like_a_missing_one(make_package, launchers,
                                                                        arch, write):
    pkg = make_package(launchers[arch], key_ini=None, install=arch)
    write(pkg.dir / "key.ini")
    r = pkg.run(version="winxp", pci=[DEVICE])
    (pkg.dir / "key.ini").unlink()
    assert_ended_quietly_after(r, [("launcher", "key.ini not found !!")])


@needs_win32
def test_shipping_build_reports_a_missing_list_under_its_name(make_package, launchers):
    pkg = make_package(launchers["x86"], exe_name="Setup.exe", key_ini=None, install="x86")
    r = pkg.run(version="win2k", pci=[DEVICE])
    assert_ended_quietly_after(r, [("Setup", "key.ini not found !!")])


def test_waits_while_the_tool_window_stands(make_package, launchers):
    # The window is found 0.5, 2.5 and 4.5 s after the start and gone at 6.5 s.
    pkg = make_package(launchers["x64"], key_ini=KEY_INI, install_seconds=5)
    r = pkg.run(version="winxp", pci=[OTHER, DEVICE])
    assert r.exit_code == 0, r.describe()
    [start] = r.installs
    waited = r.ended_at - start["unix_ms"] / 1000
    assert 6.2 <= waited <= 8.0, r.describe()


def test_directory_with_blanks_gives_the_tool_exactly_two_arguments(make_package, launchers):
    pkg = make_package(launchers["x64"], key_ini=KEY_INI, blanks=True)
    r = pkg.run(version="win2k", pci=[DEVICE])
    assert r.exit_code == 0, r.describe()
    [start] = r.installs
    assert start["module"] == pkg.win_dir + "install.exe"
    assert start["argv"][1:] == [pkg.win_dir + "drv\\stordrv.inf", "PCI\\" + DEVICE]
    assert start["show_window"] == SW_HIDE


@pytest.mark.parametrize("arch", ["x64", pytest.param("x86", marks=needs_win32)])
def test_planted_common_controls_library_is_not_loaded(make_package, launchers, tools, arch):
    pkg = make_package(launchers[arch], key_ini=KEY_INI, install=arch)
    (pkg.dir / "comctl32.dll").write_bytes(tools.dll("comctl32", arch).read_bytes())
    # Told to prefer a native copy, Wine searches as Windows does: a static
    # import would now take the planted file.
    env = {**pkg.env, "WINEDLLOVERRIDES": DLL_OVERRIDES + ";comctl32=n,b",
           "WINEDEBUG": "-all,+msgbox,+loaddll"}
    r = pkg.run(version="winxp", pci=[DEVICE], env=env)
    assert r.exit_code == 0, r.describe()
    assert len(r.installs) == 1
    assert not (pkg.dir / "planted.mark").exists()
    loaded = [line for line in r.stderr.splitlines()
              if "loaddll" in line and re.search(r"comctl32\.dll", line, re.I)]
    assert loaded, "comctl32 was never loaded"
    assert all("system32" in line.lower() or "syswow64" in line.lower() for line in loaded), loaded


def _has_locale(name):
    out = subprocess.run(["locale", "-a"], capture_output=True, text=True).stdout
    return name.lower() in out.lower().split()


@pytest.mark.skipif(not _has_locale("ja_JP.utf8"),
                    reason="locale ja_JP.UTF-8 missing (scripts/setup-env.sh generates it)")
def test_double_byte_file_name_does_not_cut_the_directory(make_package, launchers):
    # In code page 932 the second byte of this character is 0x5C, the
    # backslash: a byte-wise search would take it for the last separator.
    pkg = make_package(launchers["x64"], exe_name="\u8868.exe", key_ini=KEY_INI)
    env = {**pkg.env, "LANG": "ja_JP.UTF-8", "LC_ALL": "ja_JP.UTF-8"}
    r = pkg.run(version="winxp", pci=[DEVICE], env=env)
    assert (r.exit_code, r.boxes) == (0, []), r.describe()
    [start] = r.installs
    assert start["module"] == pkg.win_dir + "install.exe"
