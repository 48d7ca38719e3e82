#include "pkgcheck/read/Cabinet.h"

#include <cstdint>

namespace pkgcheck {
namespace {

std::uint32_t Le(std::string_view bytes, std::size_t at, int size) {
    std::uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = value << 8 | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
    return value;
}

}  // namespace

// The header's "MSCF", then coffFiles at 16 and cFiles at 28; each file
// entry is 16 bytes of sizes, folder, date, time and attributes, then the
// name up to a NUL byte.
bool CabinetFileNames(std::string_view bytes, std::vector<std::string>* names, std::string* error) {
    names->clear();
    if (bytes.size() < 36 || bytes.substr(0, 4) != "MSCF") {
        *error = "it is no cabinet (no MSCF header)";
        return false;
    }
    std::size_t at = Le(bytes, 16, 4);
    const std::uint32_t count = Le(bytes, 28, 2);
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::size_t name = at + 16;
        const std::size_t end = name < bytes.size() ? bytes.find('\0', name) : std::string::npos;
        if (end == std::string_view::npos) {
            *error =
                "its list of " + std::to_string(count) + " files ends after " + std::to_string(i);
            return false;
        }
        names->emplace_back(bytes.substr(name, end - name));
        at = end + 1;
    }
    return true;
}

}  // namespace pkgcheck
