"""The launcher under Wine, by reported Windows version: NT 5.x goes on to
key.ini and the installer, every other version ends silently, and its own
command-line arguments make no difference."""

import pytest

from harness import SW_HIDE, STARTF_USESHOWWINDOW, key_ini, needs_win32

SUPPORTED = "VEN_8086&DEV_2922"
DEVICE = SUPPORTED + "&SUBSYS_B0051458&REV_02"
KEY_INI = key_ini("VEN_1002&DEV_4380", SUPPORTED)
# An unsupported device enumerated ahead of the supported one.
PCI = ["VEN_10DE&DEV_0A64&SUBSYS_00000000&REV_B1", DEVICE]

NT5 = ["win2k", "winxp", "winxp64"]
OTHERS = ["win7", "vista", "win98", "winme", "win95", "nt40"]


def expected_command(pkg, device):
    d = pkg.win_dir
    if " " in d:
        return f'"{d}install.exe" "{d}drv\\stordrv.inf" "PCI\\{device}"'
    return f'{d}install.exe {d}drv\\stordrv.inf "PCI\\{device}"'


def assert_installed_hidden_and_waited(pkg, r):
    assert (r.exit_code, r.boxes) == (0, []), r.describe()
    [start] = r.installs
    assert start["cmdline"] == expected_command(pkg, DEVICE)
    assert start["show_window"] == SW_HIDE
    assert start["startup_flags"] & STARTF_USESHOWWINDOW
    assert start["end_unix_ms"] is not None
    assert r.ended_at * 1000 >= start["end_unix_ms"], "did not wait for the installer"


@pytest.mark.parametrize("version", NT5)
def test_nt5_without_key_ini_says_so_under_its_own_name(make_package, launcher64, version):
    pkg = make_package(launcher64, exe_name="drvsetup.exe", key_ini=None)
    r = pkg.run(version=version, pci=PCI)
    assert r.exit_code == 0, r.describe()
    assert [(b.caption, b.text) for b in r.boxes] == [("drvsetup", "key.ini not found !!")]
    assert r.installs == []


@pytest.mark.parametrize("version, blanks", [("win2k", False), ("winxp64", True)])
def test_nt5_starts_the_installer_hidden_and_waits(make_package, launcher64, version, blanks):
    pkg = make_package(launcher64, key_ini=KEY_INI, blanks=blanks)
    assert_installed_hidden_and_waited(pkg, pkg.run(version=version, pci=PCI))


# Wine loads any header, so the 32-bit rows show only that the shipping file
# classifies the oldest systems; whether they load it is tests/pe's question.
@pytest.mark.parametrize("arch, version", [("x64", v) for v in OTHERS] + [
    pytest.param("x86", v, marks=needs_win32) for v in ["win95", "win98", "winme", "nt40"]])
def test_other_versions_end_silently(make_package, launchers, arch, version):
    pkg = make_package(launchers[arch], key_ini=KEY_INI)
    r = pkg.run(version=version, pci=PCI)
    assert (r.exit_code, r.boxes, r.installs) == (0, [], []), r.describe()


ARGS = ["/S", "-q", "extra arg", r"C:\elsewhere\key.ini", "PCI\\VEN_1000&DEV_0030"]


def test_arguments_change_nothing(make_package, launcher64):
    pkg = make_package(launcher64, key_ini=KEY_INI)
    assert_installed_hidden_and_waited(pkg, pkg.run(ARGS, version="win2k", pci=PCI))

    quiet = make_package(launcher64, key_ini=KEY_INI)
    r = quiet.run(ARGS, version="win7")
    assert (r.exit_code, r.boxes, r.installs) == (0, [], []), r.describe()


@needs_win32
def test_32bit_build_on_xp_starts_the_installer(make_package, launcher32):
    pkg = make_package(launcher32, key_ini=KEY_INI, blanks=True)
    assert_installed_hidden_and_waited(pkg, pkg.run(version="winxp", pci=PCI))
