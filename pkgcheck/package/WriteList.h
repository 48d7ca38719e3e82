#pragma once
// key.ini written from the INF, so that a builder need not copy IDs out of
// it by hand.

#include <cstddef>
#include <string>
#include <vector>

#include "pkgcheck/inf/Inf.h"
#include "pkgcheck/read/Finding.h"

namespace pkgcheck {

struct WrittenList {
    std::string text;  // [SupportedIDs], then entries and comments; CR LF line ends
    std::size_t entries = 0;
    // The INF IDs (indexes into InfContents::ids) that became no entry, each
    // named in a comment line with the reason.
    std::vector<std::size_t> leftOut;
    std::vector<std::string> reasons;  // why, for each of leftOut
    std::vector<Finding> errors;       // no entry at all: no list is written
};

// An entry for each PCI ID the INF offers to x86 NT 5.x, as the launcher
// sees it in a subkey name: without PCI\, upper case. `infFile` names the
// INF in the first comment.
WrittenList WriteListFromInf(const InfContents& inf, const std::string& infFile);

}  // namespace pkgcheck
