"""The example package's drivers and catalog are what examples/make_payload.py
writes from the committed INF, and each driver is one its kernel would load.

    /usr/bin/python3 -m pytest -q tests/pe/test_example_payload.py
"""
import shutil
import subprocess
import sys
from pathlib import Path

import pefile
import pytest

ROOT = Path(__file__).resolve().parents[2]
DRV = ROOT / "examples" / "package" / "drv"
GENERATOR = ROOT / "examples" / "make_payload.py"


def test_committed_payload_is_what_the_generator_writes(tmp_path):
    subprocess.run([sys.executable, str(GENERATOR), str(tmp_path)], check=True)
    for name in ("stordrv.sys", "amd64/stordrv.sys", "stordrv.cat"):
        assert (tmp_path / name).read_bytes() == (DRV / name).read_bytes(), (
            f"{name} is stale: run '/usr/bin/python3 examples/make_payload.py' and commit it")


@pytest.mark.parametrize("path,machine,magic,code", [
    # xor eax, eax; ret 8: STATUS_SUCCESS, popping DriverEntry's two arguments.
    ("stordrv.sys", "IMAGE_FILE_MACHINE_I386", pefile.OPTIONAL_HEADER_MAGIC_PE,
     [0x33, 0xC0, 0xC2, 0x08, 0x00]),
    # xor eax, eax; ret: on x64 the caller owns the stack.
    ("amd64/stordrv.sys", "IMAGE_FILE_MACHINE_AMD64", pefile.OPTIONAL_HEADER_MAGIC_PE_PLUS,
     [0x33, 0xC0, 0xC3]),
])
def test_driver_is_a_native_image_with_a_valid_checksum(path, machine, magic, code):
    pe = pefile.PE(str(DRV / path))
    # pefile finds a file this small mostly zero bytes, which says nothing of its form.
    assert [w for w in pe.get_warnings() if "makes up" not in w] == []
    assert pe.FILE_HEADER.Machine == pefile.MACHINE_TYPE[machine]
    assert pe.OPTIONAL_HEADER.Magic == magic
    flags = pe.FILE_HEADER.Characteristics
    assert flags & pefile.IMAGE_CHARACTERISTICS["IMAGE_FILE_EXECUTABLE_IMAGE"]
    assert not flags & pefile.IMAGE_CHARACTERISTICS["IMAGE_FILE_RELOCS_STRIPPED"]
    assert not flags & pefile.IMAGE_CHARACTERISTICS["IMAGE_FILE_DLL"]
    assert pe.OPTIONAL_HEADER.Subsystem == pefile.SUBSYSTEM_TYPE["IMAGE_SUBSYSTEM_NATIVE"]
    assert pe.OPTIONAL_HEADER.CheckSum != 0 and pe.verify_checksum()
    assert hasattr(pe, "DIRECTORY_ENTRY_BASERELOC")
    assert not hasattr(pe, "DIRECTORY_ENTRY_IMPORT")
    entry = pe.OPTIONAL_HEADER.AddressOfEntryPoint
    assert pe.get_data(entry, len(code)) == bytes(code)
    assert len(pe.__data__) < 4096


def test_example_package_with_our_installer_tool_has_nothing_to_fix(tmp_path):
    # pkgcheck reads our own tools as the loaders of 2000, XP and XP x64
    # would, and the example's payloads as their setup does: none may find
    # fault.
    pkgcheck = ROOT / "build" / "host" / "pkgcheck" / "pkgcheck"
    tool, tool64 = ROOT / "dist" / "install.exe", ROOT / "dist" / "x64" / "install.exe"
    for needed in (pkgcheck, tool, tool64):
        assert needed.is_file(), f"{needed} is missing: build it with ./scripts/build.sh"
    package = tmp_path / "package"
    shutil.copytree(DRV.parent, package)
    shutil.copy2(tool, package / "install.exe")
    (package / "amd64").mkdir()
    shutil.copy2(tool64, package / "amd64" / "install.exe")
    r = subprocess.run([str(pkgcheck), "--strict", str(package)], capture_output=True, text=True)
    assert r.returncode == 0 and r.stdout.endswith(
        "Result: 0 errors, 0 warnings; exit status 0\n"), r.stdout + r.stderr
