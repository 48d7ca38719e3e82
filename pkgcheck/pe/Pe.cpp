#include "pkgcheck/pe/Pe.h"

#include <algorithm>

#include "pkgcheck/read/Text.h"

namespace pkgcheck {
namespace {

constexpr std::size_t kDosHeaderSize = 64;
constexpr std::size_t kFileHeaderSize = 20;
constexpr std::size_t kSectionHeaderSize = 40;
constexpr std::size_t kImportDescriptorSize = 20;
constexpr std::size_t kExportDirectorySize = 40;
constexpr std::uint16_t kMagicPe32 = 0x10B;
constexpr std::uint16_t kMagicPe32Plus = 0x20B;
constexpr std::size_t kExportDirectory = 0;
constexpr std::size_t kImportDirectory = 1;

std::uint16_t U16(std::string_view bytes, std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[at]) |
                                      static_cast<unsigned char>(bytes[at + 1]) << 8);
}

std::uint32_t U32(std::string_view bytes, std::size_t at) {
    return static_cast<std::uint32_t>(U16(bytes, at)) |
           static_cast<std::uint32_t>(U16(bytes, at + 2)) << 16;
}

std::uint64_t U64(std::string_view bytes, std::size_t at) {
    return static_cast<std::uint64_t>(U32(bytes, at)) |
           static_cast<std::uint64_t>(U32(bytes, at + 4)) << 32;
}

// Where the image's bytes come from once the loader has mapped it: the
// headers at their file offsets, each section's raw data at its address, and
// zeros for the rest of a section's virtual size.
struct Region {
    std::uint64_t address = 0;    // relative virtual address
    std::uint64_t fileBytes = 0;  // backed by the file from `offset`
    std::uint64_t zeroBytes = 0;  // then this many zeros
    std::uint64_t offset = 0;
};

class Reader {
public:
    explicit Reader(std::string_view bytes)
        : bytes_(bytes), budget_(4 * static_cast<std::uint64_t>(bytes.size()) + 65536) {}

    PeFile Read() {
        if (ReadHeaders() && ReadSections() && ReadImports() && ReadExports()) pe_.valid = true;
        return std::move(pe_);
    }

private:
    bool Fail(std::string problem) {
        if (pe_.problem.empty()) pe_.problem = std::move(problem);
        return false;
    }

    bool Fits(std::uint64_t offset, std::uint64_t size) const {
        return offset <= bytes_.size() && size <= bytes_.size() - offset;
    }

    bool ReadHeaders() {
        if (bytes_.size() < kDosHeaderSize) return Fail("too short for an MS-DOS header");
        if (bytes_.substr(0, 2) != "MZ") return Fail("no MZ signature");
        const std::uint64_t pe = U32(bytes_, 0x3C);
        if (!Fits(pe, 4 + kFileHeaderSize + 2))
            return Fail("the PE header offset " + HexText(static_cast<std::uint32_t>(pe)) +
                        " points past the end of the file");
        if (bytes_.substr(static_cast<std::size_t>(pe), 4) != std::string_view("PE\0\0", 4))
            return Fail("no PE signature at " + HexText(static_cast<std::uint32_t>(pe)));
        const auto coff = static_cast<std::size_t>(pe + 4);
        pe_.machine = U16(bytes_, coff);
        sectionCount_ = U16(bytes_, coff + 2);
        optionalSize_ = U16(bytes_, coff + 16);
        pe_.characteristics = U16(bytes_, coff + 18);
        optional_ = coff + kFileHeaderSize;
        return ReadOptionalHeader();
    }

    bool ReadOptionalHeader() {
        const std::uint16_t magic = U16(bytes_, optional_);
        if (magic != kMagicPe32 && magic != kMagicPe32Plus)
            return Fail("unknown optional header magic " + HexText(magic));
        pe_.pe32plus = magic == kMagicPe32Plus;
        const std::size_t directories = pe_.pe32plus ? 112 : 96;
        if (optionalSize_ < directories || !Fits(optional_, directories))
            return Fail("the optional header is cut short");
        pe_.majorOsVersion = U16(bytes_, optional_ + 40);
        pe_.minorOsVersion = U16(bytes_, optional_ + 42);
        pe_.majorSubsystemVersion = U16(bytes_, optional_ + 48);
        pe_.minorSubsystemVersion = U16(bytes_, optional_ + 50);
        headersSize_ = U32(bytes_, optional_ + 60);
        pe_.checksum = U32(bytes_, optional_ + 64);
        pe_.subsystem = U16(bytes_, optional_ + 68);
        pe_.headersRead = true;
        pe_.computedChecksum = PeChecksum(bytes_, optional_ + 64);
        // The loader reads no more directories than the header says it holds.
        const std::uint32_t count = std::min<std::uint32_t>(
            {U32(bytes_, optional_ + directories - 4), 16,
             static_cast<std::uint32_t>((optionalSize_ - directories) / 8)});
        if (!Fits(optional_ + directories, 8 * static_cast<std::uint64_t>(count)))
            return Fail("the data directories run past the end of the file");
        for (std::uint32_t i = 0; i < count; ++i)
            directory_[i] = U32(bytes_, optional_ + directories + 8 * i);
        return true;
    }

