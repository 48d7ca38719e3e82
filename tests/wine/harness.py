"""Running Windows programs under Wine for the package's end-to-end tests.

Run the tests with Debian's interpreter (the ``python3`` on PATH lacks
Debian's modules)::

    /usr/bin/python3 -m pytest tests/wine

Nothing else is needed on a machine set up by ``scripts/setup-env.sh``: the
fixtures start their own Xvfb, build the helper programs of ``tests/tools``
with MinGW, and create one Wine prefix per test run (about 30 s).

Fixtures (conftest.py)
----------------------
``wine``          session-wide :class:`WineEnv` on a fresh prefix.
``tools``         session-wide :class:`Tools`: ``tools.exe("fakeinstall", "x64")``
                  gives the path of a built helper; arch is "x64" or "x86".
``wine32``        session-wide :class:`WineEnv` on a 32-bit prefix
                  (WINEARCH=win32: Windows as 2000 and XP are, no WOW64),
                  made when first asked for (about 15 s); skips where
                  32-bit programs cannot run.
``make_package``  factory for :class:`Package` in the test's tmp_path:
                  ``make_package(launcher_exe, env=None,
                  exe_name="launcher.exe", key_ini=None, blanks=False,
                  install="x64", inf=True, install_seconds=2)``: env the
                  WineEnv (default ``wine``), key_ini bytes or None for
                  none, blanks puts a blank in the directory name, install
                  the architecture of fakeinstall copied in as install.exe
                  (None: none) or the path of a program to copy in as
                  install.exe (the real tool), inf whether
                  drv\\stordrv.inf exists (a stub) or a directory whose
                  files make drv\\ (the example's payload),
                  install_seconds how long fakeinstall's window lives.
``need_win32``    skips the test, with the reason, when 32-bit Windows
                  programs cannot run here; ``needs_win32`` below is the
                  same as a mark.  A 32-bit run without it is skipped the
                  same way from inside ``run``.
``launcher64`` / ``launcher32``
                  dist/x64/launcher.exe and dist/launcher.exe; the test is
                  skipped when the file has not been built.
``launchers``     both builds by key: "x64", "x86", and the installer
                  tool's, "tool-x64", "tool-x86".

WineEnv
-------
``run(exe, args=(), *, env=None, cwd=None, timeout=None, dismiss=True,
install_log=None, box_programs=(), box_delay=0, processes=()) -> RunResult``
starts one program with wine64
(/usr/lib/wine/wine64: Debian 12 puts none on PATH) or wine, as its PE
header requires, watches the X display for its windows, answers each of
its message boxes (the program's fixed-size windows) with Return, waits
for the program and then for the wineserver to finish, so that every
process it left behind has ended before the next test.  ``timeout``
defaults to 120 s for 64-bit and 300 s for 32-bit programs, which run
under emulation (a 64-bit one starts in about a second, a 32-bit one in
about three).  A message box's caption comes from the X window name, its
text from Wine's msgbox trace channel.  ``env`` adds to (and may
override) the environment of the Wine process.  ``prints=True`` says the
program always prints before it ends with status 0 or 1: a run that ends so
with no output is Wine's (a client loses its server) and is repeated once,
with a warning.

``set_version(exe_name, version)``: what GetVersionEx reports to programs
called exe_name ("win2k", "winxp", "winxp64", "vista", "win7", "win98",
"winme", "win95", "nt40", ...); None removes the setting.

``set_pci_devices(names)``: replaces the subkeys of
HKLM\\SYSTEM\\CurrentControlSet\\Enum\\PCI by exactly ``names``; a
:class:`Device` among them also gets its device instance (HardwareID,
CompatibleIDs as Windows derives them, ClassGUID, which Wine's driver
install needs).  Wine adds
its display adapter ``VEN_0000&DEV_0000&SUBSYS_00000000&REV_00``
(WINE_DISPLAY_DEVICE) back whenever its desktop process starts, which
happens with almost any Wine process, so expect it to be there; and it
enumerates subkeys sorted case-insensitively, whatever order they were
created in.
``pci_devices()`` lists the current subkeys in enumeration order.

A DLL planted beside a program (tools.dll("comctl32")) is only loaded
where Windows would load it when the run gets
``env={"WINEDLLOVERRIDES": DLL_OVERRIDES + ";comctl32=n,b"}``: by default
Wine prefers its builtin comctl32.

``reg_import(text)`` imports registry-file text (keys in any script; a regedit that
fails with no output is Wine's and is run once more, with a warning); ``reg(*args)`` runs Wine's
reg.exe and returns (status, output); ``reg_values(key)`` gives a key's
values as reg query prints them, None when the key is missing.  ``windows_path(path)`` maps a Linux
path to the Z: drive.

RunResult
---------
``exit_code`` (None when timed out), ``timed_out``, ``wall_time`` (s),
``started_at``/``ended_at`` (Unix seconds, same clock as fakeinstall's
``unix_ms``), ``boxes`` (list of :class:`Box`: caption, text, window),
``windows`` (every top-level window that became visible, any process),
``stdout``/``stderr`` (Wine's output, kept in ``logdir``), and
``installs`` when an install log was given: one dict per start of
fakeinstall, fields as written by tests/tools/fakeinstall.c plus
``end_unix_ms`` (None if it never ended); ``last_seen``: per exe name of
``processes``, the last Unix time a process of it was seen, or None.

Package
-------
A throw-away package directory: ``dir`` (Linux path), ``win_dir`` (its
Windows path with the trailing backslash, as the launcher computes it),
``exe`` and ``exe_name``, ``install_log``, ``env`` (FAKEINSTALL_LOG and
FAKEINSTALL_SECONDS).  ``pkg.run(args=(), version=None, pci=None, **kw)``
applies the version for its exe name and the PCI subkeys in one registry
import, then runs the package's exe from the directory above the package
(so reliance on the current directory shows) and returns the RunResult
with ``installs`` filled in.  ``key_ini(*ids)`` builds key.ini bytes.

Environment knobs
-----------------
WINE_TEST_DIR           work directory (default build/wine in the repo)
WINE_TEST_RUN_ID        reuse the prefix made earlier with the same id, so
                        several pytest runs of one CI job share a prefix
WINE_TEST_REUSE_PREFIX  1: reuse any complete prefix (for local iteration)
WINE_TEST_DEBUG         WINEDEBUG for the programs (default -all)
WINE_TEST_LAUNCHER64, WINE_TEST_LAUNCHER32, WINE_TEST_INSTALL64,
WINE_TEST_INSTALL32     other launcher or tool builds to test instead of dist/
"""

