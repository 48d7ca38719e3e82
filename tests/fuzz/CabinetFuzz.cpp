// The cabinet reader on any bytes: a cabinet cut short or with a hostile
// file list is refused in words, never read out of bounds; what it names
// fits the bytes it was read from.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "pkgcheck/read/Cabinet.h"

namespace {

void Check(bool ok) {
    if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> names;
    std::string error;
    const bool read = pkgcheck::CabinetFileNames(bytes, &names, &error);
    Check(read == error.empty());
    if (!read) return 0;
    // Each entry is 16 bytes and a NUL-terminated name, and the header says
    // how many there are.
    Check(names.size() == (static_cast<unsigned char>(bytes[28]) |
                           static_cast<std::size_t>(static_cast<unsigned char>(bytes[29])) << 8));
    std::size_t total = 0;
    for (const std::string& name : names) {
        Check(name.find('\0') == std::string::npos);
        total += 17 + name.size();
    }
    Check(total <= size);
    std::vector<std::string> again;
    Check(pkgcheck::CabinetFileNames(bytes, &again, &error) && again == names);
    return 0;
}
