"""The package's own installer tool under Wine, started by the launcher as a
user's machine starts it: the driver really installed for the chosen device
(read back from the registry, since Wine's install call says TRUE whatever
happened), a package that lacks a file named before anything changes, the
usage box, the setup libraries taken from the system directory only, and
the launcher ending after the tool.  The 32-bit builds run in a 32-bit
prefix, Windows as 2000 and XP are; the 64-bit ones in the 64-bit prefix,
alone or, as on XP x64, started by the 32-bit tool under WOW64."""

import re
import shutil

import pytest

from harness import (DLL_OVERRIDES, REPO, SCSI_ADAPTER_CLASS, Device, needs_win32)

EXAMPLE = REPO / "examples" / "package"
KEY_INI = (EXAMPLE / "key.ini").read_bytes()
DEVICE = Device("VEN_8086&DEV_2922&SUBSYS_B0051458&REV_02")
OTHER = "VEN_10DE&DEV_0A64&SUBSYS_00000000&REV_B1"
SERVICE = r"HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\stordrv"
CAPTION = "Driver installation"
ARCHS = ["x64", pytest.param("x86", marks=needs_win32)]
# The driver each architecture installs, as the package holds it below drv/.
DRIVER = {"x64": "amd64/stordrv.sys", "x86": "stordrv.sys"}
MISSING_TOOL = ("This is 64-bit Windows, and the package's 64-bit installer tool "
                "amd64\\install.exe is missing. Nothing was installed.")


@pytest.fixture
def machine(request, wine):
    """The prefix for an architecture, without the example's driver
    installed by an earlier test."""

    def get(arch):
        env = request.getfixturevalue("wine32") if arch == "x86" else wine
        env.reg_import(f"[-{SERVICE}]\n\n")
        (env.prefix / "drive_c" / "windows" / "system32" / "drivers" / "stordrv.sys").unlink(
            missing_ok=True)
        return env

    return get


def package(make_package, launchers, env, arch, drv=EXAMPLE / "drv", **kw):
    return make_package(launchers[arch], env=env, key_ini=KEY_INI,
                        install=launchers["tool-" + arch], inf=drv, **kw)


def assert_nothing_installed(env):
    values = env.reg_values(DEVICE.key)
    assert values is not None and "Driver" not in values and "Service" not in values, values
    assert env.reg_values(SERVICE) is None


def payload(tmp_path, arch, layout="plain"):
    """The example's drv folder as Wine in the architecture's prefix installs
    it.  Wine's file queue reads only the plain [SourceDisksNames] and
    [SourceDisksFiles] (its query functions, and so the tool, read the
    .amd64 ones first, as Windows does): for the 64-bit prefix the plain disk
    line points where the .amd64 one does.  "disk-and-file-subfolders": the
    drivers lie in a folder that the disk line names and, in that, one that
    the file line names.  "datacenter-section-beside": beside the models for
    XP, a Datacenter-only section (suite mask 0x80) whose driver the package
    lacks, which XP does not read."""
    drv = tmp_path / "drv"
    shutil.copytree(EXAMPLE / "drv", drv)
    inf = (drv / "stordrv.inf").read_bytes()

    def edit(old, new):
        nonlocal inf
        assert inf.count(old) == 1, old
        inf = inf.replace(old, new)

    plain = b"\n1=%Disk%,,,\r\n"
    if layout == "disk-and-file-subfolders":
        edit(plain, b"\n1=%Disk%,,,\\files\r\n")
        plain = b"\n1=%Disk%,,,\\files\r\n"
        edit(b"\nstordrv.sys=1\r\n", b"\nstordrv.sys=1,sys\r\n")
        (drv / "files" / "sys").mkdir(parents=True)
        (drv / "stordrv.sys").rename(drv / "files" / "sys" / "stordrv.sys")
        (drv / "amd64" / "sys").mkdir()
        (drv / "amd64" / "stordrv.sys").rename(drv / "amd64" / "sys" / "stordrv.sys")
    if layout == "datacenter-section-beside":
        dc = b"".join(b"[Models.%s....0x80]\r\n%%Dev1%%=Dc_Inst,PCI\\VEN_8086&DEV_2922\r\n" % a
                      for a in (b"NTx86", b"NTamd64"))
        edit(b"=Models,NTx86.5.1,NTamd64\r\n",
             b"=Models,NTx86.5.1,NTamd64,NTx86....0x80,NTamd64....0x80\r\n")
        edit(b"[StorDrv_Inst]\r\n", dc + b"[Dc_Inst]\r\nCopyFiles=@dc.sys\r\n[StorDrv_Inst]\r\n")
        edit(b"\nstordrv.sys=1\r\n", b"\nstordrv.sys=1\r\ndc.sys=1\r\n")
    if arch == "x64":
        edit(plain, b"\n1=%Disk%,,,\\amd64\r\n")
    (drv / "stordrv.inf").write_bytes(inf)
    return drv


