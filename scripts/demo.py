#!/usr/bin/python3
"""Runs the launcher under Wine on a simulated Windows XP against the example
package (examples/package) with the package's own installer tool, and
prints what a user would have seen (message boxes, the exit status) and
what changed on the machine: the device's driver and service, the service's
image path and the driver file."""

import shutil
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


def choose_build():
    ok, reason = harness.win32_support()
    if ok:
        return REPO / "dist", "x86"
    print(f"== {reason}")
    print("== running the 64-bit builds in dist/x64/ in their place")
    return REPO / "dist" / "x64", "x64"


def show_changes(wine):
    device = wine.reg_values(DEVICE.key) or {}
    service = wine.reg_values(SERVICE) or {}
    driver = wine.prefix / "drive_c" / "windows" / "system32" / "drivers" / "stordrv.sys"
    print(f"device {DEVICE.name}:")
    print(f"  Driver  = {device.get('Driver', '(none)')}")
    print(f"  Service = {device.get('Service', '(none)')}")
    print(f"service stordrv: ImagePath = {service.get('ImagePath', '(none)')}")
    print(f"driver file C:\\windows\\system32\\drivers\\stordrv.sys: "
          f"{f'{driver.stat().st_size} bytes' if driver.exists() else '(none)'}")


def main():
    dist, arch = choose_build()
    display = harness.Xvfb()
    try:
        # 32-bit programs run in a 32-bit prefix, Windows as XP is; in the
        # 64-bit one they would run under WOW64.
        print("== preparing a Wine prefix (a few minutes the first time)", flush=True)
        prefix, kind = ("prefix32", "win32") if arch == "x86" else ("prefix", "win64")
        wine = harness.WineEnv.open(harness.WORK / prefix, display.display,
                                    harness.new_run_id(), arch == "x86", arch=kind)
        base = harness.WORK / "demo"
        shutil.rmtree(base, ignore_errors=True)
        pkg = harness.make_package(wine, harness.Tools(), base, dist / "launcher.exe",
                                   key_ini=(EXAMPLE / "key.ini").read_bytes(),
                                   install=dist / "install.exe", inf=EXAMPLE / "drv")
        # A machine the example driver has never been installed on.
        wine.reg_import(f"[-{SERVICE}]\n\n" + wine.pci_reg(PCI))
        (wine.prefix / "drive_c" / "windows" / "system32" / "drivers" / "stordrv.sys").unlink(
            missing_ok=True)
        print(f"== package: {pkg.dir}  (Windows: {pkg.win_dir})")
        print(f"== key.ini: {(EXAMPLE / 'key.ini').read_bytes()!r}")
        print(f"== PCI devices: {', '.join(getattr(d, 'name', d) for d in PCI)}")
        print("== before:")
        show_changes(wine)
        print(f"== running {(dist / 'launcher.exe').relative_to(REPO)} on Windows XP", flush=True)
        r = pkg.run(version="winxp", box_programs=("install.exe",))
        for box in r.boxes:
            print(f"message box: caption {box.caption!r}, text {box.text!r}")
        if not r.boxes:
            print("no message box")
        print(f"launcher exit status: {r.exit_code}  ({r.wall_time:.1f} s)")
        print("== after:")
        show_changes(wine)
        wine.kill()
    finally:
        display.close()
    return 0 if r.exit_code == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