from __future__ import annotations

import dataclasses
import json
import os
import re
import shutil
import struct
import subprocess
import tempfile
import time
import uuid
import warnings
from itertools import zip_longest
from pathlib import Path

import pytest

# The X server, the window watcher and the box texts live in xdisplay; these
# are their names here, as the docstring above gives them.
from xdisplay import (Box, HarnessError, Window, Xvfb, _WindowWatcher,  # noqa: F401
                      box_texts, running_programs)
# Where the tests' files lie, the helper programs and the throw-away packages
# live in packages.
from packages import REPO, WORK, Package, Tools, make_package  # noqa: F401

# Mark for tests that run 32-bit programs: skipped, with the reason, where
# the emulation they need is missing.
needs_win32 = pytest.mark.usefixtures("need_win32")


WINE64 = shutil.which("wine64") or "/usr/lib/wine/wine64"
WINE32 = "/usr/lib/wine/wine"
WINESERVER = shutil.which("wineserver") or "/usr/lib/wine/wineserver"

PCI_KEY = r"HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Enum\PCI"
APPDEFAULTS_KEY = r"HKEY_CURRENT_USER\Software\Wine\AppDefaults"
WINE_DISPLAY_DEVICE = "VEN_0000&DEV_0000&SUBSYS_00000000&REV_00"

# No Mono or Gecko install prompts.  Wine takes its own comctl32 even when a
# copy lies beside the exe; add ";comctl32=n,b" to get Windows' search order.
DLL_OVERRIDES = "mscoree,mshtml="

TIMEOUT_64 = 120.0
TIMEOUT_32 = 300.0

SW_HIDE = 0
STARTF_USESHOWWINDOW = 0x1




