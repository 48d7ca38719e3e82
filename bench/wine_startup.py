#!/usr/bin/python3
"""What a silent run of the launcher costs beyond starting a process: the
64-bit build on a reported Windows 7 (it classifies the system and ends)
against a do-nothing program built the same way, run alternately under Wine
in one prefix. Prints both medians and their ratio.

    /usr/bin/python3 bench/wine_startup.py [runs]
"""

import shutil
import statistics
import sys
import tempfile
from pathlib import Path

REPO = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(REPO / "tests" / "wine"))
import harness  # noqa: E402


def main(runs):
    display = harness.Xvfb()
    try:
        wine = harness.WineEnv.open(harness.WORK / "prefix", display.display,
                                    harness.new_run_id(), False)
        work = Path(tempfile.mkdtemp(prefix="startup-", dir=harness.WORK))
        launcher = work / "launcher.exe"
        noop = work / "noop.exe"
        shutil.copy2(REPO / "dist" / "x64" / "launcher.exe", launcher)
        shutil.copy2(harness.Tools().exe("noop", "x64"), noop)
        wine.set_version("launcher.exe", "win7")
        times = {"launcher": [], "noop": []}
        for _ in range(runs):
            for name, exe in (("launcher", launcher), ("noop", noop)):
                r = wine.run(exe)
                if r.exit_code != 0 or r.boxes:
                    raise SystemExit(f"unexpected run: {r.describe()}")
                times[name].append(r.wall_time)
        wine.kill()
        shutil.rmtree(work)
    finally:
        display.close()
    med = {k: statistics.median(v) for k, v in times.items()}
    for k, v in times.items():
        print(f"{k:9s} median {med[k] * 1000:7.1f} ms  runs {[round(t * 1000) for t in v]}")
    print(f"ratio launcher/noop: {med['launcher'] / med['noop']:.3f}")


if __name__ == "__main__":
    main(int(sys.argv[1]) if len(sys.argv) > 1 else 9)
