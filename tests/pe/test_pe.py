"""Checks of the shipping executables, the launcher and the installer tool,
as Windows will see them.

Run with Debian's interpreter, which has python3-pefile:
    /usr/bin/python3 -m pytest tests/pe
LAUNCHER_EXE, INSTALL_EXE and INSTALL64_EXE name other builds to check
instead of dist/launcher.exe, dist/install.exe and dist/x64/install.exe.
"""
import csv
import dataclasses
import os
import re
import struct
import subprocess
from collections import Counter
from pathlib import Path
from xml.dom import minidom

import capstone
import pefile
import pytest
from capstone import x86

ROOT = Path(__file__).resolve().parents[2]
REVIEWED_IMPORTS = Path(__file__).with_name("imports.tsv")

# Windows 95 and NT 4.0 are version 4.0; their loaders refuse images that ask for more.
WINDOWS_VERSION = (4, 0)
# Every system the OS classification names must load the file to end silently on it.
# The x64 editions of XP and Server 2003 run them under WOW64.
SYSTEMS = ("95", "98", "ME", "NT4 SP6", "2000", "XP", "XP x64")
# The system's own DLLs, which every one of them has; no C runtime.
REQUIRED_DLLS = {"kernel32.dll", "user32.dll", "advapi32.dll"}

RT_ICON, RT_GROUP_ICON, RT_MANIFEST = 3, 14, 24
VOS__WINDOWS32 = 0x4
ASM_V1 = "urn:schemas-microsoft-com:asm.v1"
ASM_V3 = "urn:schemas-microsoft-com:asm.v3"


@dataclasses.dataclass
class Program:
    variable: str
    path: str
    most_bytes: int
    icon_depths: tuple  # bits per pixel of its icon images, each at 16 and 32 pixels


PROGRAMS = {
    "launcher": Program("LAUNCHER_EXE", "dist/launcher.exe", 24 * 1024, (4, 32)),
    # The tool is seldom seen: 16 colours only keep it small.
    "install": Program("INSTALL_EXE", "dist/install.exe", 32 * 1024, (4,)),
}


@pytest.fixture(scope="module", params=sorted(PROGRAMS))
def program(request):
    return request.param


@pytest.fixture(scope="module")
def pe(program):
    wanted = PROGRAMS[program]
    path = Path(os.environ.get(wanted.variable, ROOT / wanted.path))
    if not path.is_file():
        pytest.fail(f"{path} is missing: build it with "
                    "'cmake --preset win32 && cmake --build --preset win32'")
    image = pefile.PE(str(path))
    yield image
    image.close()


@pytest.fixture(scope="module")
def version():
    text = (ROOT / "res" / "version.h").read_text()
    return re.search(r'#define LAUNCHER_VERSION_TEXT "([0-9.]+)"', text).group(1)


def version_strings(pe):
    """The version record's string table, merged."""
    strings = {}
    for info in pe.FileInfo[0]:
        if info.Key == b"StringFileInfo":
            for table in info.StringTable:
                strings.update(table.entries)
    return strings


def resources(pe, type_id):
    """The data of every language of every entry of one resource type."""
    found = {}
    if not hasattr(pe, "DIRECTORY_ENTRY_RESOURCE"):
        return found
    for rtype in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        if rtype.id != type_id:
            continue
        for entry in rtype.directory.entries:
            for lang in entry.directory.entries:
                found.setdefault(entry.id, []).append(
                    pe.get_data(lang.data.struct.OffsetToData, lang.data.struct.Size))
    return found


def test_image_is_a_small_32_bit_gui_program_that_windows_95_and_nt_4_load(pe, program):
    assert len(pe.__data__) <= PROGRAMS[program].most_bytes
    opt = pe.OPTIONAL_HEADER
    assert opt.Magic == pefile.OPTIONAL_HEADER_MAGIC_PE, "not PE32"
    assert pe.FILE_HEADER.Machine == pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_I386"]
    assert opt.Subsystem == pefile.SUBSYSTEM_TYPE["IMAGE_SUBSYSTEM_WINDOWS_GUI"]
    assert (opt.MajorSubsystemVersion, opt.MinorSubsystemVersion) == WINDOWS_VERSION
    assert (opt.MajorOperatingSystemVersion,
            opt.MinorOperatingSystemVersion) == WINDOWS_VERSION


