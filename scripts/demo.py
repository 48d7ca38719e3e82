#!/usr/bin/python3
"""Runs the launcher under Wine on a simulated Windows XP against the example
package (examples/package) with a stand-in installer tool, and prints what a
user would have seen: message boxes, the installer's command line, the wait
and the exit status."""

import shutil
import sys
from pathlib import Path

REPO = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(REPO / "tests" / "wine"))
import harness  # noqa: E402

EXAMPLE = REPO / "examples" / "package"
# A machine with a graphics card ahead of the supported disk controller.
PCI = ["VEN_10DE&DEV_0A64&SUBSYS_00000000&REV_B1",
       "VEN_8086&DEV_2922&SUBSYS_B0051458&REV_02"]


def choose_build():
    ok, reason = harness.win32_support()
    if ok:
        return REPO / "dist" / "launcher.exe", "x86"
    print(f"== {reason}")
    print("== running the 64-bit build dist/x64/launcher.exe in its place")
    return REPO / "dist" / "x64" / "launcher.exe", "x64"


def main():
    launcher, arch = choose_build()
    display = harness.Xvfb()
    try:
        print("== preparing a Wine prefix (a few minutes the first time)", flush=True)
        wine = harness.WineEnv.open(harness.WORK / "prefix", display.display,
                                    harness.new_run_id(), arch == "x86")
        print("== building the stand-in installer tool", flush=True)
        tools = harness.Tools()
        base = harness.WORK / "demo"
        shutil.rmtree(base, ignore_errors=True)
        pkg = harness.make_package(wine, tools, base, launcher,
                                   key_ini=(EXAMPLE / "key.ini").read_bytes(),
                                   install=arch, install_seconds=5)
        shutil.copy2(EXAMPLE / "drv" / "stordrv.inf", pkg.dir / "drv" / "stordrv.inf")
        print(f"== package: {pkg.dir}  (Windows: {pkg.win_dir})")
        print(f"== key.ini: {(EXAMPLE / 'key.ini').read_bytes()!r}")
        print(f"== PCI devices: {', '.join(PCI)}")
        print(f"== running {launcher.relative_to(REPO)} on Windows XP", flush=True)
        r = pkg.run(version="winxp", pci=PCI)
        wine.kill()
    finally:
        display.close()

    for box in r.boxes:
        print(f"message box: caption {box.caption!r}, text {box.text!r}")
    for start in r.installs:
        print(f"installer started: {start['cmdline']}")
        print(f"  shown with {start['show_window']} (0 = hidden)")
        if start.get("end_unix_ms"):
            ran = (start["end_unix_ms"] - start["unix_ms"]) / 1000
            waited = r.ended_at - start["unix_ms"] / 1000
            print(f"  its window stood {ran:.1f} s; the launcher ended {waited:.1f} s after its start")
    if not r.boxes and not r.installs:
        print("nothing happened: no box, no installer")
    print(f"launcher exit status: {r.exit_code}  ({r.wall_time:.1f} s)")
    return 0 if r.exit_code == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
