"""The example package's driver and catalog are what examples/make_payload.py
writes from the committed INF, and the driver is one the kernel would load.

    /usr/bin/python3 -m pytest -q tests/pe/test_example_payload.py
"""
import shutil
import subprocess
import sys
from pathlib import Path

import pefile

ROOT = Path(__file__).resolve().parents[2]
DRV = ROOT / "examples" / "package" / "drv"
GENERATOR = ROOT / "examples" / "make_payload.py"


def test_committed_payload_is_what_the_generator_writes(tmp_path):
    subprocess.run([sys.executable, str(GENERATOR), str(tmp_path)], check=True)
    for name in ("stordrv.sys", "stordrv.cat"):
        assert (tmp_path / name).read_bytes() == (DRV / name).read_bytes(), (
            f"{name} is stale: run '/usr/bin/python3 examples/make_payload.py' and commit it")


def test_driver_is_a_native_x86_image_with_a_valid_checksum():
    pe = pefile.PE(str(DRV / "stordrv.sys"))
    # pefile finds a file this small mostly zero bytes, which says nothing of its form.
    assert [w for w in pe.get_warnings() if "makes up" not in w] == []
    assert pe.FILE_HEADER.Machine == pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_I386"]
    flags = pe.FILE_HEADER.Characteristics
    assert flags & pefile.IMAGE_CHARACTERISTICS["IMAGE_FILE_EXECUTABLE_IMAGE"]
    assert not flags & pefile.IMAGE_CHARACTERISTICS["IMAGE_FILE_RELOCS_STRIPPED"]
    assert not flags & pefile.IMAGE_CHARACTERISTICS["IMAGE_FILE_DLL"]
    assert pe.OPTIONAL_HEADER.Subsystem == pefile.SUBSYSTEM_TYPE["IMAGE_SUBSYSTEM_NATIVE"]
    assert pe.OPTIONAL_HEADER.CheckSum != 0 and pe.verify_checksum()
    assert hasattr(pe, "DIRECTORY_ENTRY_BASERELOC")
    assert not hasattr(pe, "DIRECTORY_ENTRY_IMPORT")
    # xor eax, eax; ret 8: STATUS_SUCCESS, popping DriverEntry's two arguments.
    entry = pe.OPTIONAL_HEADER.AddressOfEntryPoint
    assert pe.get_data(entry, 5) == bytes([0x33, 0xC0, 0xC2, 0x08, 0x00])
    assert len(pe.__data__) < 4096


def test_example_package_with_our_installer_tool_has_nothing_to_fix(tmp_path):
    # pkgcheck reads our own install.exe as the loaders of 2000 and XP would,
    # and the example's payload as their setup does: neither may find fault.
    pkgcheck = ROOT / "build" / "host" / "pkgcheck" / "pkgcheck"
    tool = ROOT / "dist" / "install.exe"
    for needed in (pkgcheck, tool):
        assert needed.is_file(), f"{needed} is missing: build it with ./scripts/build.sh"
    package = tmp_path / "package"
    shutil.copytree(DRV.parent, package)
    shutil.copy2(tool, package / "install.exe")
    r = subprocess.run([str(pkgcheck), "--strict", str(package)], capture_output=True, text=True)
    assert r.returncode == 0 and r.stdout.endswith(
        "Result: 0 errors, 0 warnings; exit status 0\n"), r.stdout + r.stderr