@pytest.mark.parametrize("layout", ["plain", "blank-in-path", "disk-and-file-subfolders",
                                    "datacenter-section-beside"])
@pytest.mark.parametrize("arch", ARCHS)
def test_launcher_and_tool_install_the_driver_for_the_chosen_device(
        make_package, launchers, machine, arch, layout, tmp_path):
    env = machine(arch)
    drv = payload(tmp_path, arch, layout)
    pkg = package(make_package, launchers, env, arch, drv=drv, blanks=layout == "blank-in-path")
    r = pkg.run(version="winxp", pci=[OTHER, DEVICE], box_programs=("install.exe",))
    assert (r.exit_code, r.boxes) == (0, []), r.describe()

    device = env.reg_values(DEVICE.key)
    assert device["Service"] == "stordrv", device
    assert device["Driver"].upper().startswith(SCSI_ADAPTER_CLASS + "\\"), device
    assert env.reg_values(SERVICE)["ImagePath"].lower().endswith(r"\drivers\stordrv.sys")
    copied = env.prefix / "drive_c" / "windows" / "system32" / "drivers" / "stordrv.sys"
    assert copied.read_bytes() == (EXAMPLE / "drv" / DRIVER[arch]).read_bytes()


@pytest.mark.parametrize("arch", ARCHS)
def test_missing_payload_is_named_nothing_changes_and_the_launcher_waits_for_the_tool(
        make_package, launchers, machine, arch, tmp_path):
    env = machine(arch)
    drv = payload(tmp_path, arch)
    (drv / DRIVER[arch]).unlink()
    pkg = package(make_package, launchers, env, arch, drv=drv)
    # The tool's box stands 4 s: a launcher that did not wait for the tool's
    # window would end long before the tool.
    r = pkg.run(version="winxp", pci=[DEVICE], box_programs=("install.exe",), box_delay=4,
                processes=("install.exe",))
    assert r.exit_code == 0, r.describe()
    [box] = r.boxes
    assert box.caption == CAPTION
    assert box.text.startswith("The driver package is incomplete, so nothing was installed")
    missing = "drv\\" + DRIVER[arch].replace("/", "\\")
    assert pkg.win_dir + missing + " is missing." in box.text, box.text
    assert_nothing_installed(env)
    # Within seconds: a missing source file makes Wine's install spin for ever.
    assert r.wall_time < 60, r.describe()
    tool_seen = r.last_seen["install.exe"]
    assert tool_seen is not None, "the tool was never seen running"
    assert r.ended_at - r.started_at >= 4, r.describe()
    assert tool_seen <= r.ended_at + 1.0, "the launcher ended before the tool"