    bool ReadSections() {
        const std::uint64_t table = optional_ + static_cast<std::uint64_t>(optionalSize_);
        if (!Fits(table, kSectionHeaderSize * static_cast<std::uint64_t>(sectionCount_)))
            return Fail("the section table runs past the end of the file");
        regions_.push_back({0, std::min<std::uint64_t>(headersSize_, bytes_.size()), 0, 0});
        for (std::size_t i = 0; i < sectionCount_; ++i) {
            const auto at = static_cast<std::size_t>(table + kSectionHeaderSize * i);
            const std::uint32_t virtualSize = U32(bytes_, at + 8);
            const std::uint32_t rawSize = U32(bytes_, at + 16);
            Region region;
            region.address = U32(bytes_, at + 12);
            region.offset = U32(bytes_, at + 20);
            const std::uint64_t mapped = virtualSize != 0 ? virtualSize : rawSize;
            region.fileBytes = std::min<std::uint64_t>(rawSize, mapped);
            if (!Fits(region.offset, region.fileBytes))
                return Fail("section " + std::to_string(i + 1) +
                            "'s data runs past the end of the file");
            region.zeroBytes = mapped - region.fileBytes;
            // Windows lays the sections out one after the other; out of order
            // they are no image it maps.
            const Region& last = regions_.back();
            if (i > 0 && region.address < last.address + last.fileBytes + last.zeroBytes)
                return Fail("section " + std::to_string(i + 1) +
                            " does not follow the one before it in memory");
            regions_.push_back(region);
        }
        return true;
    }

    // The region holding `rva`, or nullptr. The headers come first and the
    // sections ascend, so the last region starting at or before `rva` is it.
    const Region* Find(std::uint64_t rva) const {
        auto after = std::upper_bound(
            regions_.begin() + 1, regions_.end(), rva,
            [](std::uint64_t value, const Region& r) { return value < r.address; });
        const Region& r = *(after - 1);
        if (rva - r.address < r.fileBytes + r.zeroBytes) return &r;
        if (rva < regions_.front().fileBytes) return &regions_.front();
        return nullptr;
    }

    // `size` bytes at `rva`, or false when they are not all mapped. Short
    // reads from the zero-filled tail of a section read as zeros.
    bool Bytes(std::uint64_t rva, std::uint64_t size, std::string_view* out) const {
        static const char kZeros[kExportDirectorySize] = {};
        const Region* r = Find(rva);
        if (r == nullptr) return false;
        const std::uint64_t into = rva - r->address;
        if (into + size <= r->fileBytes) {
            *out = bytes_.substr(static_cast<std::size_t>(r->offset + into),
                                 static_cast<std::size_t>(size));
            return true;
        }
        if (into >= r->fileBytes && into + size <= r->fileBytes + r->zeroBytes &&
            size <= sizeof kZeros) {
            *out = std::string_view(kZeros, static_cast<std::size_t>(size));
            return true;
        }
        return false;
    }

    bool Word32(std::uint64_t rva, std::uint32_t* value) const {
        std::string_view view;
        if (!Bytes(rva, 4, &view)) return false;
        *value = U32(view, 0);
        return true;
    }

    // Every byte looked at counts against a budget a few times the file's
    // size, so tables that point at the same data over and over cannot make
    // the reading slower than linear.
    bool Spend(std::uint64_t units) {
        if (units > budget_)
            return Fail(
                "the import or export tables refer to the same data "
                "more often than any image does");
        budget_ -= units;
        return true;
    }

    // The zero-terminated string at `rva`. It may end in a section's
    // zero-filled tail, not past it.
    bool String(std::uint64_t rva, std::string* text) {
        const Region* r = Find(rva);
        if (r == nullptr) return false;
        const std::uint64_t into = rva - r->address;
        if (into >= r->fileBytes) {
            text->clear();
            return Spend(1);
        }
        const std::string_view rest = bytes_.substr(static_cast<std::size_t>(r->offset + into),
                                                    static_cast<std::size_t>(r->fileBytes - into));
        const std::size_t end = rest.find('\0');
        if (end == std::string_view::npos && r->zeroBytes == 0) return false;
        const std::size_t length = end == std::string_view::npos ? rest.size() : end;
        if (!Spend(length + 1)) return false;
        text->assign(rest.substr(0, length));
        return true;
    }

