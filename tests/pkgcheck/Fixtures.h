#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace pkgcheck::testing {

// ASCII text as Windows tools save "Unicode": UTF-16LE behind a byte-order mark.
inline std::string Utf16Le(std::string_view ascii) {
    std::string out = "\xFF\xFE";
    for (const char c : ascii) {
        out += c;
        out += '\0';
    }
    return out;
}

// The smallest image the loaders map: headers alone, no sections, no
// imports. By default a 32-bit Windows GUI program for x86, subsystem 4.0,
// which every system here starts.
inline std::string TinyImage(std::uint16_t machine = 0x14C, std::uint16_t subsystem = 2,
                             bool pe32plus = false, std::uint32_t checksum = 0) {
    std::string pe(0x200, '\0');
    const auto put = [&](std::size_t at, std::uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) pe[at + i] = static_cast<char>(value >> (8 * i) & 0xFF);
    };
    const std::size_t optional = 0x58;
    pe[0] = 'M';
    pe[1] = 'Z';
    put(0x3C, 0x40, 4);
    pe.replace(0x40, 4, std::string("PE\0\0", 4));
    put(0x44, machine, 2);
    put(0x54, pe32plus ? 0xF0 : 0xE0, 2);  // optional header size
    put(0x56, 0x0102, 2);                  // executable, 32-bit words
    put(optional, pe32plus ? 0x20B : 0x10B, 2);
    put(optional + 32, 0x1000, 4);  // section alignment
    put(optional + 36, 0x200, 4);   // file alignment
    put(optional + 40, 4, 2);       // OS version 4.0
    put(optional + 48, 4, 2);       // subsystem version 4.0
    put(optional + 56, 0x1000, 4);  // image size
    put(optional + 60, 0x200, 4);   // headers size
    put(optional + 64, checksum, 4);
    put(optional + 68, subsystem, 2);
    put(optional + (pe32plus ? 108 : 92), 16, 4);  // data directories
    return pe;
}

inline std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A directory that is gone when the test ends.
class TempDir {
public:
    TempDir() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "pkgcheck-test-XXXXXX").string();
        path_ = mkdtemp(pattern.data());
    }
    ~TempDir() { std::filesystem::remove_all(path_); }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    void Write(const std::string& relative, std::string_view bytes) const {
        const auto file = path_ / relative;
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary)
            .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }

private:
    std::filesystem::path path_;
};

// A cabinet holding `members` (name, bytes) stored uncompressed in one
// folder and one data block: the smallest cabinet Windows and libmspack
// unpack. Block checksums of 0 are not checked.
inline std::string StoredCabinet(const std::vector<std::pair<std::string, std::string>>& members) {
    const auto le = [](std::string& out, std::uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
    };
    std::string entries;
    std::string data;
    for (const auto& [name, bytes] : members) {
        le(entries, static_cast<std::uint32_t>(bytes.size()), 4);
        le(entries, static_cast<std::uint32_t>(data.size()), 4);
        le(entries, 0, 2);       // folder
        le(entries, 0x5821, 2);  // date
        le(entries, 0, 2);       // time
        le(entries, 0x20, 2);    // attributes: archive
        entries += name + '\0';
        data += bytes;
    }
    const std::uint32_t filesAt = 36 + 8;
    const auto dataAt = static_cast<std::uint32_t>(filesAt + entries.size());
    std::string cab = "MSCF";
    le(cab, 0, 4);
    le(cab, static_cast<std::uint32_t>(dataAt + 8 + data.size()), 4);
    le(cab, 0, 4);
    le(cab, filesAt, 4);
    le(cab, 0, 4);
    le(cab, 0x0103, 2);  // version 1.3
    le(cab, 1, 2);       // folders
    le(cab, static_cast<std::uint32_t>(members.size()), 2);
    le(cab, 0, 2);  // flags
    le(cab, 0, 4);  // set ID, index
    le(cab, dataAt, 4);
    le(cab, 1, 2);  // data blocks
    le(cab, 0, 2);  // stored
    cab += entries;
    le(cab, 0, 4);  // checksum
    le(cab, static_cast<std::uint32_t>(data.size()), 2);
    le(cab, static_cast<std::uint32_t>(data.size()), 2);
    return cab + data;
}

}  // namespace pkgcheck::testing