def load_reviewed_imports():
    rows = [row for row in csv.DictReader(
        (line for line in REVIEWED_IMPORTS.open(newline="") if not line.startswith("#")),
        delimiter="\t")]
    reviewed = {}
    for row in rows:
        key = (row["dll"].lower(), row["function"])
        assert key not in reviewed, f"{key} is listed twice in {REVIEWED_IMPORTS.name}"
        assert row["source"] and row["source"].strip(), f"{key} has no source"
        cells = {system: row[system] for system in SYSTEMS}
        assert set(cells.values()) <= {"exported", "missing"}, f"{key}: {cells}"
        reviewed[key] = [system for system, cell in cells.items() if cell == "missing"]
    return reviewed


def test_imports_are_the_three_system_dlls(pe, program):
    # The 64-bit build is made from the same sources without a runtime too.
    wide = ROOT / "dist" / "x64" / Path(PROGRAMS[program].path).name
    assert wide.is_file(), f"{wide} is missing: build it with the win64 preset"
    for name, image in (("32-bit", pe), ("64-bit", pefile.PE(str(wide)))):
        dlls = {d.dll.decode().lower() for d in image.DIRECTORY_ENTRY_IMPORT}
        assert dlls == REQUIRED_DLLS, name


def test_every_import_is_exported_by_every_system(pe):
    reviewed = load_reviewed_imports()
    unreviewed, missing = [], []
    for descriptor in pe.DIRECTORY_ENTRY_IMPORT:
        dll = descriptor.dll.decode().lower()
        assert dll in REQUIRED_DLLS, f"new import library {dll}: it may not exist on Windows 95"
        for imp in descriptor.imports:
            name = imp.name.decode() if imp.name else f"#{imp.ordinal}"
            if (dll, name) not in reviewed:
                unreviewed.append(f"{dll}!{name}")
            elif reviewed[dll, name]:
                missing.append(f"{dll}!{name} ({', '.join(reviewed[dll, name])})")
    assert not unreviewed, (
        "imports not yet reviewed: " + ", ".join(unreviewed) + ". Find out whether each of "
        f"{', '.join(SYSTEMS)} exports it, then add it with its source to "
        f"tests/pe/{REVIEWED_IMPORTS.name}.")
    assert not missing, (
        "imports some systems lack, so the file would not load there: " + ", ".join(missing))


# amd64\install.exe, the tool that does the work under WOW64: XP x64 and
# Server 2003 x64 are version 5.2.
AMD64_TOOL = Program("INSTALL64_EXE", "dist/x64/install.exe", 40 * 1024, (4,))
XP_X64_VERSION = (5, 2)


def test_amd64_tool_is_a_small_64_bit_gui_program_that_xp_x64_loads(version):
    path = Path(os.environ.get(AMD64_TOOL.variable, ROOT / AMD64_TOOL.path))
    assert path.is_file(), f"{path} is missing: build it with the win64 preset"
    image = pefile.PE(str(path))
    assert len(image.__data__) <= AMD64_TOOL.most_bytes
    opt = image.OPTIONAL_HEADER
    assert opt.Magic == pefile.OPTIONAL_HEADER_MAGIC_PE_PLUS, "not PE32+"
    assert image.FILE_HEADER.Machine == pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_AMD64"]
    assert not image.FILE_HEADER.Characteristics & pefile.IMAGE_CHARACTERISTICS["IMAGE_FILE_DLL"]
    assert opt.Subsystem == pefile.SUBSYSTEM_TYPE["IMAGE_SUBSYSTEM_WINDOWS_GUI"]
    assert (opt.MajorSubsystemVersion, opt.MinorSubsystemVersion) <= XP_X64_VERSION
    assert (opt.MajorOperatingSystemVersion, opt.MinorOperatingSystemVersion) <= XP_X64_VERSION
    assert image.FILE_HEADER.TimeDateStamp == 0
    # No runtime library: the three system DLLs alone, each function one
    # that XP x64 RTM exports.
    reviewed = load_reviewed_imports()
    problems = []
    for descriptor in image.DIRECTORY_ENTRY_IMPORT:
        dll = descriptor.dll.decode().lower()
        assert dll in REQUIRED_DLLS, f"import library {dll}"
        for imp in descriptor.imports:
            name = imp.name.decode() if imp.name else f"#{imp.ordinal}"
            if (dll, name) not in reviewed or "XP x64" in reviewed[dll, name]:
                problems.append(f"{dll}!{name}")
    assert not problems, "not reviewed, or missing on XP x64: " + ", ".join(problems)
    # Its own version record and manifest, for the x64 processor.
    strings = version_strings(image)
    assert strings.get(b"FileVersion") == version.encode()
    [[manifest]] = resources(image, RT_MANIFEST).values()
    identity = minidom.parseString(manifest).getElementsByTagNameNS(ASM_V1, "assemblyIdentity")
    assert identity[0].getAttribute("processorArchitecture").lower() == "amd64"
    levels = minidom.parseString(manifest).getElementsByTagNameNS(ASM_V3,
                                                                  "requestedExecutionLevel")
    assert [e.getAttribute("level") for e in levels] == ["asInvoker"]


