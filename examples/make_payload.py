#!/usr/bin/python3
"""Writes the example package's payload: drv/stordrv.sys (x86),
drv/amd64/stordrv.sys (x64) and drv/stordrv.cat.

    /usr/bin/python3 examples/make_payload.py [OUTPUT_DIR]

OUTPUT_DIR defaults to examples/package/drv. The catalog is made from the
committed drv/stordrv.inf and the drivers just written, so after an edit of the
INF a re-run keeps the catalog current. The output depends on nothing but
these sources: no clock, no randomness, no compiler, the same bytes on every
checkout.

Each stordrv.sys is a do-nothing stand-in for the vendor's driver, which a
real package ships in its place. Its DriverEntry returns STATUS_SUCCESS and
the driver neither creates a device object nor handles a request. The INF's IDs
are those of real disk controllers: never install the example on a real
machine, whose disk controller would then be left to a driver that does
nothing.

stordrv.cat carries no signer, as a catalog does before the vendor's signing
process has signed it; Windows treats the package as unsigned.
"""

import hashlib
import re
import struct
import sys
from pathlib import Path

PACKAGE_DRV = Path(__file__).resolve().parent / "package" / "drv"
INF_NAME = "stordrv.inf"
SYS_NAME = "stordrv.sys"
CAT_NAME = "stordrv.cat"
# Where [SourceDisksNames.amd64] puts the 64-bit driver, below drv/.
AMD64_DIR = "amd64"

# --- the driver image -----------------------------------------------------

# DriverEntry(PDRIVER_OBJECT, PUNICODE_STRING) on x86, stdcall:
#     xor eax, eax    ; STATUS_SUCCESS
#     ret 8
# and on x64, where the caller owns the stack:
#     xor eax, eax
#     ret
# Neither touches an absolute address, so the image holds no fixup and loads
# at any base.
X86_ENTRY_CODE = bytes([0x33, 0xC0, 0xC2, 0x08, 0x00])
AMD64_ENTRY_CODE = bytes([0x33, 0xC0, 0xC3])

IMAGE_BASE = 0x10000  # customary for drivers; the kernel places each where it has room
SECTION_ALIGNMENT = 0x1000
FILE_ALIGNMENT = 0x200
PE_OFFSET = 0x40  # right after the DOS header: the file never runs on DOS
CHECKSUM_OFFSET = PE_OFFSET + 4 + 20 + 64  # the same in PE32 and PE32+
DIR_SECURITY, DIR_BASERELOC = 4, 5

IMAGE_FILE_MACHINE_I386 = 0x014C
IMAGE_FILE_MACHINE_AMD64 = 0x8664
IMAGE_FILE_EXECUTABLE_IMAGE = 0x0002
IMAGE_FILE_LARGE_ADDRESS_AWARE = 0x0020
IMAGE_FILE_32BIT_MACHINE = 0x0100
IMAGE_SUBSYSTEM_NATIVE = 1
SCN_CODE_EXECUTE_READ = 0x60000020
# The loader reads .reloc only while it places the image; then it may go.
SCN_DATA_DISCARDABLE_READ = 0x42000040

TEXT_RVA, RELOC_RVA = 0x1000, 0x2000
SIZE_OF_HEADERS = FILE_ALIGNMENT


def align(value, to):
    return (value + to - 1) // to * to


def relocation_block():
    """A well-formed relocation directory with nothing to fix: one block for
    the code page, its header and no entry. It is there so that no loader
    takes the image for one that must stay at its preferred base."""
    return struct.pack("<II", TEXT_RVA, 8)


def section_header(name, virtual_size, rva, raw_size, raw_pointer, flags):
    return struct.pack("<8sIIIIIIHHI", name, virtual_size, rva, raw_size, raw_pointer,
                       0, 0, 0, 0, flags)


class Arch:
    """What tells the x86 image from the x64 one."""

    def __init__(self, amd64):
        self.amd64 = amd64
        self.code = AMD64_ENTRY_CODE if amd64 else X86_ENTRY_CODE
        # PE32+ drops BaseOfData and widens the image base and the four
        # stack and heap sizes to 64 bits.
        self.optional_size = 0xF0 if amd64 else 0xE0
        self.directories_offset = PE_OFFSET + 4 + 20 + (112 if amd64 else 96)
        # XP x64 and Server 2003 x64 are NT 5.2; 2000 is 5.0.
        self.version = (5, 2) if amd64 else (5, 0)


