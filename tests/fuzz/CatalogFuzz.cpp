// The catalog reader and the file hash on any bytes: a damaged or hostile
// catalog, or a file that only starts like a PE image, is an error or a flat
// hash, never a read out of bounds, a deep recursion or a crash.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "pkgcheck/catalog/Catalog.h"
#include "pkgcheck/catalog/FileHash.h"
#include "tests/fuzz/FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const pkgcheck::Catalog catalog = pkgcheck::ReadCatalog(bytes);
    // A catalog read whole describes no more members than its bytes can hold.
    if (catalog.error.empty()) Check(catalog.members.size() <= size / 4);
    const pkgcheck::FileHash hash = pkgcheck::HashAsWindows(bytes);
    Check(hash.image || hash.hash == hash.flat);
    return 0;
}
