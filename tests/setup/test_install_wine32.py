"""scripts/install-wine32.sh against a scripted apt: the machine states that
real mirrors produce, replayed without a network or root.

Run with Debian's interpreter: /usr/bin/python3 -m pytest tests/setup
"""

import json
import os
import subprocess
import sys
from pathlib import Path

import pytest

REPO = Path(__file__).resolve().parents[2]
SCRIPT = REPO / "scripts" / "install-wine32.sh"
SECURITY_I386 = ("http://deb.debian.org/debian-security/dists/bookworm-security/"
                 "main/binary-i386/Packages.xz")

# One program for apt-get, apt-cache and dpkg-query, answering from the
# scenario in $FAKE_APT and logging each call; dpkg itself stays real, for
# its version comparison.
FAKE = r'''
import json, os, sys
s = json.load(open(os.environ["FAKE_APT"]))
tool, args = os.path.basename(sys.argv[0]), sys.argv[1:]
with open(os.environ["FAKE_APT"] + ".calls", "a") as log:
    log.write(json.dumps([tool] + args) + "\n")
if tool == "dpkg-query":
    fmt = args[1].removeprefix("-f=") if args[1].startswith("-f=") else args[2]
    names = [a for a in args if not a.startswith("-") and a != fmt]
    for name, arch, multi, version in s["installed"]:
        if names and name not in names:
            continue
        print(fmt.replace("${Package}", name).replace("${Architecture}", arch)
              .replace("${Multi-Arch}", multi).replace("${db:Status-Status}", "installed")
              .replace("${Version}", version).replace("\\n", "\n"), end="")
elif tool == "apt-cache" and args[0] == "depends":
    print("wine32:i386")
    for name in s["needs"]:
        print(f"  Depends: {name}:i386\n{name}:i386")
elif tool == "apt-cache" and args[0] == "madison":
    for pkg in args[1:]:
        name, _, arch = pkg.partition(":")
        for version, suite, a in s["versions"].get(name, []):
            if a == (arch or "amd64"):
                print(f"{name:>12} | {version:>12} | http://deb.debian.org/debian {suite} {a} Packages")
elif tool == "apt-get":
    line = " ".join(args)
    for rule in s["apt-get"]:
        if all(w in line for w in rule["if"]) and not any(w in line for w in rule.get("unless", [])):
            print(rule.get("out", ""))
            sys.exit(rule.get("rc", 0))
    print("E: unexpected call " + line)
    sys.exit(100)
'''

GST = "libgstreamer-plugins-base1.0-0"
GST_NEW, GST_OLD = "1.22.0-3+deb12u7", "1.22.0-3+deb12u6"
DEPENDS_FAIL = {"if": ["install -y -q wine32:i386"], "unless": ["-t"], "rc": 100,
                "out": " libwine:i386 : Depends: libgstreamer-plugins-base1.0-0:i386 (>= 1.0.0)"
                       " but it is not going to be installed\n"
                       "E: Unable to correct problems, you have held broken packages."}
MACHINE = {
    # The amd64 library came from the security suite; its i386 twin is
    # listed only in the main suite, one version lower.  libssl3's i386
    # version lies above the installed one, which apt reaches by itself.
    "installed": [[GST, "amd64", "same", GST_NEW], ["libssl3", "amd64", "same", "3.0.19"],
                  ["gir1.2-gst", "amd64", "same", GST_NEW], ["bash", "amd64", "foreign", "5.2"]],
    "needs": [GST, "libssl3", "libc6"],
    "versions": {GST: [[GST_NEW, "bookworm-security/main", "amd64"],
                       [GST_OLD, "bookworm/main", "amd64"], [GST_OLD, "bookworm/main", "i386"]],
                 "libssl3": [["3.0.20", "bookworm/main", "amd64"], ["3.0.20", "bookworm/main", "i386"]],
                 "gir1.2-gst": [[GST_NEW, "bookworm-security/main", "amd64"],
                                [GST_OLD, "bookworm/main", "amd64"]]},
}
MOVED_GST = (f"== moved {GST} from {GST_NEW} to {GST_OLD} to match its i386 twin"
             " while the security suite's i386 index is unavailable")