def pe_headers(reloc, arch):
    text_raw = align(len(arch.code), FILE_ALIGNMENT)
    reloc_raw = align(len(reloc), FILE_ALIGNMENT)
    size_of_image = align(RELOC_RVA + len(reloc), SECTION_ALIGNMENT)
    dos = bytearray(PE_OFFSET)
    dos[0:2] = b"MZ"
    struct.pack_into("<I", dos, 0x3C, PE_OFFSET)
    machine, flags = ((IMAGE_FILE_MACHINE_AMD64,
                       IMAGE_FILE_EXECUTABLE_IMAGE | IMAGE_FILE_LARGE_ADDRESS_AWARE)
                      if arch.amd64 else
                      (IMAGE_FILE_MACHINE_I386,
                       IMAGE_FILE_EXECUTABLE_IMAGE | IMAGE_FILE_32BIT_MACHINE))
    file_header = struct.pack("<HHIIIHH", machine, 2, 0, 0, 0, arch.optional_size, flags)
    major, minor = arch.version
    if arch.amd64:
        head = struct.pack("<HBBIIIIIQ", 0x20B, 1, 0, text_raw, reloc_raw, 0,
                           TEXT_RVA, TEXT_RVA, IMAGE_BASE)
        sizes = struct.pack("<QQQQ", 0x40000, 0x1000, 0x100000, 0x1000)
    else:
        head = struct.pack("<HBBIIIIIII", 0x10B, 1, 0, text_raw, reloc_raw, 0,
                           TEXT_RVA, TEXT_RVA, RELOC_RVA, IMAGE_BASE)
        sizes = struct.pack("<IIII", 0x40000, 0x1000, 0x100000, 0x1000)
    optional = (head +
                struct.pack("<IIHHHHHHIIII HH".replace(" ", ""),
                            SECTION_ALIGNMENT, FILE_ALIGNMENT,
                            major, minor, 1, 0, major, minor,  # OS, image, subsystem versions
                            0, size_of_image, SIZE_OF_HEADERS,
                            0,  # checksum, filled in last
                            IMAGE_SUBSYSTEM_NATIVE, 0) +
                sizes + struct.pack("<II", 0, 16))
    assert len(optional) == arch.optional_size - 16 * 8
    directories = bytearray(16 * 8)
    struct.pack_into("<II", directories, DIR_BASERELOC * 8, RELOC_RVA, len(reloc))
    sections = (section_header(b".text", len(arch.code), TEXT_RVA, text_raw,
                               SIZE_OF_HEADERS, SCN_CODE_EXECUTE_READ) +
                section_header(b".reloc", len(reloc), RELOC_RVA, reloc_raw,
                               SIZE_OF_HEADERS + text_raw, SCN_DATA_DISCARDABLE_READ))
    headers = bytes(dos) + b"PE\0\0" + file_header + optional + bytes(directories) + sections
    return headers.ljust(SIZE_OF_HEADERS, b"\0")


def pe_checksum(image):
    """The optional header's CheckSum: the 16-bit one's-complement-style sum
    of the file with that field taken as zero, plus the file's length. The
    kernel refuses a driver whose non-zero checksum does not match."""
    data = bytearray(image)
    data[CHECKSUM_OFFSET:CHECKSUM_OFFSET + 4] = bytes(4)
    if len(data) % 2:
        data.append(0)
    total = 0
    for (word,) in struct.iter_unpack("<H", data):
        total += word
        total = (total & 0xFFFF) + (total >> 16)
    return ((total & 0xFFFF) + len(image)) & 0xFFFFFFFF


def driver_image(arch):
    reloc = relocation_block()
    image = bytearray(pe_headers(reloc, arch))
    image += arch.code.ljust(align(len(arch.code), FILE_ALIGNMENT), b"\0")
    image += reloc.ljust(align(len(reloc), FILE_ALIGNMENT), b"\0")
    struct.pack_into("<I", image, CHECKSUM_OFFSET, pe_checksum(image))
    return bytes(image)


def authenticode_sha1(image, arch):
    """The PE image hash a catalog records for a PE member: the file without
    its CheckSum field and its certificate-table directory entry (and the
    table itself, which an unsigned image such as ours does not have)."""
    security = arch.directories_offset + DIR_SECURITY * 8
    if struct.unpack_from("<II", image, security) != (0, 0):
        raise ValueError("an image with a certificate table needs the table left out")
    digest = hashlib.sha1()
    digest.update(image[:CHECKSUM_OFFSET])
    digest.update(image[CHECKSUM_OFFSET + 4:security])
    digest.update(image[security + 8:])
    return digest.digest()


# --- DER ------------------------------------------------------------------


