#pragma once
// A file's hash as 2000 and XP compute it to look the file up in a catalog:
// the Authenticode image hash of a PE image, SHA-1 of all the bytes of any
// other file.

#include <string_view>

#include "pkgcheck/catalog/Sha1.h"

namespace pkgcheck {

struct FileHash {
    bool image = false;  // hashed as a PE image
    Sha1Digest hash{};   // what Windows looks up
    Sha1Digest flat{};   // SHA-1 of all the bytes; the same as `hash` for other files
};

FileHash HashAsWindows(std::string_view bytes);

}  // namespace pkgcheck