def pe_machine(path) -> str:
    """"x86" or "x64", read from the PE header."""
    with open(path, "rb") as f:
        head = f.read(4096)
    if head[:2] != b"MZ":
        raise HarnessError(f"{path}: not a PE file")
    (offset,) = struct.unpack_from("<I", head, 0x3C)
    if head[offset:offset + 4] != b"PE\0\0":
        raise HarnessError(f"{path}: no PE signature")
    (machine,) = struct.unpack_from("<H", head, offset + 4)
    return {0x14C: "x86", 0x8664: "x64"}.get(machine) or hex(machine)


# The class of the example package's storage controllers.
SCSI_ADAPTER_CLASS = "{4D36E97B-E325-11CE-BFC1-08002BE10318}"


@dataclasses.dataclass
class Device:
    """A PCI subkey with a device instance below it, as Windows keeps it:
    hardware IDs from the most specific on, the compatible IDs Windows
    derives from the name and the class code, and the setup class, which
    Wine's driver install needs on the instance."""
    name: str  # VEN_vvvv&DEV_dddd&SUBSYS_ssssssss&REV_rr
    instance: str = "3&13c0b0c5&0&F8"
    class_code: str = "010601"
    class_guid: str | None = SCSI_ADAPTER_CLASS

    @property
    def key(self) -> str:
        return f"{PCI_KEY}\\{self.name}\\{self.instance}"

    def ids(self) -> tuple[list[str], list[str]]:
        ven, dev, subsys, rev = self.name.split("&")
        cc, base = self.class_code, self.class_code[:4]
        vd = f"PCI\\{ven}&{dev}"
        hardware = [f"PCI\\{self.name}", f"{vd}&{subsys}", f"{vd}&CC_{cc}", f"{vd}&CC_{base}"]
        compatible = [f"{vd}&{rev}", vd, f"PCI\\{ven}&CC_{cc}", f"PCI\\{ven}&CC_{base}",
                      f"PCI\\{ven}", f"PCI\\CC_{cc}", f"PCI\\CC_{base}"]
        return hardware, compatible

    def reg(self) -> str:
        def multi(items):
            data = ("\0".join(items) + "\0\0").encode("utf-16-le")
            return "hex(7):" + ",".join(f"{b:02x}" for b in data)
        hardware, compatible = self.ids()
        text = (f"[{PCI_KEY}\\{self.name}]\n\n[{self.key}]\n"
                f'"HardwareID"={multi(hardware)}\n"CompatibleIDs"={multi(compatible)}\n')
        if self.class_guid:
            text += f'"ClassGUID"="{self.class_guid}"\n'
        return text + "\n"


def key_ini(*ids: str) -> bytes:
    """key.ini bytes: one idN=... line per id, CR LF line ends."""
    return b"".join(f"id{n}={i}\r\n".encode("ascii") for n, i in enumerate(ids, 1))


# ------------------------------------------------------------------ results

@dataclasses.dataclass
class RunResult:
    exe: Path
    args: list[str]
    exit_code: int | None
    timed_out: bool
    wall_time: float
    started_at: float
    ended_at: float
    boxes: list[Box]
    windows: list[Window]
    logdir: Path
    installs: list[dict] | None = None
    # Per exe name asked for: the last time (Unix seconds) a process of it
    # was seen running, None if never.
    last_seen: dict[str, float | None] = dataclasses.field(default_factory=dict)

    @property
    def stdout(self) -> str:
        return (self.logdir / "stdout.txt").read_text("utf-8", "replace")

    @property
    def stderr(self) -> str:
        return (self.logdir / "stderr.txt").read_text("utf-8", "replace")

    def describe(self) -> str:
        """One line for assertion messages."""
        return (f"{self.exe.name} {self.args} -> exit {self.exit_code}"
                f"{' (timed out)' if self.timed_out else ''} in {self.wall_time:.1f}s, "
                f"boxes {[(b.caption, b.text) for b in self.boxes]}, logs {self.logdir}")


def read_install_log(path: Path) -> list[dict]:
    """Start records of fakeinstall, each with the end time of its process."""
    if not path.exists():
        return []
    records = [json.loads(line) for line in
               path.read_text("utf-8").splitlines() if line.strip()]
    ends = {r["pid"]: r["unix_ms"] for r in records if r["event"] == "end"}
    starts = [r for r in records if r["event"] == "start"]
    for r in starts:
        r["end_unix_ms"] = ends.get(r["pid"])
    return starts


