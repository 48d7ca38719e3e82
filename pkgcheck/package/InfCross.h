#pragma once
// How the list entries line up with the PCI hardware IDs the INF offers.

#include <string>
#include <vector>

#include "pkgcheck/inf/Inf.h"
#include "pkgcheck/package/ListFile.h"
#include "pkgcheck/read/Finding.h"
#include "platform/Mbcs.h"

namespace pkgcheck {

// Per list entry: whether it covers an INF ID (occurs in its device name, the
// name Windows gives the device: upper case, without "PCI\", at a character
// boundary) or is compatible with one (holds a non-empty device
// name whole), and per INF ID the first entry covering it, or -1.
struct CrossCheck {
    std::vector<bool> entryMatchesInf;
    std::vector<int> coveringEntry;
    std::vector<Finding> errors;  // no entry matches the INF: the package installs nothing
    std::vector<Finding> warnings;
};
CrossCheck CrossCheckInf(const ListFile& list, const InfContents& inf, const launcher::CodePage& cp,
                         const std::string& listFile, const std::string& infFile);

}  // namespace pkgcheck
