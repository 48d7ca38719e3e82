#!/usr/bin/python3
"""Runs the launcher under Wine against the example package
(examples/package) with the package's own installer tools, and prints what
a user would have seen (message boxes, the exit status) and what changed on
the machine: the device's driver and service, the service's image path and
the driver file.

Part 1 is Windows XP: the 32-bit launcher and tool in a 32-bit prefix.
Part 2 is Windows XP x64: the same package in a 64-bit prefix, where the
32-bit launcher and tool run under WOW64 and the package's 64-bit tool,
amd64\\install.exe, installs the 64-bit driver."""

import shutil
import struct
import sys
from pathlib import Path

REPO = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(REPO / "tests" / "wine"))
import harness  # noqa: E402

EXAMPLE = REPO / "examples" / "package"
# A machine with a graphics card ahead of the supported disk controller; the
# controller has its device instance, as Windows keeps it.
DEVICE = harness.Device("VEN_8086&DEV_2922&SUBSYS_B0051458&REV_02")
PCI = ["VEN_10DE&DEV_0A64&SUBSYS_00000000&REV_B1", DEVICE]
SERVICE = r"HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\stordrv"
DRIVER = Path("drive_c") / "windows" / "system32" / "drivers" / "stordrv.sys"


def driver_kind(path):
    """What the PE header says the driver file is built for."""
    head = path.read_bytes()[:4096]
    (offset,) = struct.unpack_from("<I", head, 0x3C)
    (machine,) = struct.unpack_from("<H", head, offset + 4)
    return {0x14C: "the 32-bit (x86) driver", 0x8664: "the 64-bit (x64) driver"}.get(
        machine, f"machine {machine:#x}")


def show_changes(wine):
    device = wine.reg_values(DEVICE.key) or {}
    service = wine.reg_values(SERVICE) or {}
    driver = wine.prefix / DRIVER
    print(f"device {DEVICE.name}:")
    print(f"  Driver  = {device.get('Driver', '(none)')}")
    print(f"  Service = {device.get('Service', '(none)')}")
    print(f"service stordrv: ImagePath = {service.get('ImagePath', '(none)')}")
    print("driver file C:\\windows\\system32\\drivers\\stordrv.sys: " +
          (f"{driver.stat().st_size} bytes, {driver_kind(driver)}" if driver.exists()
           else "(none)"))


def payload_for(wine, base):
    """The example's drv folder as this prefix's Wine installs it. Wine's file
    queue reads only the plain [SourceDisksNames] (Windows, and Wine's query
    functions, read [SourceDisksNames.amd64] first), so in a 64-bit prefix
    the plain disk line of this copy points to amd64 as that one does."""
    if wine.arch == "win32":
        return EXAMPLE / "drv"
    drv = base / "drv-for-wine64"
    shutil.rmtree(drv, ignore_errors=True)
    shutil.copytree(EXAMPLE / "drv", drv)
    inf = (drv / "stordrv.inf").read_bytes()
    plain = b"\n1=%Disk%,,,\r\n"
    assert inf.count(plain) == 1
    (drv / "stordrv.inf").write_bytes(inf.replace(plain, b"\n1=%Disk%,,,\\amd64\r\n"))
    print("== (this prefix's copy of the INF: the plain disk line points to amd64, "
          "as [SourceDisksNames.amd64] does; Wine's file queue reads only the plain one)")
    return drv


def run_part(title, wine, launcher, tool, tool64, version, base):
    """One machine: the package with both tools, the devices, the run."""
    print(f"== {title}")
    shutil.rmtree(base, ignore_errors=True)
    base.mkdir(parents=True)
    pkg = harness.make_package(wine, harness.Tools(), base, launcher,
                               key_ini=(EXAMPLE / "key.ini").read_bytes(),
                               install=tool, inf=payload_for(wine, base))
    (pkg.dir / "amd64").mkdir()
    shutil.copy2(tool64, pkg.dir / "amd64" / "install.exe")
    # A machine the example driver has never been installed on.
    wine.reg_import(f"[-{SERVICE}]\n\n" + wine.pci_reg(PCI))
    (wine.prefix / DRIVER).unlink(missing_ok=True)
    print(f"== package: {pkg.dir}  (Windows: {pkg.win_dir})")
    print(f"== key.ini: {(EXAMPLE / 'key.ini').read_bytes()!r}")
    print(f"== PCI devices: {', '.join(getattr(d, 'name', d) for d in PCI)}")
    print("== before:")
    show_changes(wine)
    print(f"== running {launcher.relative_to(REPO)} (install.exe: {tool.relative_to(REPO)}, "
          f"amd64\\install.exe: {tool64.relative_to(REPO)})", flush=True)
    r = pkg.run(version=version, box_programs=("install.exe",))
    for box in r.boxes:
        print(f"message box: caption {box.caption!r}, text {box.text!r}")
    if not r.boxes:
        print("no message box")
    print(f"launcher exit status: {r.exit_code}  ({r.wall_time:.1f} s)")
    print("== after:")
    show_changes(wine)
    wine.kill()
    return r.exit_code == 0


def main():
    dist, dist64 = REPO / "dist", REPO / "dist" / "x64"
    win32, reason = harness.win32_support()
    display = harness.Xvfb()
    ok = True
    try:
        print("== preparing the Wine prefixes (a few minutes the first time)", flush=True)
        if win32:
            # Windows as XP is: 32-bit, no WOW64.
            wine = harness.WineEnv.open(harness.WORK / "prefix32", display.display,
                                        harness.new_run_id(), True, arch="win32")
            ok = run_part("part 1, on Windows XP", wine, dist / "launcher.exe",
                          dist / "install.exe", dist64 / "install.exe", "winxp",
                          harness.WORK / "demo")
        else:
            print(f"== {reason}")
            print("== part 1 runs the 64-bit builds in dist/x64/ in a 64-bit prefix in their "
                  "place")
            wine = harness.WineEnv.open(harness.WORK / "prefix", display.display,
                                        harness.new_run_id(), False)
            ok = run_part("part 1, on Windows XP (64-bit builds)", wine,
                          dist64 / "launcher.exe", dist64 / "install.exe",
                          dist64 / "install.exe", "winxp", harness.WORK / "demo")
        print()
        if not win32:
            print("== part 2, on Windows XP x64: skipped, the 32-bit launcher and tool cannot "
                  f"run here under WOW64 ({reason.removeprefix('32-bit runs skipped: ')})")
        else:
            # 64-bit Windows: the 32-bit programs run under WOW64.
            wine = harness.WineEnv.open(harness.WORK / "prefix", display.display,
                                        harness.new_run_id(), True)
            ok = run_part("part 2, on Windows XP x64", wine, dist / "launcher.exe",
                          dist / "install.exe", dist64 / "install.exe", "winxp64",
                          harness.WORK / "demo-x64") and ok
    finally:
        display.close()
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