# -------------------------------------------------------------- emulation

_win32_state: tuple[bool, str] | None = None


def win32_support() -> tuple[bool, str]:
    """(usable, reason): can 32-bit Windows programs run here?"""
    global _win32_state
    if _win32_state is None:
        _win32_state = _probe_win32()
    return _win32_state


def _probe_win32() -> tuple[bool, str]:
    if not os.access(WINE32, os.X_OK):
        # scripts/setup-env.sh leaves apt's reason when it could not install it.
        why = REPO / "build" / "wine32-missing.txt"
        return False, "32-bit runs skipped: " + (
            why.read_text().strip() if why.exists() else
            f"{WINE32} missing (package wine32:i386)")
    r = subprocess.run(["bash", str(REPO / "scripts" / "setup-emulation.sh")],
                       stdin=subprocess.DEVNULL, capture_output=True, text=True)
    if r.returncode != 0:
        reason = r.stderr.strip().removeprefix("reason: ") or "setup-emulation.sh failed"
        return False, "32-bit runs skipped: " + reason
    return True, ""


# -------------------------------------------------------------------- Wine

class WineEnv:
    def __init__(self, prefix: Path, display: str, arch: str = "win64"):
        self.prefix = Path(prefix)
        self.display = display
        # "win64": 64-bit Windows, 32-bit programs under WOW64; "win32":
        # 32-bit Windows, as 2000 and XP are.
        self.arch = arch
        self._runs = 0

    @property
    def loader(self) -> str:
        """The loader of Wine's own tools (reg, regedit, wineboot)."""
        return WINE32 if self.arch == "win32" else WINE64

    # The environment every Wine process gets.  QEMU_RESERVED_VA sizes the
    # address space qemu-i386 gives a 32-bit guest.  Wine's 32-bit loader
    # needs its shared user data page at 0x7ffe0000 and some memory above
    # 2 GiB, which qemu's default placement does not give, and it then
    # tries to reserve everything above 2 GiB in 64 KiB steps that all fail
    # under qemu: with a full 4 GiB space a process needs a minute to start,
    # with 16 MiB above 2 GiB about three seconds.
    def base_env(self, debug: str | None = None) -> dict:
        env = {k: v for k, v in os.environ.items()
               if not k.startswith(("WINE", "FAKEINSTALL_", "PLANT_"))}
        env.update(
            WINEPREFIX=str(self.prefix),
            DISPLAY=self.display,
            WINEDLLOVERRIDES=DLL_OVERRIDES,
            WINEDEBUG=debug or os.environ.get("WINE_TEST_DEBUG", "-all"),
            QEMU_RESERVED_VA="0x81000000",
            # Wine derives the Windows code pages from the locale; pinning
            # it keeps command lines and message texts the same everywhere.
            LANG="C.UTF-8",
            LC_ALL="C.UTF-8",
        )
        if self.arch == "win32":
            env["WINEARCH"] = "win32"
        return env

    # ----------------------------------------------------------- prefix

    @classmethod
    def open(cls, prefix: Path, display: str, run_id: str, win32: bool,
             arch: str = "win64") -> "WineEnv":
        """The prefix for this run: reused when its marker allows, else new.
        win32 says whether 32-bit programs must run in it; arch is the
        prefix's own kind."""
        env = cls(prefix, display, arch)
        marker = prefix / ".harness.json"
        try:
            info = json.loads(marker.read_text())
        except (OSError, ValueError):
            info = None
        reuse = bool(info) and info.get("win32", False) >= win32 and info.get(
            "arch", "win64") == arch and (
            info.get("run_id") == run_id
            or os.environ.get("WINE_TEST_REUSE_PREFIX") == "1")
        if not reuse:
            env.create(run_id, win32)
        return env

    def create(self, run_id: str, win32: bool):
        self.kill()
        shutil.rmtree(self.prefix, ignore_errors=True)
        self.prefix.parent.mkdir(parents=True, exist_ok=True)
        log = self.prefix.parent / "wineboot.log"
        started = time.time()
        with open(log, "wb") as out:
            r = subprocess.run([self.loader, "wineboot", "-i"], env=self.base_env(),
                               stdin=subprocess.DEVNULL, stdout=out, stderr=out,
                               timeout=900)
        if r.returncode != 0:
            raise HarnessError(f"wineboot -i failed ({r.returncode}), see {log}")
        self.wait_idle(timeout=300)
        (self.prefix / ".harness.json").write_text(json.dumps({
            "run_id": run_id, "win32": win32, "arch": self.arch,
            "seconds": round(time.time() - started, 1)}))

    def wait_idle(self, timeout: float = 120.0) -> bool:
        """Waits for the wineserver, hence every Wine process, to end."""
        try:
            subprocess.run([WINESERVER, "-w"], env=self.base_env(),
                           stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, timeout=timeout)
            return True
        except subprocess.TimeoutExpired:
            self.kill()
            return False

    def kill(self):
        if self.prefix.exists():
            subprocess.run([WINESERVER, "-k"], env=self.base_env(),
                           stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, timeout=60)

    # ------------------------------------------------------------ paths

    @staticmethod
    def windows_path(path) -> str:
        return "Z:" + str(Path(path).resolve()).replace("/", "\\")

    # --------------------------------------------------------- registry

    def _tool(self, args, timeout=120.0) -> tuple[int, str]:
        # Output goes to a file: services started by this process inherit
        # its stdout, and a pipe would stay open as long as they live.
        with tempfile.TemporaryFile() as out:
            r = subprocess.run([self.loader, *args], env=self.base_env(),
                               stdin=subprocess.DEVNULL, stdout=out,
                               stderr=subprocess.STDOUT, timeout=timeout)
            out.seek(0)
            return r.returncode, out.read().decode("utf-8", "replace")

    def reg(self, *args) -> tuple[int, str]:
        return self._tool(["reg", *args])

    def reg_import(self, text: str):
        with tempfile.NamedTemporaryFile("wb", suffix=".reg", dir=WORK,
                                         delete=False) as f:
            # The Unicode form, so that key names (exe names) may hold any
            # character.
            body = ("Windows Registry Editor Version 5.00\n\n" + text).replace("\r\n", "\n")
            f.write(b"\xff\xfe" + body.replace("\n", "\r\n").encode("utf-16-le"))
        try:
            status, out = self._tool(["regedit", "/S", self.windows_path(f.name)])
            if status != 0 and not out.strip():
                # A failure with not a word is Wine's (a client that lost its
                # server on a loaded machine), not the file's: the import
                # changes nothing twice, so it is asked once more.
                warnings.warn("regedit ended with status %d and no output; run again" % status)
                status, out = self._tool(["regedit", "/S", self.windows_path(f.name)])
            if status != 0:
                raise HarnessError(f"regedit failed ({status}): {out}")
        finally:
            os.unlink(f.name)

    @staticmethod
    def version_reg(exe_name: str, version: str | None) -> str:
        key = f"{APPDEFAULTS_KEY}\\{exe_name}"
        if version is None:
            return f'[{key}]\n"Version"=-\n\n'
        return f'[{key}]\n"Version"="{version}"\n\n'

    @staticmethod
    def pci_reg(names) -> str:
        """Registry text for exactly these PCI subkeys; a Device also gets
        its device instance below it."""
        text = f"[-{PCI_KEY}]\n\n[{PCI_KEY}]\n\n"
        for n in names:
            text += n.reg() if isinstance(n, Device) else f"[{PCI_KEY}\\{n}]\n\n"
        return text

    def reg_values(self, key: str) -> dict[str, str] | None:
        """The values of a registry key as reg query prints them (multi-
        strings joined by \\0), or None when the key does not exist."""
        status, out = self.reg("query", key)
        if status != 0:
            return None
        values = {}
        for line in out.splitlines():
            m = re.match(r"^\s{4}(.+?)\s{4}(REG_\w+)\s{4}(.*)$", line)
            if m:
                values[m.group(1)] = m.group(3)
        return values

    def set_version(self, exe_name: str, version: str | None):
        self.reg_import(self.version_reg(exe_name, version))

    def set_pci_devices(self, names):
        self.reg_import(self.pci_reg(names))

    def pci_devices(self) -> list[str]:
        status, out = self.reg("query", PCI_KEY)
        if status != 0:
            raise HarnessError(f"reg query failed: {out}")
        head = PCI_KEY.lower() + "\\"
        return [line.strip()[len(head):] for line in out.splitlines()
                if line.strip().lower().startswith(head)]

    # -------------------------------------------------------------- run

    def run(self, exe, args=(), *, env: dict | None = None, cwd=None,
            timeout: float | None = None, dismiss: bool = True,
            install_log: Path | None = None, prints: bool = False,
            box_programs=(), box_delay: float = 0.0, processes=()) -> RunResult:
        watch = dict(box_programs=box_programs, box_delay=box_delay, processes=processes)
        result = self._run_once(exe, args, env, cwd, timeout, dismiss, install_log, watch)
        # A Wine client that loses its server ends at once, silently and with
        # status 0; one that Wine cannot start ends with 1 and only Wine's own
        # line on stderr.  A program that always prints before it ends with
        # those statuses cannot have done either itself, so one such run is
        # taken as Wine's and repeated; a fault of the program's own shows
        # twice.
        if prints and result.exit_code in (0, 1) and not result.stdout:
            warnings.warn(f"{result.describe()}: no output, run once more; "
                          f"stderr: {result.stderr[-2000:]!r}")
            result = self._run_once(exe, args, env, cwd, timeout, dismiss, install_log, watch)
        return result

    def _run_once(self, exe, args, env, cwd, timeout, dismiss, install_log,
                  watch) -> RunResult:
        exe = Path(exe)
        arch = pe_machine(exe)
        if arch == "x64" and self.arch == "win32":
            raise HarnessError(f"{exe}: a 64-bit program in a 32-bit prefix")
        if arch == "x86":
            ok, reason = win32_support()
            if not ok:
                pytest.skip(reason)
            loader, limit = WINE32, TIMEOUT_32
        else:
            loader, limit = WINE64, TIMEOUT_64
        timeout = timeout or limit

        self._runs += 1
        logdir = WORK / "runs" / f"{self._runs:03d}-{exe.name}"
        shutil.rmtree(logdir, ignore_errors=True)
        logdir.mkdir(parents=True)
        debug = os.environ.get("WINE_TEST_DEBUG", "-all") + ",+msgbox"
        full_env = {**self.base_env(debug), **(env or {})}

        watcher = _WindowWatcher(self.display, exe.name, dismiss, **watch)
        watcher.start()
        timed_out = False
        with open(logdir / "stdout.txt", "wb") as out, \
                open(logdir / "stderr.txt", "wb") as err:
            started = time.time()
            t0 = time.monotonic()
            proc = subprocess.Popen([loader, str(exe), *args], env=full_env,
                                    cwd=cwd or exe.parent,
                                    stdin=subprocess.DEVNULL, stdout=out, stderr=err)
            try:
                code = proc.wait(timeout)
            except subprocess.TimeoutExpired:
                timed_out, code = True, None
                proc.kill()
                self.kill()
                proc.wait(30)
            wall = time.monotonic() - t0
            ended = time.time()
        # Strays (an installer the program did not wait for) end here, so
        # their log is complete and they cannot disturb the next test. The
        # watcher goes on meanwhile: it answers their boxes and sees how long
        # they live.
        self.wait_idle(timeout=limit)
        watcher.stop()

        texts = box_texts((logdir / "stderr.txt").read_text("utf-8", "replace"))
        boxes_seen = [w for w in watcher.windows.values() if watcher.is_box(w)]
        boxes = [Box(w.name if w else None, t, w.id if w else None)
                 for w, t in zip_longest(boxes_seen, texts)]
        result = RunResult(exe, list(args), code, timed_out, wall, started, ended,
                           boxes, list(watcher.windows.values()), logdir,
                           last_seen=dict(watcher.last_seen))
        if install_log is not None:
            result.installs = read_install_log(Path(install_log))
        return result


# ---------------------------------------------------------------- run ids

def new_run_id() -> str:
    return os.environ.get("WINE_TEST_RUN_ID") or uuid.uuid4().hex
