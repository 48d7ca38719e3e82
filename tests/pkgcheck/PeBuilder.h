#pragma once

// A builder of small PE images with one section that holds their import and
// export tables, for the PE reader's and the loader check's tables of rows.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "pkgcheck/pe/Pe.h"

namespace pkgcheck::testing {

using Strings = std::vector<std::string>;

// Where the builder puts things, for the rows that break them.
constexpr std::size_t kPeOffset = 0x40;
constexpr std::size_t kFileHeader = kPeOffset + 4;
constexpr std::size_t kOptional = kFileHeader + 20;
constexpr std::size_t kHeadersSize = 0x400;
constexpr std::uint32_t kSectionRva = 0x1000;

struct Sketch {
    std::uint16_t machine = kMachineI386;
    bool pe32plus = false;
    std::uint16_t characteristics = kFileExecutableImage | 0x0100;
    std::uint16_t subsystem = kSubsystemWindowsGui;
    std::uint16_t subsystemVersion[2] = {4, 0};
    std::uint16_t osVersion[2] = {4, 0};
    std::vector<PeImport> imports;  // "#n" is an import by ordinal
    Strings exports;                // "#n" is an unnamed export at ordinal n
};

inline void Put16(std::string& b, std::size_t at, std::uint32_t v) {
    b[at] = static_cast<char>(v & 0xFF);
    b[at + 1] = static_cast<char>((v >> 8) & 0xFF);
}
inline void Put32(std::string& b, std::size_t at, std::uint32_t v) {
    Put16(b, at, v & 0xFFFF);
    Put16(b, at + 2, v >> 16);
}
inline std::uint32_t Get32(const std::string& b, std::size_t at) {
    std::uint32_t v = 0;
    for (std::size_t i = 4; i-- > 0;) v = v << 8 | static_cast<unsigned char>(b[at + i]);
    return v;
}

// The one section's contents, addressed by RVA as the image will be.
class Section {
public:
    std::uint32_t Rva() const { return kSectionRva + static_cast<std::uint32_t>(data_.size()); }
    std::uint32_t Reserve(std::size_t size) {
        const std::uint32_t rva = Rva();
        data_.append(size, '\0');
        return rva;
    }
    std::uint32_t Text(const std::string& text) {
        const std::uint32_t rva = Rva();
        data_ += text;
        data_ += '\0';
        return rva;
    }
    void Set32(std::uint32_t rva, std::uint32_t v) { Put32(data_, rva - kSectionRva, v); }
    void Set16(std::uint32_t rva, std::uint32_t v) { Put16(data_, rva - kSectionRva, v); }
    void Set64(std::uint32_t rva, std::uint64_t v) {
        Set32(rva, static_cast<std::uint32_t>(v));
        Set32(rva + 4, static_cast<std::uint32_t>(v >> 32));
    }
    const std::string& data() const { return data_; }

private:
    std::string data_;
};

inline std::uint32_t Thunk(Section& s, const std::string& function, bool pe32plus) {
    if (function[0] == '#')
        return static_cast<std::uint32_t>(std::stoul(function.substr(1))) |
               (pe32plus ? 0 : 0x80000000u);
    const std::uint32_t hint = s.Reserve(2);
    s.Text(function);
    return hint;
}

// Returns the import directory's RVA.
inline std::uint32_t BuildImports(Section& s, const std::vector<PeImport>& imports, bool pe32plus) {
    if (imports.empty()) return 0;
    const std::uint32_t dir = s.Reserve(20 * (imports.size() + 1));
    const std::uint32_t width = pe32plus ? 8 : 4;
    for (std::size_t i = 0; i < imports.size(); ++i) {
        const auto& functions = imports[i].functions;
        const std::uint32_t lookup = s.Reserve(width * (functions.size() + 1));
        const std::uint32_t addresses = s.Reserve(width * (functions.size() + 1));
        for (std::size_t f = 0; f < functions.size(); ++f) {
            std::uint64_t thunk = Thunk(s, functions[f], pe32plus);
            if (pe32plus && functions[f][0] == '#') thunk |= 1ULL << 63;
            for (const std::uint32_t table : {lookup, addresses}) {
                if (pe32plus)
                    s.Set64(table + width * static_cast<std::uint32_t>(f), thunk);
                else
                    s.Set32(table + width * static_cast<std::uint32_t>(f),
                            static_cast<std::uint32_t>(thunk));
            }
        }
        const auto at = dir + 20 * static_cast<std::uint32_t>(i);
        s.Set32(at, lookup);
        s.Set32(at + 12, s.Text(imports[i].dll));
        s.Set32(at + 16, addresses);
    }
    return dir;
}

// Returns the export directory's RVA; ordinals start at 1.
inline std::uint32_t BuildExports(Section& s, const Strings& exports) {
    if (exports.empty()) return 0;
    Strings names;
    std::vector<std::uint32_t> slots;  // ordinal - 1 of each name
    std::uint32_t functions = 0;
    for (const std::string& e : exports) {
        const std::uint32_t slot =
            e[0] == '#' ? static_cast<std::uint32_t>(std::stoul(e.substr(1))) - 1 : functions;
        functions = std::max(functions, slot + 1);
        if (e[0] != '#') {
            names.push_back(e);
            slots.push_back(slot);
        } else {
            slots.push_back(slot | 0x80000000u);  // marks an unnamed entry
        }
    }
    const std::uint32_t dir = s.Reserve(40);
    const std::uint32_t addressTable = s.Reserve(4 * functions);
    const std::uint32_t nameTable = s.Reserve(4 * names.size());
    const std::uint32_t ordinalTable = s.Reserve(2 * names.size());
    std::size_t n = 0;
    for (const std::uint32_t slot : slots) {
        s.Set32(addressTable + 4 * (slot & 0xFFFF), kSectionRva);
        if (slot & 0x80000000u) continue;
        s.Set32(nameTable + 4 * static_cast<std::uint32_t>(n), s.Text(names[n]));
        s.Set16(ordinalTable + 2 * static_cast<std::uint32_t>(n), slot);
        ++n;
    }
    s.Set32(dir + 16, 1);
    s.Set32(dir + 20, functions);
    s.Set32(dir + 24, static_cast<std::uint32_t>(names.size()));
    s.Set32(dir + 28, addressTable);
    s.Set32(dir + 32, nameTable);
    s.Set32(dir + 36, ordinalTable);
    return dir;
}

// A PE file with one section that holds its import and export tables.
inline std::string BuildPe(const Sketch& sketch) {
    Section section;
    section.Reserve(16);  // no table starts at the section's first byte
    const std::uint32_t imports = BuildImports(section, sketch.imports, sketch.pe32plus);
    const std::uint32_t exports = BuildExports(section, sketch.exports);
    std::string b(kHeadersSize, '\0');
    b[0] = 'M';
    b[1] = 'Z';
    Put32(b, 0x3C, kPeOffset);
    b.replace(kPeOffset, 4, std::string("PE\0\0", 4));
    const std::uint32_t optionalSize = sketch.pe32plus ? 240 : 224;
    Put16(b, kFileHeader, sketch.machine);
    Put16(b, kFileHeader + 2, 1);
    Put16(b, kFileHeader + 16, optionalSize);
    Put16(b, kFileHeader + 18, sketch.characteristics);
    Put16(b, kOptional, sketch.pe32plus ? 0x20B : 0x10B);
    Put16(b, kOptional + 40, sketch.osVersion[0]);
    Put16(b, kOptional + 42, sketch.osVersion[1]);
    Put16(b, kOptional + 48, sketch.subsystemVersion[0]);
    Put16(b, kOptional + 50, sketch.subsystemVersion[1]);
    Put32(b, kOptional + 60, kHeadersSize);
    Put16(b, kOptional + 68, sketch.subsystem);
    const std::size_t directories = kOptional + (sketch.pe32plus ? 112 : 96);
    Put32(b, directories - 4, 16);
    Put32(b, directories, exports);
    Put32(b, directories + 8, imports);
    const std::size_t sectionHeader = kOptional + optionalSize;
    b.replace(sectionHeader, 6, ".rdata");
    const auto size = static_cast<std::uint32_t>(section.data().size());
    Put32(b, sectionHeader + 8, size);
    Put32(b, sectionHeader + 12, kSectionRva);
    Put32(b, sectionHeader + 16, size);
    Put32(b, sectionHeader + 20, kHeadersSize);
    return b + section.data();
}

}  // namespace pkgcheck::testing
