#pragma once
// The catalog's signature judged for each system the INF serves: whether
// it takes the package as signed by Microsoft's driver signing, by another
// publisher, or as unsigned, and the findings that say why.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "pkgcheck/catalog/Verify.h"
#include "pkgcheck/read/Finding.h"

namespace pkgcheck {

// Where Microsoft's documentation says what these systems do with a
// package they take as unsigned.
constexpr const char* kUnsignedSource =
    "https://learn.microsoft.com/en-us/windows-hardware/drivers/install/catalog-files";

struct SystemVerdict {
    std::string system;       // "XP SP3"
    std::string takenAs;      // "driver-signing", "publisher", "unsigned"
    std::string consequence;  // what follows there, in words
};

struct SignatureJudgement {
    SignatureVerdict verdict;
    std::vector<SystemVerdict> systems;
    std::vector<Finding> errors;
    std::vector<Finding> warnings;
};

// `catalogShown` names the catalog in findings; `namedByCatalog` are the
// served systems (`osAttrs`) that the catalog's own OSAttr names, the others
// take it as unsigned, as all do when it does not cover every file
// (`covered` false); `trust` holds the roots a chain may end at (see
// LoadTrust); `now` is 0 for the clock.
SignatureJudgement JudgeCatalogSignature(std::string_view bytes, int catalogVersion,
                                         const std::string& catalogShown,
                                         const std::string& architecture,
                                         const std::vector<std::string>& osAttrs,
                                         const std::vector<std::string>& namedByCatalog,
                                         bool covered, const TrustStore& trust, std::int64_t now);

// Microsoft's roots and the builder's own (--trust), read once for the
// whole check; a file that cannot be read is an error.
TrustStore LoadTrust(const std::vector<std::string>& files, std::vector<Finding>* errors);

}  // namespace pkgcheck