def der(tag, content):
    size = len(content)
    if size < 0x80:
        length = bytes([size])
    else:
        octets = size.to_bytes((size.bit_length() + 7) // 8, "big")
        length = bytes([0x80 | len(octets)]) + octets
    return bytes([tag]) + length + content


def seq(*items):
    return der(0x30, b"".join(items))


def set_of(*items):
    return der(0x31, b"".join(sorted(items)))  # DER orders a SET OF by encoding


def explicit(number, item):
    return der(0xA0 | number, item)


def integer(value):
    return der(0x02, value.to_bytes(value.bit_length() // 8 + 1, "big", signed=True))


def octets(data):
    return der(0x04, data)


def null():
    return der(0x05, b"")


def bmp(text):
    return der(0x1E, text.encode("utf-16-be"))


def utc_time(stamp):
    return der(0x17, stamp.encode("ascii"))


def oid(dotted):
    numbers = [int(n) for n in dotted.split(".")]
    body = bytearray([40 * numbers[0] + numbers[1]])
    for n in numbers[2:]:
        chunk = [n & 0x7F]
        while n > 0x7F:
            n >>= 7
            chunk.append(0x80 | (n & 0x7F))
        body += bytes(reversed(chunk))
    return der(0x06, bytes(body))


# --- the catalog ----------------------------------------------------------

OID_SIGNED_DATA = "1.2.840.113549.1.7.2"
OID_SHA1 = "1.3.14.3.2.26"
OID_CTL = "1.3.6.1.4.1.311.10.1"
OID_CATALOG_LIST = "1.3.6.1.4.1.311.12.1.1"
OID_CATALOG_LIST_MEMBER = "1.3.6.1.4.1.311.12.1.2"
OID_SPC_INDIRECT_DATA = "1.3.6.1.4.1.311.2.1.4"
OID_SPC_PE_IMAGE_DATA = "1.3.6.1.4.1.311.2.1.15"
OID_SPC_CAB_DATA = "1.3.6.1.4.1.311.2.1.25"  # what a catalog records for a flat file
OID_CAT_NAMEVALUE = "1.3.6.1.4.1.311.12.2.1"
OID_CAT_MEMBERINFO = "1.3.6.1.4.1.311.12.2.2"

# The subject interface packages that hash a member: a PE image's
# Authenticode hash, or a flat file's hash of all its bytes.
SIP_PE_IMAGE = "{C689AAB8-8E78-11D0-8C47-00C04FC295EE}"
SIP_FLAT_FILE = "{DE351A42-8E59-11D0-8C47-00C04FC295EE}"
MEMBER_CERT_VERSION = 0x200
# Name and value are text, and the attribute is covered by a signature.
NAMEVALUE_FLAGS = 0x10010001


def spc_file_link():
    # The file link that indirect data has held since its file name was dropped.
    return explicit(2, der(0x80, "<<<Obsolete>>>".encode("utf-16-be")))


def indirect_data(kind, digest):
    if kind == SIP_PE_IMAGE:
        data = seq(oid(OID_SPC_PE_IMAGE_DATA), seq(der(0x03, b"\0"), explicit(0, spc_file_link())))
    else:
        data = seq(oid(OID_SPC_CAB_DATA), spc_file_link())
    return seq(data, seq(seq(oid(OID_SHA1), null()), octets(digest)))


def attribute(type_oid, value):
    return seq(oid(type_oid), set_of(value))


def member(name, kind, digest):
    """One catalog entry: tagged, as Windows looks a file up, by the upper-case
    hexadecimal text of its hash in UTF-16LE with a terminating NUL."""
    tag = (digest.hex().upper() + "\0").encode("utf-16-le")
    file_name = seq(bmp("File"), integer(NAMEVALUE_FLAGS),
                    octets((name + "\0").encode("utf-16-le")))
    return seq(octets(tag), set_of(
        attribute(OID_CAT_NAMEVALUE, file_name),
        attribute(OID_CAT_MEMBERINFO, seq(bmp(kind), integer(MEMBER_CERT_VERSION))),
        attribute(OID_SPC_INDIRECT_DATA, indirect_data(kind, digest))))


def driver_date(inf):
    """The catalog's date: the INF's DriverVer date, so that the catalog does
    not change from one run to the next."""
    found = re.search(rb"^DriverVer\s*=\s*(\d\d)/(\d\d)/(\d\d\d\d)", inf, re.MULTILINE)
    if not found:
        raise ValueError(f"{INF_NAME} has no DriverVer=mm/dd/yyyy line")
    month, day, year = (int(part) for part in found.groups())
    return f"{year % 100:02d}{month:02d}{day:02d}000000Z"


def catalog(inf, images):
    """One catalog for both architectures: Windows finds a member by its
    hash, so the two drivers of one name stand apart."""
    members = [member(INF_NAME, SIP_FLAT_FILE, hashlib.sha1(inf).digest())]
    members += [member(SYS_NAME, SIP_PE_IMAGE, authenticode_sha1(image, arch))
                for arch, image in images]
    # A list identifier that changes with the content and with nothing else.
    list_id = hashlib.sha1(b"".join(members)).digest()[:16]
    ctl = seq(seq(oid(OID_CATALOG_LIST)),
              octets(list_id),
              utc_time(driver_date(inf)),
              seq(oid(OID_CATALOG_LIST_MEMBER), null()),
              seq(*members))
    # No signer yet, so no digest algorithm and no certificate either.
    signed_data = seq(integer(1), set_of(), seq(oid(OID_CTL), explicit(0, ctl)), set_of())
    return seq(oid(OID_SIGNED_DATA), explicit(0, signed_data))


def main(argv):
    out = Path(argv[1]) if len(argv) > 1 else PACKAGE_DRV
    images = [(arch, driver_image(arch)) for arch in (Arch(False), Arch(True))]
    for arch, image in images:
        folder = out / AMD64_DIR if arch.amd64 else out
        folder.mkdir(parents=True, exist_ok=True)
        (folder / SYS_NAME).write_bytes(image)
    (out / CAT_NAME).write_bytes(catalog((PACKAGE_DRV / INF_NAME).read_bytes(), images))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
