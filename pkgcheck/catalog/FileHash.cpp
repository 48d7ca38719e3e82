#include "pkgcheck/catalog/FileHash.h"

#include <cstdint>

namespace pkgcheck {
namespace {

std::uint32_t Read32(std::string_view b, std::size_t at) {
    std::uint32_t v = 0;
    for (std::size_t i = 4; i > 0; --i) v = v << 8 | static_cast<unsigned char>(b[at + i - 1]);
    return v;
}

std::uint16_t Read16(std::string_view b, std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(b[at]) |
                                      static_cast<unsigned char>(b[at + 1]) << 8);
}

// Where a PE image keeps what its hash leaves out: the CheckSum field, the
// certificate table's directory entry and the table itself. False when the
// bytes are no PE image with that entry.
struct Omitted {
    std::size_t checksum = 0;
    std::size_t entry = 0;
    std::size_t table = 0;
    std::size_t tableSize = 0;
};

bool FindOmitted(std::string_view b, Omitted* out) {
    if (b.size() < 0x40 || b[0] != 'M' || b[1] != 'Z') return false;
    const std::size_t pe = Read32(b, 0x3C);
    if (pe > b.size() || b.size() - pe < 24 + 2 || b.substr(pe, 4) != std::string_view("PE\0\0", 4))
        return false;
    const std::size_t optional = pe + 24;
    const std::uint16_t magic = Read16(b, optional);
    std::size_t directories = 0;
    if (magic == 0x10B)
        directories = optional + 96;
    else if (magic == 0x20B)
        directories = optional + 112;
    else
        return false;
    // The count of directories precedes them; the certificate table is the fifth.
    if (b.size() < directories + 5 * 8 || Read32(b, directories - 4) < 5) return false;
    out->checksum = optional + 64;
    out->entry = directories + 4 * 8;
    const std::size_t table = Read32(b, out->entry);  // a file offset, not an address
    const std::size_t size = Read32(b, out->entry + 4);
    if (size != 0 && table >= out->entry + 8 && table <= b.size() && size <= b.size() - table) {
        out->table = table;
        out->tableSize = size;
    }
    return true;
}

}  // namespace

// The image hash leaves out what signing a file changes, so that an
// embedded signature does not change the hash the catalog holds:
// https://learn.microsoft.com/en-us/windows/win32/debug/pe-format ("The
// Attribute Certificate Table (Image Only)": the Authenticode PE image hash), and
// CryptCATAdminCalcHashFromFileHandle,
// https://learn.microsoft.com/en-us/windows/win32/api/mscat/nf-mscat-cryptcatadmincalchashfromfilehandle,
// which 2000 and XP look a file up in their catalogs with.
FileHash HashAsWindows(std::string_view bytes) {
    FileHash out;
    out.flat = Sha1Of(bytes);
    out.hash = out.flat;
    Omitted o;
    if (!FindOmitted(bytes, &o)) return out;
    out.image = true;
    Sha1 sha;
    sha.Update(bytes.substr(0, o.checksum));
    sha.Update(bytes.substr(o.checksum + 4, o.entry - (o.checksum + 4)));
    const std::size_t end = o.tableSize == 0 ? bytes.size() : o.table;
    sha.Update(bytes.substr(o.entry + 8, end - (o.entry + 8)));
    if (o.tableSize != 0) sha.Update(bytes.substr(o.table + o.tableSize));
    out.hash = sha.Finish();
    return out;
}

}  // namespace pkgcheck