    bool ReadImports() {
        const std::uint32_t start = directory_[kImportDirectory];
        if (start == 0) return true;
        for (std::uint64_t at = start;; at += kImportDescriptorSize) {
            std::string_view descriptor;
            if (!Bytes(at, kImportDescriptorSize, &descriptor))
                return Fail("the import directory at " + HexText(static_cast<std::uint32_t>(at)) +
                            " lies outside the image");
            const std::uint32_t lookup = U32(descriptor, 0);
            const std::uint32_t name = U32(descriptor, 12);
            const std::uint32_t addresses = U32(descriptor, 16);
            // The loader stops at the first entry without a name or an
            // address table, as at the all-zero one that should end the list.
            if (name == 0 || addresses == 0) return true;
            PeImport import;
            if (!Spend(kImportDescriptorSize) || !String(name, &import.dll))
                return Fail("an imported DLL's name lies outside the image");
            if (!ReadThunks(lookup != 0 ? lookup : addresses, &import)) return false;
            pe_.imports.push_back(std::move(import));
        }
    }

    bool ReadThunks(std::uint64_t at, PeImport* import) {
        const std::uint64_t width = pe_.pe32plus ? 8 : 4;
        const std::uint64_t ordinalFlag = pe_.pe32plus ? 1ULL << 63 : 1ULL << 31;
        for (;; at += width) {
            std::string_view view;
            if (!Bytes(at, width, &view) || !Spend(width))
                return Fail("the functions imported from " + import->dll +
                            " are listed outside the image");
            const std::uint64_t thunk = pe_.pe32plus ? U64(view, 0) : U32(view, 0);
            if (thunk == 0) return true;
            if (thunk & ordinalFlag) {
                import->functions.push_back("#" + std::to_string(thunk & 0xFFFF));
                continue;
            }
            std::string function;
            if (!String((thunk & 0x7FFFFFFF) + 2, &function))
                return Fail("a function name imported from " + import->dll +
                            " lies outside the image");
            import->functions.push_back(std::move(function));
        }
    }

    bool ReadExports() {
        const std::uint32_t start = directory_[kExportDirectory];
        if (start == 0) return true;
        std::string_view dir;
        if (!Bytes(start, kExportDirectorySize, &dir))
            return Fail("the export directory lies outside the image");
        const std::uint32_t base = U32(dir, 16);
        const std::uint64_t functions = U32(dir, 20);
        const std::uint64_t names = U32(dir, 24);
        std::string_view addressTable, nameTable, ordinalTable;
        if (!Bytes(U32(dir, 28), 4 * functions, &addressTable) ||
            !Bytes(U32(dir, 32), 4 * names, &nameTable) ||
            !Bytes(U32(dir, 36), 2 * names, &ordinalTable))
            return Fail("the export tables lie outside the image");
        std::vector<bool> named(static_cast<std::size_t>(functions));
        for (std::size_t i = 0; i < names; ++i) {
            std::string name;
            if (!String(U32(nameTable, 4 * i), &name))
                return Fail("an exported name lies outside the image");
            const std::uint16_t index = U16(ordinalTable, 2 * i);
            if (index >= functions) continue;  // leads nowhere: GetProcAddress fails on it
            named[index] = true;
            pe_.exports.push_back(std::move(name));
        }
        for (std::size_t i = 0; i < functions; ++i) {
            if (U32(addressTable, 4 * i) == 0) continue;
            const std::uint64_t ordinal = base + static_cast<std::uint64_t>(i);
            if (ordinal > 0xFFFFFFFF) break;
            pe_.exportOrdinals.push_back(static_cast<std::uint32_t>(ordinal));
            if (!named[i]) pe_.exports.push_back("#" + std::to_string(ordinal));
        }
        return true;
    }

    std::string_view bytes_;
    std::uint64_t budget_;
    PeFile pe_;
    std::size_t optional_ = 0;
    std::uint16_t sectionCount_ = 0;
    std::uint16_t optionalSize_ = 0;
    std::uint32_t headersSize_ = 0;
    std::uint32_t directory_[16] = {};
    std::vector<Region> regions_;
};

}  // namespace

std::uint32_t PeChecksum(std::string_view bytes, std::size_t checksumOffset) {
    // Windows sums the whole file, odd last byte padded with a zero, then
    // takes the stored checksum's two halves back out with borrow.
    std::uint64_t wide = 0;
    const std::size_t even = bytes.size() & ~static_cast<std::size_t>(1);
    for (std::size_t i = 0; i < even; i += 2) wide += U16(bytes, i);
    if (even != bytes.size()) wide += static_cast<unsigned char>(bytes.back());
    while (wide > 0xFFFF) wide = (wide & 0xFFFF) + (wide >> 16);
    auto sum = static_cast<std::uint16_t>(wide);
    if (checksumOffset <= bytes.size() && bytes.size() - checksumOffset >= 4) {
        for (std::size_t half = 0; half < 2; ++half) {
            const std::uint16_t stored = U16(bytes, checksumOffset + 2 * half);
            sum = static_cast<std::uint16_t>(sum - (sum < stored ? 1 : 0) - stored);
        }
    }
    return sum + static_cast<std::uint32_t>(bytes.size());
}

PeFile ReadPe(std::string_view bytes) { return Reader(bytes).Read(); }

}  // namespace pkgcheck
