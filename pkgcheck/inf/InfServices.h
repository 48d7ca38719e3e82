#pragma once
// The services an install section adds, as the INF names their binaries.

#include <string>
#include <vector>

#include "pkgcheck/inf/InfText.h"

namespace pkgcheck {

struct ServiceBinary {
    std::string service;  // the AddService name
    std::string path;     // as ServiceBinary gives it, tokens replaced: %12%\stordrv.sys
    int line = 0;         // of the ServiceBinary line
};

// [Section.Services]: AddService = name, flags, service-install-section,
// and there ServiceBinary = path; in the order the INF gives them.
std::vector<ServiceBinary> ServiceBinariesOf(const InfFile& inf, const std::string& installSection);

}  // namespace pkgcheck