@pytest.mark.parametrize("arch,args,problem", [
    ("x64", [], "The command line lacks the setup information or the hardware ID."),
    ("x64", ["drv\\stordrv.inf", "PCI\\X"], "The path of the setup information is not a full"),
    ("x64", ["{inf}", "USB\\X"], "The hardware ID does not start with PCI\\."),
    ("x64", ["{inf}", "PCI\\X", "more"], "The command line holds more than"),
    pytest.param("x86", ["{inf}"], "The command line lacks", marks=needs_win32),
])
def test_wrong_arguments_get_the_usage_box(make_package, launchers, machine, arch, args,
                                           problem):
    env = machine(arch)
    pkg = package(make_package, launchers, env, arch)
    env.set_pci_devices([DEVICE])
    inf = pkg.win_dir + "drv\\stordrv.inf"
    r = env.run(pkg.dir / "install.exe", [a.format(inf=inf) for a in args])
    assert r.exit_code == 2, r.describe()
    [box] = r.boxes
    assert (box.caption, box.text.startswith(problem)) == (CAPTION, True), box.text
    assert "Usage: install.exe INF" in box.text
    assert_nothing_installed(env)


@pytest.mark.parametrize("arch,version,status,text", [
    pytest.param("x86", "winxp64", 5, MISSING_TOOL, marks=needs_win32, id="wow64"),
    ("x64", "win98", 4, "This driver package needs Windows 2000 or XP."),
    ("x64", "nt40", 4, "This driver package needs Windows 2000 or XP."),
])
def test_tool_started_by_hand_where_it_cannot_install_says_why(make_package, launchers, machine,
                                                               arch, version, status, text):
    env = machine("x64")
    pkg = package(make_package, launchers, env, arch)
    env.set_pci_devices([DEVICE])
    env.set_version("install.exe", version)
    r = env.run(pkg.dir / "install.exe",
                [pkg.win_dir + "drv\\stordrv.inf", "PCI\\" + DEVICE.name])
    env.set_version("install.exe", None)
    assert r.exit_code == status, r.describe()
    assert [(b.caption, b.text) for b in r.boxes] == [(CAPTION, text)]
    assert_nothing_installed(env)


@pytest.mark.parametrize("arch", ARCHS)
def test_setup_libraries_planted_beside_the_tool_are_not_loaded(make_package, launchers,
                                                                machine, tools, arch):
    env = machine(arch)
    pkg = package(make_package, launchers, env, arch)
    for name in ("setupapi", "newdev"):
        shutil.copy2(tools.dll("planted_" + name, arch), pkg.dir / f"{name}.dll")
    # Told to prefer native copies, Wine searches as Windows does: a load by
    # name would now take the planted files.
    env_vars = {**pkg.env, "WINEDLLOVERRIDES": DLL_OVERRIDES + ";setupapi,newdev=n,b",
                "WINEDEBUG": "-all,+msgbox,+loaddll"}
    r = pkg.run(version="winxp", pci=[DEVICE], env=env_vars, box_programs=("install.exe",))
    assert (r.exit_code, r.boxes) == (0, []), r.describe()
    assert not (pkg.dir / "planted.mark").exists()
    assert env.reg_values(DEVICE.key).get("Service") == "stordrv"
    loaded = [line for line in r.stderr.splitlines()
              if "loaddll" in line and re.search(r"(setupapi|newdev)\.dll", line, re.I)]
    assert loaded, "the setup libraries were never loaded"
    assert all(re.search(r"system32|syswow64", line, re.I) for line in loaded), loaded


# --- XP x64: the 32-bit launcher and tool under WOW64, the 64-bit tool installs

def wow64_package(make_package, launchers, wine, drv, tool64=True):
    pkg = package(make_package, launchers, wine, "x86", drv=drv)
    if tool64:
        (pkg.dir / "amd64").mkdir()
        shutil.copy2(launchers["tool-x64"], pkg.dir / "amd64" / "install.exe")
    return pkg


@needs_win32
def test_under_wow64_the_64_bit_tool_installs_the_amd64_driver(make_package, launchers,
                                                                machine, tmp_path):
    env = machine("x64")
    pkg = wow64_package(make_package, launchers, env, payload(tmp_path, "x64"))
    # Both tools are install.exe: the launcher must outlive the one it waits
    # for, which stands until the 64-bit one has ended.
    r = pkg.run(version="winxp64", pci=[OTHER, DEVICE], box_programs=("install.exe",),
                processes=("install.exe",))
    assert (r.exit_code, r.boxes) == (0, []), r.describe()
    device = env.reg_values(DEVICE.key)
    assert device["Service"] == "stordrv", device
    assert device["Driver"].upper().startswith(SCSI_ADAPTER_CLASS + "\\"), device
    copied = env.prefix / "drive_c" / "windows" / "system32" / "drivers" / "stordrv.sys"
    assert copied.read_bytes() == (EXAMPLE / "drv" / DRIVER["x64"]).read_bytes()
    tool_seen = r.last_seen["install.exe"]
    assert tool_seen is not None and tool_seen <= r.ended_at + 1.0, r.describe()


