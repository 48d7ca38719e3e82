// The cabinet readers on any bytes: a cabinet cut short, with a hostile
// file list or broken compressed data is refused in words, never read out
// of bounds; what the list names fits the bytes it was read from, and a
// file unpacked twice gives the same bytes.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "pkgcheck/read/Cabinet.h"
#include "pkgcheck/read/Unpack.h"
#include "tests/fuzz/FuzzCheck.h"

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
    if (names.empty()) return 0;

    // The name as the payload rules ask for it: without the folders the
    // cabinet keeps it in. libmspack reads the file entries after the
    // folders' and this list where the header points, so on a hostile
    // header the two may name different files: only each alone is checked.
    const std::string& first = names.front();
    const std::size_t cut = first.find_last_of("\\/");
    const std::string member = cut == std::string::npos ? first : first.substr(cut + 1);
    std::string unpacked[2];
    std::string errors[2];
    pkgcheck::UnpackResult results[2];
    for (int i = 0; i < 2; ++i)
        results[i] = pkgcheck::CabinetMember(bytes, member, &unpacked[i], &errors[i]);
    Check(results[0] == results[1] && unpacked[0] == unpacked[1] && errors[0] == errors[1]);
    Check((results[0] == pkgcheck::UnpackResult::Unpacked) == errors[0].empty());
    std::string expanded;
    std::string expandError;
    const pkgcheck::UnpackResult whole = pkgcheck::Expand(bytes, &expanded, &expandError);
    Check((whole == pkgcheck::UnpackResult::Unpacked) == expandError.empty());
    return 0;
}