def icon_image(data):
    """(size, bits per pixel, transparent pixels, problems) of one icon image.
    Before XP, and wherever an icon is drawn through its mask, the AND mask
    alone decides transparency: it must be set exactly where alpha is 0,
    and a transparent pixel must be black so that the XOR leaves the screen
    as it was."""
    (header, width, height, _, bits) = struct.unpack_from("<IiiHH", data)
    colours = struct.unpack_from("<I", data, 32)[0] or (1 << bits if bits <= 8 else 0)
    xor_stride = ((width * bits + 31) // 32) * 4
    and_stride = ((width + 31) // 32) * 4
    xor_at = header + 4 * colours
    and_at = xor_at + xor_stride * width
    assert height == 2 * width and len(data) >= and_at + and_stride * width
    transparent, problems = 0, []
    for y in range(width):
        for x in range(width):
            masked = data[and_at + y * and_stride + x // 8] >> (7 - x % 8) & 1
            row = xor_at + y * xor_stride
            if bits == 32:
                pixel = data[row + 4 * x:row + 4 * x + 4]
                if masked != (pixel[3] == 0):
                    problems.append((x, y, "mask", masked, "alpha", pixel[3]))
                black = pixel[:3] == b"\0\0\0"
            else:
                index = data[row + x * bits // 8] >> (4 - x % 2 * 4 if bits == 4 else 0)
                index &= (1 << bits) - 1
                black = data[header + 4 * index:header + 4 * index + 3] == b"\0\0\0"
            if masked:
                transparent += 1
                if not black:
                    problems.append((x, y, "transparent but not black"))
    return width, bits, transparent, problems


def test_version_record_and_icon(pe, program, version):
    numbers = [int(part) for part in version.split(".")]
    fixed = pe.VS_FIXEDFILEINFO[0]
    for prefix in ("File", "Product"):
        ms, ls = getattr(fixed, prefix + "VersionMS"), getattr(fixed, prefix + "VersionLS")
        assert [ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF] == numbers, prefix
    strings = version_strings(pe)
    assert strings.get(b"FileVersion") == version.encode()
    assert strings.get(b"ProductVersion") == version.encode()

    # 95, 98 and ME read the record too: not "NT only".
    assert fixed.FileOS == VOS__WINDOWS32

    groups = resources(pe, RT_GROUP_ICON)
    assert groups, "no icon group: Explorer would show the default program icon"
    images = [icon_image(data[0]) for data in resources(pe, RT_ICON).values()]
    # 16 colours for 16- and 256-colour displays and the systems before XP,
    # 32 bits with alpha for XP, each at both sizes.
    assert sorted((size, bits) for size, bits, _, _ in images) == sorted(
        (size, bits) for size in (16, 32) for bits in PROGRAMS[program].icon_depths)
    for size, bits, transparent, problems in images:
        assert transparent, f"{size}x{size} {bits}-bit: nothing transparent"
        assert not problems, f"{size}x{size} {bits}-bit: {problems[:5]}"


def test_manifest_asks_for_no_elevation_in_a_form_windows_xp_parses(pe, version):
    manifests = resources(pe, RT_MANIFEST)
    # Only id 1 is read when a process starts.
    assert list(manifests) == [1] and len(manifests[1]) == 1, manifests.keys()
    raw = manifests[1][0]
    dom = minidom.parseString(raw)
    root = dom.documentElement
    assert (root.namespaceURI, root.localName) == (ASM_V1, "assembly")
    assert root.getAttribute("manifestVersion") == "1.0"

    elements = root.getElementsByTagName("*")
    # XP SP2 restarts the machine on an element that declares two namespaces.
    for element in elements:
        declared = [a for a in element.attributes.keys() if a == "xmlns" or a.startswith("xmlns:")]
        assert len(declared) <= 1, f"{element.tagName} declares {declared}"

    identity = [e for e in root.childNodes if getattr(e, "localName", None) == "assemblyIdentity"]
    assert len(identity) == 1, "XP wants the application's own assemblyIdentity"
    assert identity[0].getAttribute("type") == "win32"
    assert identity[0].getAttribute("version") == version
    assert identity[0].getAttribute("processorArchitecture") == "X86"

    # XP rejects trustInfo in the assembly's own namespace.
    trust = [e for e in root.childNodes if getattr(e, "localName", None) == "trustInfo"]
    assert len(trust) == 1 and trust[0].namespaceURI == ASM_V3
    levels = dom.getElementsByTagNameNS(ASM_V3, "requestedExecutionLevel")
    assert len(levels) == 1
    assert levels[0].getAttribute("level") == "asInvoker"
    assert levels[0].getAttribute("uiAccess") == "false"

    dependencies = [e.getAttribute("name") for e in elements
                    if e.localName == "assemblyIdentity" and e not in identity]
    assert not [name for name in dependencies if "Common-Controls" in name], (
        "the system's default common controls must stay")


def test_nothing_records_when_it_was_built(pe):
    assert pe.FILE_HEADER.TimeDateStamp == 0
    fixed = pe.VS_FIXEDFILEINFO[0]
    assert (fixed.FileDateMS, fixed.FileDateLS) == (0, 0)

    stack = [pe.DIRECTORY_ENTRY_RESOURCE]
    while stack:
        directory = stack.pop()
        assert directory.struct.TimeDateStamp == 0, "resource directory time stamp"
        stack.extend(e.directory for e in directory.entries if hasattr(e, "directory"))

    if hasattr(pe, "DIRECTORY_ENTRY_EXPORT"):
        assert pe.DIRECTORY_ENTRY_EXPORT.struct.TimeDateStamp == 0
    for entry in getattr(pe, "DIRECTORY_ENTRY_DEBUG", []):
        assert entry.struct.TimeDateStamp == 0, "debug directory time stamp"
    # A bound import records the DLLs' build times and is wrong on any other release.
    assert not hasattr(pe, "DIRECTORY_ENTRY_BOUND_IMPORT")
    for descriptor in pe.DIRECTORY_ENTRY_IMPORT:
        assert descriptor.struct.TimeDateStamp == 0, descriptor.dll


# Windows 95 runs on an 80386, so the file may hold no instruction that came
# later. Named by the processor that brought them; the two-byte opcodes below
# catch the rest (MMX, SSE and their successors, long nops, ...).
LATER_INSTRUCTIONS = {
    "486": {"bswap", "cmpxchg", "xadd", "invd", "wbinvd", "invlpg"},
    "Pentium": {"cpuid", "rdtsc", "rdmsr", "wrmsr", "cmpxchg8b", "rsm"},
    "Pentium Pro and later": {"rdpmc", "ud2", "sysenter", "sysexit", "fcomi", "fcomip",
                              "fucomi", "fucomip"},
}
LATER_PREFIXES = {"cmov": "Pentium Pro", "fcmov": "Pentium Pro"}
# The second byte of every 0F xx opcode the 80386 has.
I386_TWO_BYTE = ({0x00, 0x01, 0x02, 0x03, 0x06, 0x20, 0x21, 0x22, 0x23, 0x24, 0x26}
                 | set(range(0x80, 0xA0)) | {0xA0, 0xA1, 0xA3, 0xA4, 0xA5, 0xA8, 0xA9, 0xAB,
                                             0xAC, 0xAD, 0xAF, 0xB2, 0xB3, 0xB4, 0xB5, 0xB6,
                                             0xB7, 0xBA, 0xBB, 0xBC, 0xBD, 0xBE, 0xBF})
LATER_GROUPS = {getattr(x86, name): name for name in dir(x86)
                if re.fullmatch(r"X86_GRP_(CMOV|MMX|3DNOW|SSE\w*|SSSE3|AVX\w*|FPU|F16C|FMA\w*"
                                r"|AES|SHA|BMI\w*|ADX|TBM|XOP)", name)}
LATER_REGISTER = re.compile(r"\b(mm[0-7]|[xyz]mm\d+|st\(?\d?\)?|k[0-7])\b")


def beyond_the_80386(pe):
    """Every instruction of every executable section that an 80386 lacks,
    as (address, mnemonic, text, why)."""
    md = capstone.Cs(capstone.CS_ARCH_X86, capstone.CS_MODE_32)
    md.detail = True
    md.skipdata = True  # the linker's constructor list lies at the end of .text
    later = {m: gen for gen, names in LATER_INSTRUCTIONS.items() for m in names}
    findings = []
    for section in pe.sections:
        if not section.Characteristics & pefile.SECTION_CHARACTERISTICS["IMAGE_SCN_MEM_EXECUTE"]:
            continue
        code = section.get_data()[:section.Misc_VirtualSize]
        base = pe.OPTIONAL_HEADER.ImageBase + section.VirtualAddress
        for insn in md.disasm(code, base):
            if insn.id == 0:
                continue
            text = f"{insn.mnemonic} {insn.op_str}".strip()
            name = insn.mnemonic.split()[-1]  # without lock or rep
            opcode = [b for b in insn.opcode if b]
            why = later.get(name)
            why = why or next((gen for prefix, gen in LATER_PREFIXES.items()
                               if name.startswith(prefix)), None)
            if name.startswith("f") or name == "wait":
                why = why or "x87"
            why = why or next((LATER_GROUPS[g] for g in insn.groups if g in LATER_GROUPS), None)
            if not why and len(opcode) >= 2 and opcode[0] == 0x0F and opcode[1] not in I386_TWO_BYTE:
                why = f"opcode 0F {opcode[1]:02X}"
            if not why and LATER_REGISTER.search(insn.op_str):
                why = "register the 80386 lacks"
            if why:
                findings.append((insn.address, name, text, why))
    return findings


def test_every_instruction_is_one_the_80386_has(pe):
    findings = beyond_the_80386(pe)
    counts = Counter(name for _, name, _, _ in findings)
    listing = "\n".join(f"  {address:#010x}  {text}  ({why})"
                         for address, _, text, why in findings[:40])
    assert not findings, (f"{len(findings)} instructions beyond the 80386 "
                          f"({dict(counts.most_common())}):\n{listing}")


@pytest.mark.parametrize("compiler", ["i686-w64-mingw32-g++", "x86_64-w64-mingw32-g++"])
def test_byte_routines_never_become_calls_of_themselves(compiler, tmp_path):
    # The loops of platform/Bytes.cpp are the shipping file's memcpy, memset
    # and strlen: compiled with any optimisation and no special flag, none
    # may turn into a call of those.
    called = set()
    for level in ("-O1", "-O2", "-O3", "-Os"):
        obj = tmp_path / f"bytes{level}.o"
        subprocess.run([compiler, "-std=c++17", level, "-march=i386" if "i686" in compiler
                        else "-march=x86-64", "-I", str(ROOT), "-c",
                        str(ROOT / "platform" / "Bytes.cpp"), "-o", str(obj)], check=True)
        symbols = subprocess.run([compiler.replace("g++", "nm"), "-u", str(obj)], check=True,
                                 capture_output=True, text=True).stdout.split()
        called |= {s.lstrip("_") for s in symbols} & {"memcpy", "memmove", "memset", "memcmp",
                                                     "memchr", "strlen"}
    assert not called
