"""Where the Windows-side tests' files lie, the helper programs of
tests/tools and the throw-away packages.  Part of tests/wine/harness.py,
whose docstring is the API; harness re-exports these names."""

from __future__ import annotations

import os
import shutil
import subprocess
from pathlib import Path
from typing import TYPE_CHECKING

from xdisplay import HarnessError

if TYPE_CHECKING:
    from harness import RunResult, WineEnv

REPO = Path(__file__).resolve().parents[2]
WORK = Path(os.environ.get("WINE_TEST_DIR", REPO / "build" / "wine"))


class Tools:
    """The helper programs of tests/tools, built for both architectures
    from the same CMakeLists.txt the product build includes."""

    SOURCE = REPO / "tests" / "tools"
    COMPILERS = {"x64": "x86_64-w64-mingw32-gcc", "x86": "i686-w64-mingw32-gcc"}

    def __init__(self, root: Path = WORK / "tools"):
        self.root = root
        self._built: set[str] = set()

    def build(self, arch: str) -> Path:
        out = self.root / arch
        if arch in self._built:
            return out
        compiler = shutil.which(self.COMPILERS[arch])
        if not compiler:
            raise HarnessError(f"{self.COMPILERS[arch]} not installed")
        configure = ["cmake", "-S", str(self.SOURCE), "-B", str(out),
                     "-DCMAKE_SYSTEM_NAME=Windows", f"-DCMAKE_C_COMPILER={compiler}",
                     "-DCMAKE_BUILD_TYPE=Release"]
        if shutil.which("ninja"):
            configure += ["-G", "Ninja"]
        if not (out / "CMakeCache.txt").exists():
            self._check(configure)
        self._check(["cmake", "--build", str(out)])
        self._built.add(arch)
        return out

    @staticmethod
    def _check(cmd):
        r = subprocess.run(cmd, stdin=subprocess.DEVNULL, capture_output=True, text=True)
        if r.returncode != 0:
            raise HarnessError(f"{' '.join(cmd)} failed:\n{r.stdout}\n{r.stderr}")

    def exe(self, name: str, arch: str = "x64") -> Path:
        path = self.build(arch) / f"{name}.exe"
        if not path.exists():
            raise HarnessError(f"{path} was not built")
        return path

    def dll(self, name: str, arch: str = "x64") -> Path:
        return self.build(arch) / f"{name}.dll"


# ---------------------------------------------------------------- package

class Package:
    def __init__(self, wine: WineEnv, dir: Path, exe_name: str, install_log: Path,
                 install_seconds: float):
        self.wine = wine
        self.dir = dir
        self.exe_name = exe_name
        self.exe = dir / exe_name
        self.install_log = install_log
        self.win_dir = wine.windows_path(dir) + "\\"
        self.env = {"FAKEINSTALL_LOG": wine.windows_path(install_log),
                    "FAKEINSTALL_SECONDS": str(install_seconds)}

    def run(self, args=(), *, version: str | None = None, pci=None, **kw) -> RunResult:
        """Runs the package's exe; version and pci, when given, are set
        first in a single registry import."""
        text = ""
        if version is not None:
            text += self.wine.version_reg(self.exe_name, version)
        if pci is not None:
            text += self.wine.pci_reg(pci)
        if text:
            self.wine.reg_import(text)
        kw.setdefault("env", self.env)
        kw.setdefault("cwd", self.dir.parent)
        return self.wine.run(self.exe, args, install_log=self.install_log, **kw)


def make_package(wine: WineEnv, tools: Tools, base: Path, launcher, *,
                 exe_name: str = "launcher.exe", key_ini: bytes | None = None,
                 blanks: bool = False, install: str | Path | None = "x64",
                 inf: bool | Path = True, install_seconds: float = 2) -> Package:
    """A package directory under base.  install picks the architecture of
    fakeinstall copied in as install.exe (None: no install.exe), or is the
    path of a program to copy in as install.exe; a 64-bit one starts in a
    second and its bitness is invisible to its starter.  inf: whether
    drv\\stordrv.inf exists (a stub), or a directory whose files make drv\\."""
    pkg_dir = base / ("driver package" if blanks else "package")
    pkg_dir.mkdir(parents=True)
    shutil.copy2(launcher, pkg_dir / exe_name)
    if key_ini is not None:
        (pkg_dir / "key.ini").write_bytes(key_ini)
    if isinstance(install, Path):
        shutil.copy2(install, pkg_dir / "install.exe")
    elif install:
        shutil.copy2(tools.exe("fakeinstall", install), pkg_dir / "install.exe")
    if isinstance(inf, Path):
        shutil.copytree(inf, pkg_dir / "drv")
    elif inf:
        (pkg_dir / "drv").mkdir()
        (pkg_dir / "drv" / "stordrv.inf").write_bytes(
            b"[Version]\r\nSignature=\"$Windows NT$\"\r\n")
    return Package(wine, pkg_dir, exe_name, base / "install-log.jsonl", install_seconds)
