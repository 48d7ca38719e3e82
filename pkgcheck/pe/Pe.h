#pragma once
// What the Windows loader reads of an executable or a DLL: the headers that
// decide whether a system starts it, the DLLs and functions it imports and
// the names it exports. Any bytes are read safely, in time linear in their
// length: a file that is no usable image is reported, never trusted.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pkgcheck {

constexpr std::uint16_t kMachineI386 = 0x14C;
constexpr std::uint16_t kMachineAmd64 = 0x8664;
constexpr std::uint16_t kFileExecutableImage = 0x0002;
constexpr std::uint16_t kFileDll = 0x2000;
constexpr std::uint16_t kSubsystemNative = 1;
constexpr std::uint16_t kSubsystemWindowsGui = 2;
constexpr std::uint16_t kSubsystemWindowsConsole = 3;

struct PeImport {
    std::string dll;
    std::vector<std::string> functions;  // an ordinal import as "#123"
};

struct PeFile {
    bool valid = false;
    std::string problem;       // why it is no (usable) PE file, when !valid
    bool headersRead = false;  // the fields up to `checksum` hold even when !valid
    std::uint16_t machine = 0;
    bool pe32plus = false;
    std::uint16_t characteristics = 0;
    std::uint16_t subsystem = 0;
    std::uint16_t majorSubsystemVersion = 0, minorSubsystemVersion = 0;
    std::uint16_t majorOsVersion = 0, minorOsVersion = 0;
    std::uint32_t checksum = 0;          // as stored in the optional header
    std::uint32_t computedChecksum = 0;  // as Windows computes it over the file
    std::vector<PeImport> imports;       // the import directory, in its order
    std::vector<std::string> exports;    // names; ordinal-only exports as "#n"
    // Every ordinal that leads to a function, named or not: an import by
    // ordinal finds a named export too.
    std::vector<std::uint32_t> exportOrdinals;
};

PeFile ReadPe(std::string_view bytes);

// The PE checksum: 16-bit words summed with end-around carry, the checksum
// field itself skipped, the file length added.
std::uint32_t PeChecksum(std::string_view bytes, std::size_t checksumOffset);

}  // namespace pkgcheck
