// The PE reader on any bytes: a damaged or hostile executable is reported as
// no usable image, never trusted, read out of bounds or followed round a
// loop of its tables; the same bytes read twice give the same image, and the
// checksum leaves its own field out as Windows does.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "pkgcheck/pe/Pe.h"
#include "tests/fuzz/FuzzCheck.h"

namespace {

using pkgcheck::PeFile;

bool Same(const PeFile& a, const PeFile& b) {
    if (a.valid != b.valid || a.problem != b.problem || a.headersRead != b.headersRead ||
        a.machine != b.machine || a.pe32plus != b.pe32plus || a.checksum != b.checksum ||
        a.computedChecksum != b.computedChecksum || a.exports != b.exports ||
        a.exportOrdinals != b.exportOrdinals || a.imports.size() != b.imports.size())
        return false;
    for (std::size_t i = 0; i < a.imports.size(); ++i)
        if (a.imports[i].dll != b.imports[i].dll ||
            a.imports[i].functions != b.imports[i].functions)
            return false;
    return true;
}

std::uint32_t U32(std::string_view bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (std::size_t i = 4; i-- > 0;)
        value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const PeFile pe = pkgcheck::ReadPe(bytes);
    Check(pe.valid == pe.problem.empty());
    Check(!pe.valid || pe.headersRead);
    Check(Same(pe, pkgcheck::ReadPe(bytes)));
    // Each name read costs at least its terminating byte of the reader's
    // budget, a few times the file's size.
    std::size_t names = pe.exports.size();
    for (const pkgcheck::PeImport& import : pe.imports) names += 1 + import.functions.size();
    Check(names <= 8 * size + 65536);
    if (!pe.headersRead) return 0;

    // Storing the computed checksum in its field does not change it, but
    // for the two forms of zero (0 and 0xFFFF) that a sum with end-around
    // carry has: Windows takes the stored value back out of the sum, and so
    // do we. That cancels only a field at an even offset, where the words
    // summed lie.
    const std::size_t field = U32(bytes, 0x3C) + 4 + 20 + 64;
    Check(field + 4 <= size && pe.computedChecksum == pkgcheck::PeChecksum(bytes, field));
    const auto sum = static_cast<std::uint32_t>(pe.computedChecksum - size);
    Check(sum <= 0xFFFF);
    if (field % 2 != 0) return 0;
    std::string stamped(bytes);
    for (std::size_t i = 0; i < 4; ++i)
        stamped[field + i] = static_cast<char>(pe.computedChecksum >> (8 * i));
    const auto restamped = static_cast<std::uint32_t>(pkgcheck::PeChecksum(stamped, field) - size);
    Check(restamped <= 0xFFFF && restamped % 0xFFFF == sum % 0xFFFF);
    Check(pkgcheck::ReadPe(stamped).checksum == pe.computedChecksum);
    return 0;
}