PINS = f"{GST}={GST_OLD} {GST}:i386={GST_OLD}"

CASES = {
    "plain install works: nothing moves": dict(
        rules=[{"if": ["install -y -q wine32:i386"]}],
        moved=[], reason=None, calls_without=["-t bookworm"]),
    "blocked twin moves to the main suite's shared version": dict(
        rules=[DEPENDS_FAIL, {"if": ["-s -t bookworm --allow-downgrades wine32:i386 " + PINS]},
               {"if": ["install -y -q -t bookworm --allow-downgrades wine32:i386 " + PINS]}],
        moved=[MOVED_GST], reason=None, calls_without=["libssl3="]),
    "an exact-version dependent apt would remove moves with it": dict(
        rules=[DEPENDS_FAIL,
               {"if": ["-s", PINS + " gir1.2-gst=" + GST_OLD]},
               {"if": ["-s", PINS], "out": f"Remv gir1.2-gst [{GST_NEW}]"},
               {"if": ["install -y -q -t bookworm", "gir1.2-gst=" + GST_OLD]}],
        moved=[MOVED_GST, f"== moved gir1.2-gst from {GST_NEW} to {GST_OLD} to go with"
               " the packages it depends on at their exact version"],
        reason=None, calls_without=[]),
    # apt said nothing a grep for "Depends" finds: the setup must still say why.
    "no Depends line anywhere: the reason is apt's error": dict(
        rules=[{"if": ["-t"], "rc": 100, "out": "E: Package 'wine32:i386' has no installation candidate"},
               {"if": ["install"], "rc": 100,
                "out": "E: Unable to correct problems, you have held broken packages."}],
        moved=[],
        reason="wine32:i386 cannot be installed (apt: Unable to correct problems, you have held"
               " broken packages.; from the main suite: Package 'wine32:i386' has no installation"
               " candidate; indexes that failed to download: " + SECURITY_I386 + ")",
        calls_without=[]),
    "apt prints nothing at all": dict(
        rules=[{"if": ["install"], "rc": 100}], moved=[],
        reason="wine32:i386 cannot be installed (apt: no reason given; indexes that failed"
               " to download: " + SECURITY_I386 + ")",
        calls_without=[]),
}


@pytest.mark.parametrize("case", CASES, ids=list(CASES))
def test_install_wine32(case, tmp_path):
    c = CASES[case]
    bin_dir = tmp_path / "bin"
    bin_dir.mkdir()
    for tool in ("apt-get", "apt-cache", "dpkg-query"):
        (bin_dir / tool).write_text(f"#!{sys.executable}\n{FAKE}")
        (bin_dir / tool).chmod(0o755)
    scenario = tmp_path / "scenario.json"
    scenario.write_text(json.dumps({**MACHINE, "apt-get": c["rules"]}))
    os_release = tmp_path / "os-release"
    os_release.write_text("VERSION_CODENAME=bookworm\n")
    reason = tmp_path / "build" / "wine32-missing.txt"
    reason.parent.mkdir()
    reason.write_text("stale\n")
    env = {**os.environ, "PATH": f"{bin_dir}:{os.environ['PATH']}",
           "FAKE_APT": str(scenario), "OS_RELEASE": str(os_release)}

    run = subprocess.run(["bash", str(SCRIPT), str(reason), SECURITY_I386], env=env,
                         capture_output=True, text=True, timeout=60)

    assert run.returncode == 0, run.stdout + run.stderr
    assert [line for line in run.stdout.splitlines() if line.startswith("== moved")] == c["moved"]
    if c["reason"] is None:
        assert not reason.exists()
    else:
        assert reason.read_text().strip() == c["reason"]
        assert c["reason"] in run.stdout
    calls = (tmp_path / "scenario.json.calls").read_text()
    for word in c["calls_without"]:
        assert word not in calls