@needs_win32
@pytest.mark.parametrize("case", ["no-64-bit-tool", "no-amd64-driver"])
def test_under_wow64_the_32_bit_tool_names_what_is_missing_and_ends_with_its_status(
        make_package, launchers, machine, tmp_path, case):
    env = machine("x64")
    drv = payload(tmp_path, "x64")
    if case == "no-amd64-driver":
        (drv / DRIVER["x64"]).unlink()
    pkg = wow64_package(make_package, launchers, env, drv=drv, tool64=case != "no-64-bit-tool")
    env.set_pci_devices([DEVICE])
    # Started as the launcher starts it: the 64-bit tool's status comes back
    # through the 32-bit one.
    r = env.run(pkg.dir / "install.exe",
                [pkg.win_dir + "drv\\stordrv.inf", "PCI\\" + DEVICE.name],
                box_programs=("install.exe",))
    [box] = r.boxes
    assert box.caption == CAPTION, r.describe()
    if case == "no-64-bit-tool":
        assert (r.exit_code, box.text) == (5, MISSING_TOOL), r.describe()
    else:
        assert r.exit_code == 3, r.describe()
        assert pkg.win_dir + "drv\\amd64\\stordrv.sys is missing." in box.text, box.text
    assert_nothing_installed(env)


CASES = REPO / "tests" / "payload-cases"


def corpus_case(tmp_path, name, arch):
    """A case of the payload corpus (tests/payload-cases/) as a package's drv
    folder; for the 64-bit prefix its models serve x64 too, from the same
    plain source lines, which are the ones Wine's file queue reads."""
    drv = tmp_path / "drv"
    shutil.copytree(CASES / name / "drv", drv)
    if arch == "x64":
        inf = (drv / "stordrv.inf").read_bytes()
        assert inf.count(b"%Maker%=Models\r\n") == 1
        inf = inf.replace(b"%Maker%=Models\r\n", b"%Maker%=Models,NTamd64\r\n").replace(
            b"[Models]\r\n",
            b"[Models.NTamd64]\r\n%Dev1%=StorDrv_Inst,PCI\\VEN_8086&DEV_2922\r\n[Models]\r\n")
        (drv / "stordrv.inf").write_bytes(inf)
    return drv


def windows_says(name):
    """What the case's windows.txt says Windows does not find."""
    lines = (CASES / name / "windows.txt").read_text().splitlines()
    return [l for l in lines if l and not l.startswith("#") and not l.startswith("systems ")]


@pytest.mark.parametrize("case", ["coinstaller-missing", "not-listed", "disk-id-hex"])
@pytest.mark.parametrize("arch", ARCHS)
def test_corpus_cases_through_the_real_tool(make_package, launchers, machine, arch, case,
                                            tmp_path):
    env = machine(arch)
    pkg = package(make_package, launchers, env, arch, drv=corpus_case(tmp_path, case, arch))
    r = pkg.run(version="winxp", pci=[DEVICE], box_programs=("install.exe",))
    said = windows_says(case)
    if not said:
        assert (r.exit_code, r.boxes) == (0, []), r.describe()
        assert env.reg_values(DEVICE.key)["Service"] == "stordrv"
        return
    [box] = r.boxes
    assert box.text.startswith("The driver package is incomplete, so nothing was installed")
    for line in said:
        kind, what = line.split(" ", 1)
        expected = {"missing": pkg.win_dir + what + " is missing.",
                    "unlisted": what + " is copied but not listed in [SourceDisksFiles]."}[kind]
        assert expected in box.text, box.text
    assert_nothing_installed(env)
