#include "payload/Decoration.h"

#include "payload/Texts.h"

namespace payload {

// NT[architecture][.major[.minor[.product type[.suite mask]]]]: a section is
// read only where the product type matches and every suite of the mask is
// present, and of those the one closest to the system wins
// (learn.microsoft.com/windows-hardware/drivers/install/combining-platform-extensions-with-operating-system-versions,
// .../inf-manufacturer-section).
long DecorationRank(std::string_view decoration, std::string_view architecture,
                    const OsVersion& os) {
    if (os.major < 5 || (os.major == 5 && os.minor == 0)) return -1;
    if (!StartsWithText(decoration, "NT")) return -1;
    decoration.remove_prefix(2);
    std::string_view parts[5];
    std::size_t count = 0;
    for (;;) {
        if (count == 5) return -1;
        const std::size_t dot = decoration.find('.');
        parts[count++] = Slice(decoration, 0, dot);
        if (dot == std::string_view::npos) break;
        decoration.remove_prefix(dot + 1);
    }
    const bool named = !parts[0].empty();
    if (named ? !SameText(parts[0], architecture) : !SameText(architecture, "x86")) return -1;
    std::uint32_t numbers[4] = {0, 0, 0, 0};  // major, minor, product type, suite mask
    for (std::size_t i = 1; i < count; ++i)
        if (!parts[i].empty() && !ParseNumber(parts[i], &numbers[i - 1])) return -1;
    if (numbers[0] > os.major || (numbers[0] == os.major && numbers[1] > os.minor)) return -1;
    if (numbers[2] != 0 && numbers[2] != os.productType) return -1;
    if ((numbers[3] & ~os.suiteMask) != 0) return -1;
    const long version = static_cast<long>(numbers[0] * 256 + (numbers[1] & 0xFF));
    return ((version * 2 + (named ? 1 : 0)) * 2 + (numbers[2] != 0 ? 1 : 0)) * 2 +
           (numbers[3] != 0 ? 1 : 0);
}

}  // namespace payload
